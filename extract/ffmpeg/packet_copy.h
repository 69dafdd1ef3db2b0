#pragma once

// Packets that already hold the output (24-bit little-endian PCM at the
// target rate, every channel kept) are copied rather than decoded and packed
// again, cut as they state.

#include <cstdint>
#include <optional>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "../timeline.h"
#include "handles.h"

namespace mivra::ffmpeg {

// What a packet says to drop: frames at the start of the track, frames at its own end.
struct SkipStatement {
    std::optional<std::int64_t> start;
    std::int64_t endPadding = 0;
};

inline SkipStatement SkipStatementOf(const AVPacket& packet)
{
    std::size_t size = 0;
    const std::uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (!data || size < 8)
        return {};
    return {AV_RL32(data), AV_RL32(data + 4)};
}

class PacketCopy {
public:
    // frameSize: the bytes of one output frame; 0 when nothing is copied.
    explicit PacketCopy(int frameSize) : frameSize_(frameSize) {}

    int frameSize() const { return frameSize_; }
    std::int64_t frames(const AVPacket& packet) const { return packet.size / frameSize_; }

    // Whole 24-bit frames whose only statement is what to drop: such a packet
    // holds exactly the samples the decoder would give, less what is dropped.
    bool copies(const AVPacket& packet) const
    {
        if (frameSize_ == 0 || packet.size % frameSize_ != 0)
            return false;
        const int statements = SkipStatementOf(packet).start ? 1 : 0;
        return packet.side_data_elems == statements && (packet.flags & ~(AV_PKT_FLAG_KEY | AV_PKT_FLAG_DISCARD)) == 0;
    }

    // The frames of a copied packet that are kept, as it and those before it state.
    KeptFrames keep(const AVPacket& packet)
    {
        const SkipStatement statement = SkipStatementOf(packet);
        if (statement.start)
            trim_.stateStartSkip(*statement.start);
        return trim_.keep(frames(packet), packet.flags & AV_PKT_FLAG_DISCARD, statement.endPadding);
    }

private:
    int frameSize_;
    StatedTrim trim_;
};

}  // namespace mivra::ffmpeg
