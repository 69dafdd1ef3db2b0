#pragma once

// The decoding half of a run: demuxes the stream, decodes it and hands each
// frame or copied packet to the track's presentation (start trims, the stated
// end, the silence it presents), with silence standing for lost packets, one
// step at a time in output order.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "../timeline.h"
#include "decoded_step.h"
#include "handles.h"
#include "packet_copy.h"
#include "presentation.h"

namespace mivra::ffmpeg {

// The packets of one stream of an opened input, in file order.
class StreamPackets {
public:
    StreamPackets(FormatContext context, int streamIndex) : context_(std::move(context)), streamIndex_(streamIndex) {}

    const AVStream& stream() const { return *context_->streams[streamIndex_]; }

    // The next non-empty packet of the stream; false at the end of input.
    bool read(AVPacket& packet);

    // Why reading failed; 0 while it has not.
    int error() const { return error_; }

    // Whether a gap between frames is audio lost on the way.
    bool timestampsShowLoss() const;

private:
    FormatContext context_;
    int streamIndex_;
    int error_ = 0;
};

// What damage costs a run: packets that fail to decode, and audio lost on
// the way where timestamps show it, owed as silence before the next good frames.
class Damage {
public:
    explicit Damage(bool timestampsShowLoss);

    // A packet of `frames` frames handed to the decoder.
    void sent(std::int64_t frames)
    {
        sent_ = frames;
        received_ = 0;
    }
    void received(const AVFrame& frame, AVRational timeBase);
    // The frames of the packet last sent that did not decode.
    void lostRest(int error, int rate) { lost(sent_ - received_, error, rate); }
    void lostSent(int error, int rate) { lost(sent_, error, rate); }
    std::int64_t silenceBeforeGoodFrames(std::int64_t frames) { return concealment_.silenceBeforeGoodFrames(frames); }

    // The last step: the last decoding error, and whether too much was lost.
    DecodedStep end() const;
    bool tooDamagedSoFar() const { return concealment_.tooDamagedSoFar(); }

private:
    void lost(std::int64_t frames, int error, int rate);

    Concealment concealment_;
    std::optional<TimestampGaps> gaps_;  // only where timestamps show loss
    // The frames the packet last sent to the decoder stands for, against those
    // it has given: a decoder that gave a frame from the start of a packet and
    // then failed on the rest lost only what the packet had left.
    std::int64_t sent_ = 0;
    std::int64_t received_ = 0;
    int lastError_ = 0;
};

class Decoding final : public StepSource {
public:
    // Packets of copiedFrameSize bytes a frame are copied (0: every packet is
    // decoded); the presentation is the one chosen where the input was opened.
    Decoding(StreamPackets packets, CodecContext decoder, std::unique_ptr<Presentation> presentation,
             int copiedFrameSize);

    // Opens the decoder, its threads already chosen; says why not.
    std::optional<std::string> open();

    DecodedStep next() override;

private:
    enum class Kind { nothing, frame, packet };

    // The frame or packet held for output, and its frames as the presentation sees them.
    struct Held {
        Kind kind = Kind::nothing;
        HeldMedia media;
        std::int64_t keptOffset = 0;  // a copied packet's frames its own statements drop
    };

    void receiveFrame();
    void feedDecoder();
    std::int64_t packetFrames() const;
    void hold(Kind kind, std::int64_t frames, std::int64_t presented, std::int64_t skipped);
    std::optional<DecodedStep> presentedStep();
    DecodedStep framePiece(const PresentedPiece& piece);
    DecodedStep packetPiece(const PresentedPiece& piece);

    StreamPackets packets_;
    CodecContext decoder_;
    Packet packet_;
    Frame frame_;
    std::unique_ptr<Presentation> presentation_;
    Damage damage_;
    PacketCopy copy_;
    Held held_;
    int lastFrameCount_ = 0;
    bool decoderDrained_ = false;
};

}  // namespace mivra::ffmpeg
