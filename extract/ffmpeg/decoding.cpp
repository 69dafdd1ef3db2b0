#include "decoding.h"

#include <algorithm>
#include <limits>
#include <utility>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "ffmpeg51_quirks.h"
#include "formats.h"

namespace mivra::ffmpeg {
namespace {

// Where a decoded frame starts, in seconds; nothing when it has no timestamp.
std::optional<double> StartOf(const AVFrame& frame, AVRational timeBase)
{
    if (frame.pts == AV_NOPTS_VALUE)
        return std::nullopt;
    return static_cast<double>(frame.pts) * av_q2d(timeBase);
}

// What a decoder left for its caller to drop at the start of the track.
std::int64_t StartSkipOf(const AVFrame& frame)
{
    const AVFrameSideData* data = av_frame_get_side_data(&frame, AV_FRAME_DATA_SKIP_SAMPLES);
    return data && data->size >= 4 ? AV_RL32(data->data) : 0;
}

DecodedStep Failed(int error)
{
    return {.kind = DecodedStep::Kind::failed, .error = error};
}

}  // namespace

// Data that cannot be parsed is where a file cut short ends: what was read
// before it stays. Any other failure to read fails the run.
bool StreamPackets::read(AVPacket& packet)
{
    for (;;) {
        av_packet_unref(&packet);
        const int read = av_read_frame(context_.get(), &packet);
        if (read < 0 && read != AVERROR_EOF && read != AVERROR_INVALIDDATA)
            error_ = read;
        if (read < 0)
            return false;
        if (packet.stream_index == streamIndex_ && packet.size > 0)
            return true;
    }
}

// Formats whose timestamps are a transmission's clock, where a gap between
// frames is audio lost on the way. Ogg allows jumps too, but there each link
// of a chain numbers its own samples: a jump there is a link's start, not a loss.
bool StreamPackets::timestampsShowLoss() const
{
    return (context_->iformat->flags & AVFMT_TS_DISCONT) && !IsOgg(*context_);
}

Damage::Damage(bool timestampsShowLoss)
    : gaps_(timestampsShowLoss ? std::optional<TimestampGaps>(std::in_place) : std::nullopt)
{
}

void Damage::received(const AVFrame& frame, AVRational timeBase)
{
    received_ += frame.nb_samples;
    if (gaps_)
        concealment_.lost(gaps_->lostBefore(StartOf(frame, timeBase), frame.nb_samples, frame.sample_rate));
}

// A packet that failed to decode: its frames are owed as silence once
// something after it decodes.
void Damage::lost(std::int64_t frames, int error, int rate)
{
    concealment_.failedPacket(frames);
    if (gaps_)
        gaps_->covered(frames, rate);
    lastError_ = error;
}

DecodedStep Damage::end() const
{
    return {.kind = DecodedStep::Kind::end, .error = lastError_, .tooDamaged = concealment_.tooDamaged()};
}

Decoding::Decoding(StreamPackets packets, CodecContext decoder, std::unique_ptr<Presentation> presentation,
                   int copiedFrameSize)
    : packets_(std::move(packets)), decoder_(std::move(decoder)), packet_(av_packet_alloc()), frame_(av_frame_alloc()),
      presentation_(std::move(presentation)), damage_(packets_.timestampsShowLoss()), copy_(copiedFrameSize)
{
    presentation_->prepare(*decoder_);
}

std::optional<std::string> Decoding::open()
{
    if (!packet_ || !frame_)
        return ErrorText(AVERROR(ENOMEM));
    if (const int error = avcodec_open2(decoder_.get(), nullptr, nullptr); error < 0)
        return ErrorText(error);
    return std::nullopt;
}

DecodedStep Decoding::next()
{
    for (;;) {
        if (packets_.error() < 0)
            return Failed(packets_.error());
        if (damage_.tooDamagedSoFar())
            return damage_.end();
        if (held_.kind != Kind::nothing) {
            if (std::optional<DecodedStep> step = presentedStep())
                return std::move(*step);
            continue;
        }
        if (decoderDrained_)
            return damage_.end();
        receiveFrame();
    }
}

// The decoder's next frame, held for output, or its next packet when it wants one.
void Decoding::receiveFrame()
{
    const int received = avcodec_receive_frame(decoder_.get(), frame_.get());
    if (received == 0) {
        ffmpeg51::LabelMpegAudioRate(*frame_, *decoder_);
        damage_.received(*frame_, packets_.stream().time_base);
        hold(Kind::frame, frame_->nb_samples, frame_->nb_samples, 0);
        held_.media.decoderStartSkip = StartSkipOf(*frame_);
    } else if (received == AVERROR_EOF) {
        decoderDrained_ = true;
    } else if (received == AVERROR(EAGAIN)) {
        feedDecoder();
    } else {
        damage_.lostRest(received, packets_.stream().codecpar->sample_rate);
    }
}

// Hands the decoder the next packet of the stream, or the end of input.
// A packet that needs no decoding is held for copying instead.
void Decoding::feedDecoder()
{
    const bool read = packets_.read(*packet_);
    if (packets_.error() < 0)
        return;
    if (read && !presentation_->packetRead(*packet_, *decoder_)) {
        av_packet_unref(packet_.get());
        return;
    }
    if (read && copy_.copies(*packet_)) {
        const KeptFrames kept = copy_.keep(*packet_);
        hold(Kind::packet, copy_.frames(*packet_), kept.count, kept.skipped);
        return;
    }
    damage_.sent(read ? packetFrames() : 0);
    const int sent = avcodec_send_packet(decoder_.get(), read ? packet_.get() : nullptr);
    av_packet_unref(packet_.get());
    if (sent < 0 && read)
        damage_.lostSent(sent, packets_.stream().codecpar->sample_rate);
    if (sent < 0 && !read)
        decoderDrained_ = true;
}

// The frames a packet stands for: its stated duration, never more than the
// codec's frame size where the codec has one.
std::int64_t Decoding::packetFrames() const
{
    const AVStream& stream = packets_.stream();
    const int rate = stream.codecpar->sample_rate;
    if (packet_->duration <= 0 || rate <= 0)
        return lastFrameCount_;
    // av_rescale_q gives INT64_MIN for what does not fit: as long as can be.
    std::int64_t frames = av_rescale_q(packet_->duration, stream.time_base, AVRational{1, rate});
    frames = frames < 0 ? std::numeric_limits<std::int64_t>::max() : frames;
    return decoder_->frame_size > 0 ? std::min<std::int64_t>(frames, decoder_->frame_size) : frames;
}

// Good frames are held, `presented` of them for the presentation after the
// `skipped` a copied packet drops; the silence owed for damage before them goes out first.
void Decoding::hold(Kind kind, std::int64_t frames, std::int64_t presented, std::int64_t skipped)
{
    lastFrameCount_ = static_cast<int>(frames);
    held_ = {.kind = kind,
             .media = {.frames = presented, .silence = damage_.silenceBeforeGoodFrames(lastFrameCount_)},
             .keptOffset = skipped};
}

// The next piece of the held frame or packet that the presentation gives;
// nothing, and the held one dropped, once no more of it goes out.
std::optional<DecodedStep> Decoding::presentedStep()
{
    const std::optional<PresentedPiece> piece = presentation_->next(held_.media);
    held_.media.silence = 0;
    ++held_.media.piecesGiven;
    if (!piece) {
        av_packet_unref(packet_.get());
        av_frame_unref(frame_.get());
        held_ = {};
        return std::nullopt;
    }
    return held_.kind == Kind::packet ? packetPiece(*piece) : framePiece(*piece);
}

DecodedStep Decoding::framePiece(const PresentedPiece& piece)
{
    DecodedStep step{
        .kind = DecodedStep::Kind::frame, .silenceBefore = piece.silenceBefore, .frame = Frame(av_frame_alloc())};
    if (!step.frame || av_frame_ref(step.frame.get(), frame_.get()) < 0)
        return Failed(AVERROR(ENOMEM));
    SkipFrames(*step.frame, static_cast<int>(piece.skipped));
    step.keptFrames = static_cast<int>(piece.count);
    return step;
}

DecodedStep Decoding::packetPiece(const PresentedPiece& piece)
{
    const auto frameSize = static_cast<std::size_t>(copy_.frameSize());
    DecodedStep step{.kind = DecodedStep::Kind::packet,
                     .silenceBefore = piece.silenceBefore,
                     .packet = Packet(av_packet_alloc()),
                     .keptOffset = static_cast<std::size_t>(held_.keptOffset + piece.skipped) * frameSize,
                     .keptSize = static_cast<std::size_t>(piece.count) * frameSize};
    if (!step.packet || av_packet_ref(step.packet.get(), packet_.get()) < 0)
        return Failed(AVERROR(ENOMEM));
    return step;
}

}  // namespace mivra::ffmpeg
