#pragma once

// What the decoding of a track hands to the making of its output, one step at
// a time and in order: a decoded frame, a packet copied as it is, or the end.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "handles.h"

namespace mivra::ffmpeg {

struct DecodedStep {
    enum class Kind { frame, packet, end, failed };
    Kind kind = Kind::end;
    // Frames of silence owed, before a frame or packet, for damage before it.
    std::int64_t silenceBefore = 0;
    // A frame with what the decoder left us to trim at the start applied;
    // the first keptFrames of its frames lie before the track's stated end.
    Frame frame{};
    int keptFrames = 0;
    // A packet whose bytes [keptOffset, keptOffset + keptSize) are copied.
    Packet packet{};
    std::size_t keptOffset = 0;
    std::size_t keptSize = 0;
    // failed: why. end: the last decoding error, if any, and whether too
    // much of the track was lost to damage.
    int error = 0;
    bool tooDamaged = false;

    bool last() const { return kind == Kind::end || kind == Kind::failed; }

    // The sample memory the step holds.
    std::size_t bytes() const
    {
        if (frame) {
            const int size = av_samples_get_buffer_size(nullptr, frame->ch_layout.nb_channels, frame->nb_samples,
                                                        static_cast<AVSampleFormat>(frame->format), 1);
            return size > 0 ? static_cast<std::size_t>(size) : 0;
        }
        return packet ? static_cast<std::size_t>(packet->size) : 0;
    }
};

// Moves a frame's sample pointers past its first `frames` frames.
inline void SkipFrames(AVFrame& frame, int frames)
{
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const int channels = frame.ch_layout.nb_channels;
    const int planes = av_sample_fmt_is_planar(format) ? channels : 1;
    const int step = av_get_bytes_per_sample(format) * frames * (planes == 1 ? channels : 1);
    for (int plane = 0; plane < planes; ++plane)
        frame.extended_data[plane] += step;
    if (frame.extended_data != frame.data)
        std::copy_n(frame.extended_data, AV_NUM_DATA_POINTERS, frame.data);
    frame.nb_samples -= frames;
}

// Where the steps come from: the decoder itself or a thread ahead of the caller.
class StepSource {
public:
    virtual ~StepSource() = default;

    // The next step; after a last() step, no more are asked for.
    virtual DecodedStep next() = 0;
};

}  // namespace mivra::ffmpeg
