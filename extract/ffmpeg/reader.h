#pragma once

#include <memory>

#include "../media.h"
#include "decode_thread.h"
#include "handles.h"
#include "presentation.h"

namespace mivra::ffmpeg {

// A reader of one audio stream of an opened input: demuxes that stream only,
// decodes it, converts it with libswresample when the rate or the sample
// format asks for it and packs 24-bit samples. Packets that already hold
// 24-bit samples at the target rate are copied without decoding.
// The output is `rate` Hz and `channelCount` channels; `threading` says how
// the run may use the machine.
ReaderOrError MakeReader(FormatContext context, int streamIndex, std::unique_ptr<Presentation> presentation,
                         double rate, unsigned channelCount, Threading threading);

}  // namespace mivra::ffmpeg
