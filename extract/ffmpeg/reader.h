#pragma once

#include "../media.h"
#include "handles.h"

namespace mivra::ffmpeg {

// How a run that decodes uses the machine: everything on the calling thread,
// or decoding on a thread of its own (with frame threads in the decoder where
// nothing is resampled) ahead of the converting and writing. Both give the
// same output.
enum class Threading { one, pipelined };

// A reader of one audio stream of an opened input: demuxes that stream only,
// decodes it, converts it with libswresample when the rate or the sample
// format asks for it and packs 24-bit samples. Packets that already hold
// 24-bit samples at the target rate are copied without decoding.
ReaderOrError MakeReader(FormatContext context, int streamIndex, Threading threading);

}  // namespace mivra::ffmpeg
