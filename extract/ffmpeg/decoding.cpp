#include "decoding.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "../checked.h"
#include "../pcm24.h"
#include "ffmpeg51_quirks.h"
#include "formats.h"
#include "mov_edit_list.h"

namespace mivra::ffmpeg {
namespace {

// The length of the presented track in frames at its rate, when its container
// states one of its own: the mov family's edit list (a fragmented file's, or
// the track duration of another, or
// the valid length of its gapless tag) ends the track there, even inside a
// packet, and so does an Ogg Vorbis stream's final granule. Other containers
// state their end in the packets (end padding), which the decoder applies; a
// duration alone cuts nothing.
std::optional<std::int64_t> StatedLength(const std::optional<MovEditList>& edits, const AVFormatContext& context,
                                         const AVStream& stream)
{
    if (const std::optional<std::int64_t> fragmented = FragmentedEditLength(edits, context, stream))
        return fragmented;
    const bool stated = IsMovFamily(context) || IsVorbisInOgg(context, stream);
    const int rate = stream.codecpar->sample_rate;
    if (!stated || stream.duration == AV_NOPTS_VALUE || stream.duration <= 0 || rate <= 0)
        return std::nullopt;
    const std::int64_t length = ffmpeg51::SampleCount(context, stream)
                                    .value_or(av_rescale_q(stream.duration, stream.time_base, AVRational{1, rate}));
    if (length < 0)  // too long to count: it cuts nothing
        return std::nullopt;
    const auto valid = ffmpeg51::GaplessValidLength(context, stream, rate);
    return valid ? std::min(length, *valid) : length;
}

// Formats whose timestamps are a transmission's clock, where a gap between
// frames is audio lost on the way. Ogg allows jumps too, but there each link
// of a chain numbers its own samples: a jump there is a link's start, not a loss.
bool TimestampsShowLoss(const AVFormatContext& context)
{
    return (context.iformat->flags & AVFMT_TS_DISCONT) && !IsOgg(context);
}

// Where a decoded frame starts, in seconds; nothing when it has no timestamp.
std::optional<double> StartOf(const AVFrame& frame, AVRational timeBase)
{
    if (frame.pts == AV_NOPTS_VALUE)
        return std::nullopt;
    return static_cast<double>(frame.pts) * av_q2d(timeBase);
}

}  // namespace

Decoding::Decoding(FormatContext context, int streamIndex, CodecContext decoder,
                   const std::optional<MovEditList>& edits, int copiedFrameSize)
    : context_(std::move(context)), streamIndex_(streamIndex), decoder_(std::move(decoder)), packet_(av_packet_alloc()),
      frame_(av_frame_alloc()), end_(StatedLength(edits, *context_, *context_->streams[streamIndex])),
      edits_(edits, *context_, *context_->streams[streamIndex]),
      links_(*context_, *context_->streams[streamIndex], *decoder_),
      gaps_(TimestampsShowLoss(*context_) ? std::optional<TimestampGaps>(std::in_place) : std::nullopt),
      copy_(copiedFrameSize)
{
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
        if (readError_ < 0)
            return {.kind = DecodedStep::Kind::failed, .error = readError_};
        if (concealment_.tooDamagedSoFar())
            return {.kind = DecodedStep::Kind::end, .error = lastError_, .tooDamaged = true};
        if (held_ != Held::nothing && edits_.presents()) {
            if (std::optional<DecodedStep> step = editedStep())
                return std::move(*step);
            continue;
        }
        if (held_ == Held::frame)
            return frameStep();
        if (held_ == Held::packet)
            return packetStep();
        if (decoderDrained_)
            return {.kind = DecodedStep::Kind::end, .error = lastError_, .tooDamaged = concealment_.tooDamaged()};
        receiveFrame();
    }
}

// The decoder's next frame, held for output, or its next packet when it wants one.
void Decoding::receiveFrame()
{
    const int received = avcodec_receive_frame(decoder_.get(), frame_.get());
    if (received == 0) {
        sent_.received(frame_->nb_samples);
        ffmpeg51::LabelMpegAudioRate(*frame_, *decoder_);
        if (gaps_) {
            const AVRational timeBase = context_->streams[streamIndex_]->time_base;
            concealment_.lost(gaps_->lostBefore(StartOf(*frame_, timeBase), frame_->nb_samples, frame_->sample_rate));
        }
        hold(Held::frame, frame_->nb_samples);
    } else if (received == AVERROR_EOF) {
        decoderDrained_ = true;
    } else if (received == AVERROR(EAGAIN)) {
        feedDecoder();
    } else {
        lose(sent_.left(), received);
    }
}

// Hands the decoder the next packet of the stream, or the end of input.
// A packet that needs no decoding is held for copying instead.
void Decoding::feedDecoder()
{
    const bool read = readPacket();
    if (readError_ < 0)
        return;
    if (read && !links_.packetRead(*packet_, *decoder_, end_)) {
        av_packet_unref(packet_.get());
        return;
    }
    if (read)
        edits_.stateStart(*packet_);
    if (read && copy_.copies(*packet_)) {
        hold(Held::packet, static_cast<int>(copy_.frames(*packet_)));
        return;
    }
    sent_.sent(read ? packetFrames() : 0);
    const int sent = avcodec_send_packet(decoder_.get(), read ? packet_.get() : nullptr);
    av_packet_unref(packet_.get());
    if (sent < 0 && read)
        lose(sent_.frames(), sent);
    if (sent < 0 && !read)
        decoderDrained_ = true;
}

// The next non-empty packet of the stream into packet_; false at the end of
// input. Data that cannot be parsed is where a file cut short ends: what
// was read before it stays. Any other failure to read fails the run.
bool Decoding::readPacket()
{
    for (;;) {
        av_packet_unref(packet_.get());
        const int read = av_read_frame(context_.get(), packet_.get());
        if (read < 0 && read != AVERROR_EOF && read != AVERROR_INVALIDDATA)
            readError_ = read;
        if (read < 0)
            return false;
        if (packet_->stream_index == streamIndex_ && packet_->size > 0)
            return true;
    }
}

// The frames a packet stands for: its stated duration, never more than the
// codec's frame size where the codec has one.
std::int64_t Decoding::packetFrames() const
{
    const int rate = context_->streams[streamIndex_]->codecpar->sample_rate;
    if (packet_->duration <= 0 || rate <= 0)
        return lastFrameCount_;
    // av_rescale_q gives INT64_MIN for what does not fit: as long as can be.
    std::int64_t frames =
        av_rescale_q(packet_->duration, context_->streams[streamIndex_]->time_base, AVRational{1, rate});
    frames = frames < 0 ? std::numeric_limits<std::int64_t>::max() : frames;
    return decoder_->frame_size > 0 ? std::min<std::int64_t>(frames, decoder_->frame_size) : frames;
}

// A packet that failed to decode: its frames are owed as silence once
// something after it decodes.
void Decoding::lose(std::int64_t frames, int error)
{
    concealment_.failedPacket(frames);
    if (gaps_)
        gaps_->covered(frames, context_->streams[streamIndex_]->codecpar->sample_rate);
    lastError_ = error;
}

// Good frames are held; the silence owed for damage before them goes out first.
void Decoding::hold(Held held, int frames)
{
    held_ = held;
    lastFrameCount_ = frames;
    silence_ = end_.keep(concealment_.silenceBeforeGoodFrames(frames));
}

DecodedStep Decoding::packetStep()
{
    held_ = Held::nothing;
    const KeptFrames kept = copy_.keep(*packet_);
    const std::int64_t count = end_.keep(kept.count);
    DecodedStep step{.kind = DecodedStep::Kind::packet,
                     .silenceBefore = silence_,
                     .packet = Packet(av_packet_alloc()),
                     .keptOffset = static_cast<std::size_t>(kept.skipped * copy_.frameSize()),
                     .keptSize = static_cast<std::size_t>(count * copy_.frameSize())};
    if (!step.packet)
        return {.kind = DecodedStep::Kind::failed, .error = AVERROR(ENOMEM)};
    av_packet_move_ref(step.packet.get(), packet_.get());
    return step;
}

DecodedStep Decoding::frameStep()
{
    held_ = Held::nothing;
    DecodedStep step{.kind = DecodedStep::Kind::frame, .silenceBefore = silence_, .frame = Frame(av_frame_alloc())};
    if (!step.frame)
        return {.kind = DecodedStep::Kind::failed, .error = AVERROR(ENOMEM)};
    av_frame_move_ref(step.frame.get(), frame_.get());
    links_.trimStart(*step.frame);
    step.keptFrames = static_cast<int>(end_.keep(step.frame->nb_samples));
    return step;
}

// The next piece of the held frame or packet that the edit list presents;
// nothing, and the held one dropped, once no more of it is.
std::optional<DecodedStep> Decoding::editedStep()
{
    const std::int64_t silence = std::exchange(silence_, 0);
    std::optional<DecodedStep> step =
        held_ == Held::packet ? edits_.piece(*packet_, copy_.frameSize(), silence) : edits_.piece(*frame_, silence);
    if (!step) {
        av_packet_unref(packet_.get());
        av_frame_unref(frame_.get());
        held_ = Held::nothing;
    }
    return step;
}

}  // namespace mivra::ffmpeg
