#pragma once

#include "../media.h"
#include "decode_thread.h"
#include "handles.h"
#include "mov_edit_list.h"

namespace mivra::ffmpeg {

// The output a reader is made for, and how it may use the machine.
struct ReaderTarget {
    double rate = 0;
    unsigned channelCount = 0;
    Threading threading = Threading::pipelined;
};

// A reader of one audio stream of an opened input: demuxes that stream only,
// decodes it, converts it with libswresample when the rate or the sample
// format asks for it and packs 24-bit samples. Packets that already hold
// 24-bit samples at the target rate are copied without decoding.
ReaderOrError MakeReader(FormatContext context, int streamIndex, const std::optional<MovEditList>& edits,
                         const ReaderTarget& target);

}  // namespace mivra::ffmpeg
