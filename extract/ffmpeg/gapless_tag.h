#pragma once

// The gapless tag iTunes and common AAC encoders write in .m4a files,
// "iTunSMPB": hexadecimal fields, the second the priming, the third the end
// padding, the fourth the valid length in frames. FFmpeg 5.1 cuts the tag's
// priming where no edit list states the start, and then starts the stream at
// the priming, but leaves the padding. The valid length, counted from the
// first frame after the priming, ends such a track. Where an edit list states
// the start it states the end too, and the tag is left alone. Guarded by the
// "iTunSMPB" rows of test_corpus.py's test_timelines; it can go once the
// FFmpeg the platform ships passes them without it.

#include <memory>

#include "presentation.h"

namespace mivra::ffmpeg {

// The track as its tag presents it; nothing where the tag does not apply.
std::unique_ptr<Presentation> ChooseGaplessTag(const AVFormatContext& context, const AVStream& stream);

}  // namespace mivra::ffmpeg
