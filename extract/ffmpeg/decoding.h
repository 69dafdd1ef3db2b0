#pragma once

// The decoding half of a run: demuxes the stream, decodes it and decides what
// the container and the damage make of each frame (start trims, the stated
// end, silence standing for lost packets), one step at a time in output order.

#include <cstdint>
#include <optional>
#include <string>

#include "../timeline.h"
#include "decoded_step.h"
#include "handles.h"
#include "mov_edit_list.h"
#include "ogg_links.h"
#include "packet_copy.h"

namespace mivra::ffmpeg {

// The frames the packet last sent to the decoder stands for, against those
// it has given: a decoder that gave a frame from the start of a packet and
// then failed on the rest lost only what the packet had left.
class SentPacket {
public:
    void sent(std::int64_t frames)
    {
        sent_ = frames;
        received_ = 0;
    }
    void received(std::int64_t frames) { received_ += frames; }
    std::int64_t frames() const { return sent_; }
    std::int64_t left() const { return sent_ - received_; }

private:
    std::int64_t sent_ = 0;
    std::int64_t received_ = 0;
};

class Decoding final : public StepSource {
public:
    // The edit list is the one read where the input was opened; packets of
    // copiedFrameSize bytes a frame are copied (0: every packet is decoded).
    Decoding(FormatContext context, int streamIndex, CodecContext decoder, const std::optional<MovEditList>& edits,
             int copiedFrameSize);

    // Opens the decoder, its threads already chosen; says why not.
    std::optional<std::string> open();

    DecodedStep next() override;

private:
    enum class Held { nothing, frame, packet };

    void receiveFrame();
    void feedDecoder();
    bool readPacket();
    std::int64_t packetFrames() const;
    void lose(std::int64_t frames, int error);
    void hold(Held held, int frames);
    DecodedStep packetStep();
    DecodedStep frameStep();
    std::optional<DecodedStep> editedStep();

    FormatContext context_;
    int streamIndex_;
    CodecContext decoder_;
    Packet packet_;
    Frame frame_;
    StatedEnd end_;
    // FFmpeg 5.1's faults with edit lists and chained Ogg files, worked around.
    EditListRun edits_;
    OggChain links_;
    Concealment concealment_;
    // Only where timestamps show loss.
    std::optional<TimestampGaps> gaps_;
    PacketCopy copy_;
    Held held_ = Held::nothing;
    std::int64_t silence_ = 0;
    SentPacket sent_;
    int lastFrameCount_ = 0;
    int lastError_ = 0;
    int readError_ = 0;
    bool decoderDrained_ = false;
};

}  // namespace mivra::ffmpeg
