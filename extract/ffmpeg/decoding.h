#pragma once

// The decoding half of a run: demuxes the stream, decodes it and decides what
// the container and the damage make of each frame (start trims, the stated
// end, silence standing for lost packets), one step at a time in output order.

#include <cstdint>
#include <optional>
#include <string>

#include "../presented_timeline.h"
#include "../timeline.h"
#include "decode_thread.h"
#include "decoded_step.h"
#include "handles.h"
#include "ogg_links.h"

namespace mivra::ffmpeg {

class Decoding final : public StepSource {
public:
    Decoding(FormatContext context, int streamIndex, CodecContext decoder);

    // Opens the decoder for output at targetRate and channelCount; says why not.
    std::optional<std::string> open(double targetRate, int channelCount, Threading threading);

    // Set by open() and fixed from then on, so that the thread making the
    // output may read them while decoding goes on in another.
    int copiedFrameSize() const { return copiedFrameSize_; }  // non-zero when packets are copied
    ThreadPlan threads() const { return threads_; }

    DecodedStep next() override;

private:
    enum class Held { nothing, frame, packet };

    void receiveFrame();
    void feedDecoder();
    bool readPacket();
    std::int64_t packetFrames() const;
    void lose(std::int64_t frames, int error);
    bool copiesPacket() const;
    void hold(Held held, int frames);
    DecodedStep packetStep();
    DecodedStep frameStep();
    std::optional<DecodedStep> presentedStep();
    DecodedStep packetPiece(const PresentedPiece& piece);
    DecodedStep framePiece(const PresentedPiece& piece);
    void stateStart();
    void startLink(const OggLink& link);
    void applyStatedStart(AVFrame& frame);

    FormatContext context_;
    int streamIndex_;
    CodecContext decoder_;
    Packet packet_;
    Frame frame_;
    StatedTrim trim_;
    StatedEnd end_;
    OggLinkWalk links_;
    // An edit list of several segments, presented here; frames are placed by
    // their position in the media.
    std::optional<PresentedTimeline> presented_;
    // What the first packet is to state as dropped at the start, where the demuxer leaves it out.
    std::optional<std::int64_t> unstatedStart_;
    std::int64_t mediaPosition_ = 0;
    std::int64_t presentedSilence_ = 0;
    Concealment concealment_;
    TimestampGaps gaps_;
    bool watchesGaps_;
    int copiedFrameSize_ = 0;
    ThreadPlan threads_;
    Held held_ = Held::nothing;
    std::int64_t silence_ = 0;
    std::int64_t sentFrames_ = 0;
    std::int64_t receivedSinceSent_ = 0;
    int lastFrameCount_ = 0;
    int lastError_ = 0;
    int readError_ = 0;
    bool decoderDrained_ = false;
};

}  // namespace mivra::ffmpeg
