#include "reader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>
#include <system_error>
#include <vector>

extern "C" {
#include <libavutil/intreadwrite.h>
#include <libavutil/opt.h>
}

#include "../pcm24.h"
#include "../timeline.h"
#include "decode_thread.h"
#include "mov_edit_list.h"
#include "ogg_links.h"

namespace mivra::ffmpeg {
namespace {

// soxr at 24 bits keeps resampled audio at the 24-bit noise floor; more
// precision measures no better and costs time. A lossy source's own coding
// noise lies 30 dB or more above soxr's 20-bit precision (THD+N about -133 dB),
// which its single-precision engine reaches in about three quarters of the time.
constexpr double kResamplerPrecision = 24;
constexpr double kLossyResamplerPrecision = 20;

double ResamplerPrecisionFor(AVCodecID codec)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
    const bool lossy = descriptor && (descriptor->props & AV_CODEC_PROP_LOSSY) != 0 &&
                       (descriptor->props & AV_CODEC_PROP_LOSSLESS) == 0;
    return lossy ? kLossyResamplerPrecision : kResamplerPrecision;
}

// Resampled output is taken in pieces of about this many samples (256 KiB
// as 32-bit words), whatever the rates and the channel count.
constexpr int kResampledPieceSamples = 1 << 16;

// libswresample takes whole rates; a fractional target rate is expressed as
// a ratio of scaled whole numbers.
struct ConverterRates {
    int in;
    int out;
};

ConverterRates RatesFor(int sourceRate, double targetRate)
{
    if (targetRate == std::floor(targetRate))
        return {sourceRate, static_cast<int>(targetRate)};
    for (const int scale : {1000, 100, 10}) {
        const double in = static_cast<double>(sourceRate) * scale;
        const double out = std::round(targetRate * scale);
        if (in <= INT_MAX && out <= INT_MAX)
            return {static_cast<int>(in), static_cast<int>(out)};
    }
    return {sourceRate, static_cast<int>(std::lround(targetRate))};
}

// Integer samples at the target rate and channel count need no converter:
// they are packed straight from the decoder's frame, bit-exact.
bool PacksDirectly(const AVFrame& frame, double targetRate, int channelCount)
{
    return frame.sample_rate == targetRate && frame.ch_layout.nb_channels == channelCount &&
           (frame.format == AV_SAMPLE_FMT_S16 || frame.format == AV_SAMPLE_FMT_S32);
}

// Turns the decoded frames of one run into packed 24-bit samples, set up from
// the first decoded frame: directly when the decoder's samples allow it, else
// through libswresample.
class Converter {
public:
    explicit Converter(double precision) : precision_(precision) {}

    int configure(const AVFrame& frame, double targetRate, int channelCount)
    {
        if (av_channel_layout_copy(&sourceLayout_.value, &frame.ch_layout) < 0)
            return AVERROR(ENOMEM);
        sourceFormat_ = frame.format;
        sourceRate_ = frame.sample_rate;
        channelCount_ = channelCount;
        direct_ = PacksDirectly(frame, targetRate, channelCount);
        return direct_ ? 0 : configureResampler(frame, targetRate);
    }

    bool configured() const { return direct_ || resampler_ != nullptr; }

    bool matches(const AVFrame& frame) const
    {
        return frame.format == sourceFormat_ && frame.sample_rate == sourceRate_ && sameChannels(frame);
    }

    bool sameChannels(const AVFrame& frame) const
    {
        return av_channel_layout_compare(&frame.ch_layout, &sourceLayout_.value) == 0;
    }

    // Forgets the set-up once drained, so that the next frame sets it up anew.
    void reset()
    {
        resampler_.reset();
        direct_ = false;
        flushing_ = false;
    }

    // Converts the first inputCount samples of one frame, or drains what the
    // resampler still holds when frame is null. Returns 0 with the first
    // packed piece, or a negative error; while pending(), convertPending()
    // gives the next pieces.
    int convert(const AVFrame* frame, int inputCount, std::vector<std::byte>& packed)
    {
        if (!direct_)
            return startResampling(frame, inputCount, packed);
        const std::size_t sampleCount = frame ? static_cast<std::size_t>(inputCount) * channelCount_ : 0;
        packed.resize(sampleCount * kBytesPerSample);
        if (sampleCount == 0)
            return 0;
        if (frame->format == AV_SAMPLE_FMT_S32) {
            PackSamples24(std::span(reinterpret_cast<const std::int32_t*>(frame->data[0]), sampleCount), packed.data());
        } else {
            PackSamples24(std::span(reinterpret_cast<const std::int16_t*>(frame->data[0]), sampleCount), packed.data());
        }
        return 0;
    }

    bool pending() const { return outputFull_ || inputLeft_ > 0; }

    int convertPending(std::vector<std::byte>& packed)
    {
        // Output the resampler holds goes out before more input goes in.
        if (outputFull_)
            return resample(flushing_ ? nullptr : noInput(), 0, packed);
        const int count = std::min(inputLeft_, inputPiece_);
        const int error = resample(inputPlanes(), count, packed);
        inputOffset_ += count;
        inputLeft_ -= count;
        if (inputLeft_ == 0)
            av_frame_unref(input_.get());
        return error;
    }

private:
    int configureResampler(const AVFrame& frame, double targetRate)
    {
        // The source's layout and order are kept; only a source whose channel
        // count differs from the one asked for is mixed to the default layout.
        ChannelLayout target;
        if (frame.ch_layout.nb_channels == channelCount_) {
            if (av_channel_layout_copy(&target.value, &frame.ch_layout) < 0)
                return AVERROR(ENOMEM);
        } else {
            av_channel_layout_default(&target.value, channelCount_);
        }
        // The run refused such rates up front when the source stated its own.
        if (!RatesWithinFactor(frame.sample_rate, targetRate))
            return AVERROR(EINVAL);
        const ConverterRates rates = RatesFor(frame.sample_rate, targetRate);
        SwrContext* raw = nullptr;
        int error = swr_alloc_set_opts2(&raw, &target.value, AV_SAMPLE_FMT_S32, rates.out, &sourceLayout_.value,
                                        static_cast<AVSampleFormat>(frame.format), rates.in, 0, nullptr);
        resampler_.reset(raw);
        if (error < 0)
            return error;
        outputFrames_ = std::max(1, kResampledPieceSamples / channelCount_);
        samples_.resize(static_cast<std::size_t>(outputFrames_) * channelCount_);
        inputPiece_ = static_cast<int>(
            std::clamp<std::int64_t>(av_rescale_rnd(outputFrames_, rates.in, rates.out, AV_ROUND_DOWN), 1, INT_MAX));
        av_opt_set_int(raw, "resampler", SWR_ENGINE_SOXR, 0);
        av_opt_set_double(raw, "precision", precision_, 0);
        return swr_init(raw);
    }

    // The frame is held and fed in pieces the resampler takes whole for one
    // piece of output: memory then stays the same whatever the rate ratio
    // (one input sample at 1 Hz makes 48000 at 48 kHz), and no input is left
    // in the resampler when it is flushed.
    int startResampling(const AVFrame* frame, int inputCount, std::vector<std::byte>& packed)
    {
        av_frame_unref(input_.get());
        inputOffset_ = 0;
        inputLeft_ = 0;
        if (!frame) {
            flushing_ = true;
            return resample(nullptr, 0, packed);
        }
        if (!input_)
            return AVERROR(ENOMEM);
        if (const int error = av_frame_ref(input_.get(), frame); error < 0)
            return error;
        inputLeft_ = inputCount;
        return convertPending(packed);
    }

    // The held frame's sample pointers at the first sample not fed yet.
    const uint8_t* const* inputPlanes()
    {
        const auto format = static_cast<AVSampleFormat>(sourceFormat_);
        const int channels = sourceLayout_.value.nb_channels;
        const bool planar = av_sample_fmt_is_planar(format);
        const std::size_t step =
            static_cast<std::size_t>(av_get_bytes_per_sample(format)) * inputOffset_ * (planar ? 1 : channels);
        planes_.resize(planar ? channels : 1);
        for (std::size_t plane = 0; plane < planes_.size(); ++plane)
            planes_[plane] = input_->extended_data[plane] + step;
        return planes_.data();
    }

    // Input of no samples takes out what the resampler holds; null input
    // would flush it, which only the drain may do. The pointers are never
    // read, yet each is a valid address: the output buffer's.
    const uint8_t* const* noInput()
    {
        planes_.assign(std::max(1, sourceLayout_.value.nb_channels), reinterpret_cast<uint8_t*>(samples_.data()));
        return planes_.data();
    }

    int resample(const uint8_t* const* in, int inputCount, std::vector<std::byte>& packed)
    {
        auto* out = reinterpret_cast<uint8_t*>(samples_.data());
        const int produced =
            swr_convert(resampler_.get(), &out, outputFrames_, const_cast<const uint8_t**>(in), inputCount);
        outputFull_ = produced == outputFrames_;
        if (produced < 0)
            return produced;
        const std::size_t sampleCount = static_cast<std::size_t>(produced) * channelCount_;
        packed.resize(sampleCount * kBytesPerSample);
        PackSamples24(std::span(samples_).first(sampleCount), packed.data());
        return 0;
    }

    double precision_;
    Resampler resampler_;
    bool direct_ = false;
    ChannelLayout sourceLayout_;
    int sourceFormat_ = -1;
    int sourceRate_ = 0;
    int channelCount_ = 0;
    int outputFrames_ = 0;  // per piece of output
    int inputPiece_ = 0;    // frames of input that make at most one piece
    Frame input_{av_frame_alloc()};
    int inputOffset_ = 0;
    int inputLeft_ = 0;
    bool outputFull_ = false;  // the last piece filled up: more may wait
    bool flushing_ = false;
    std::vector<const uint8_t*> planes_;
    std::vector<std::int32_t> samples_;
};

// FFmpeg 5.1 cuts the end padding of an Ogg Vorbis stream's last packet as if
// the stream's first packet had given audio, which it never does: one short
// block too much goes. Such a stream is trimmed here instead, from what the
// decoder states on its frames and from the final granule.
bool IsVorbisInOgg(const AVFormatContext& context, const AVStream& stream)
{
    return std::string_view(context.iformat->name) == "ogg" && stream.codecpar->codec_id == AV_CODEC_ID_VORBIS;
}

// The gapless tag iTunes and common AAC encoders write in .m4a files,
// "iTunSMPB": hexadecimal fields, the second the priming, the third the end
// padding, the fourth the valid length in frames. FFmpeg 5.1 cuts the tag's
// priming where no edit list states the start, and then starts the stream at
// the priming; it leaves the padding. The valid length, counted from the
// first frame after the priming, ends such a track. Where an edit list states
// the start it states the end too, and the tag is left alone.
std::optional<std::int64_t> GaplessValidLength(const AVFormatContext& context, const AVStream& stream, int rate)
{
    const AVDictionaryEntry* tag = av_dict_get(context.metadata, "iTunSMPB", nullptr, 0);
    unsigned priming = 0;
    unsigned long long valid = 0;
    if (!std::string_view(context.iformat->name).starts_with("mov,") || !tag ||
        std::sscanf(tag->value, "%*x %x %*x %llx", &priming, &valid) != 2 || valid == 0 ||
        valid > static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    if (stream.start_time == AV_NOPTS_VALUE ||
        av_rescale_q(stream.start_time, stream.time_base, AVRational{1, rate}) != std::int64_t{priming}) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(valid);
}

// The length of the presented track in frames at its rate, when its container
// states one of its own: the mov family's edit list (or track duration, or
// the valid length of its gapless tag) ends the track there, even inside a
// packet, and so does an Ogg Vorbis stream's final granule. Other containers
// state their end in the packets (end padding), which the decoder applies; a
// duration alone cuts nothing.
std::optional<std::int64_t> StatedLength(const AVFormatContext& context, const AVStream& stream)
{
    const bool stated = std::string_view(context.iformat->name).starts_with("mov,") || IsVorbisInOgg(context, stream);
    const int rate = stream.codecpar->sample_rate;
    if (!stated || stream.duration == AV_NOPTS_VALUE || stream.duration <= 0 || rate <= 0)
        return std::nullopt;
    const std::int64_t length = av_rescale_q(stream.duration, stream.time_base, AVRational{1, rate});
    const auto valid = GaplessValidLength(context, stream, rate);
    return valid ? std::min(length, *valid) : length;
}

// Formats whose timestamps are a transmission's clock, where a gap between
// frames is audio lost on the way. Ogg allows jumps too, but there each link
// of a chain numbers its own samples: a jump there is a link's start, not a loss.
bool TimestampsShowLoss(const AVFormatContext& context)
{
    return (context.iformat->flags & AVFMT_TS_DISCONT) && std::string_view(context.iformat->name) != "ogg";
}

// Where a decoded frame starts, in seconds; nothing when it has no timestamp.
std::optional<double> StartOf(const AVFrame& frame, AVRational timeBase)
{
    if (frame.pts == AV_NOPTS_VALUE)
        return std::nullopt;
    return static_cast<double>(frame.pts) * av_q2d(timeBase);
}

// FFmpeg 5.1's MPEG audio decoder takes a frame's buffer before it reads the
// rate of the frame's header: the first frame after a change of rate still
// carries the rate before it. Its context holds the rate of the frame just
// decoded (one frame per packet, no frame threads).
void LabelMpegAudioRate(AVFrame& frame, const AVCodecContext& decoder)
{
    const AVCodecID codec = decoder.codec_id;
    if ((codec == AV_CODEC_ID_MP1 || codec == AV_CODEC_ID_MP2 || codec == AV_CODEC_ID_MP3) && decoder.sample_rate > 0)
        frame.sample_rate = decoder.sample_rate;
}

// What a decoder left for its caller to drop at the start of the track, when
// it trims nothing itself.
std::int64_t StartSkipOf(const AVFrame& frame)
{
    const AVFrameSideData* data = av_frame_get_side_data(&frame, AV_FRAME_DATA_SKIP_SAMPLES);
    return data && data->size >= 4 ? AV_RL32(data->data) : 0;
}

// Moves a frame's sample pointers past its first `frames` frames.
void SkipFrames(AVFrame& frame, int frames)
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

// What a packet says to drop: frames at the start of the track, frames at its own end.
struct SkipStatement {
    std::optional<std::int64_t> start;
    std::int64_t endPadding = 0;
};

SkipStatement SkipStatementOf(const AVPacket& packet)
{
    std::size_t size = 0;
    const std::uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (!data || size < 8)
        return {};
    return {AV_RL32(data), AV_RL32(data + 4)};
}

// The size of one frame of packets that already hold the output: 24-bit
// little-endian PCM at the target rate with every channel kept. Such packets
// are copied rather than decoded and packed again. 0 for any other stream.
int CopiedFrameSize(const AVCodecParameters& codec, double targetRate, int channelCount)
{
    const bool copied = codec.codec_id == AV_CODEC_ID_PCM_S24LE && codec.sample_rate == targetRate &&
                        codec.ch_layout.nb_channels == channelCount;
    return copied ? static_cast<int>(kBytesPerSample) * channelCount : 0;
}

// Silence that stands for a packet that failed to decode goes out in pieces
// of at most this many frames.
constexpr int kSilenceChunkFrames = 8192;

// Frame threads pay off where decoding is all that is left beside packing and
// writing; a run that resamples already keeps the second core busy.
void ChooseDecoderThreads(AVCodecContext& decoder, bool frameThreads)
{
    if (frameThreads && (decoder.codec->capabilities & AV_CODEC_CAP_FRAME_THREADS)) {
        decoder.thread_count = 2;
        decoder.thread_type = FF_THREAD_FRAME;
    } else {
        decoder.thread_count = 1;
    }
}

// The decoding half of a run: demuxes the stream, decodes it and decides what
// the container and the damage make of each frame (start trims, the stated
// end, silence standing for lost packets), one step at a time in output order.
class Decoding final : public StepSource {
public:
    Decoding(FormatContext context, int streamIndex, CodecContext decoder)
        : context_(std::move(context)), streamIndex_(streamIndex), decoder_(std::move(decoder)),
          packet_(av_packet_alloc()), frame_(av_frame_alloc()),
          end_(StatedLength(*context_, *context_->streams[streamIndex])),
          links_(ReadOggLinks(*context_, *context_->streams[streamIndex])),
          presented_(IgnoredEditsTimeline(*context_, *context_->streams[streamIndex])),
          watchesGaps_(TimestampsShowLoss(*context_))
    {
    }

    std::optional<std::string> open(double targetRate, int channelCount, Threading threading)
    {
        if (!packet_ || !frame_)
            return ErrorText(AVERROR(ENOMEM));
        const AVCodecParameters& codec = *context_->streams[streamIndex_]->codecpar;
        copiedFrameSize_ = CopiedFrameSize(codec, targetRate, channelCount);
        ChooseDecoderThreads(*decoder_, threading == Threading::pipelined && copiedFrameSize_ == 0 &&
                                            codec.sample_rate == targetRate);
        if (const int error = avcodec_open2(decoder_.get(), nullptr, nullptr); error < 0)
            return ErrorText(error);
        return std::nullopt;
    }

    // Non-zero when packets are copied rather than decoded.
    int copiedFrameSize() const { return copiedFrameSize_; }

    DecodedStep next() override
    {
        for (;;) {
            if (readError_ < 0)
                return {.kind = DecodedStep::Kind::failed, .error = readError_};
            if (held_ != Held::nothing && presented_) {
                if (std::optional<DecodedStep> step = presentedStep())
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

private:
    enum class Held { nothing, frame, packet };

    // The decoder's next frame, held for output, or its next packet when it wants one.
    void receiveFrame()
    {
        const int received = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (received == 0) {
            receivedSinceSent_ += frame_->nb_samples;
            LabelMpegAudioRate(*frame_, *decoder_);
            if (watchesGaps_) {
                const AVRational timeBase = context_->streams[streamIndex_]->time_base;
                concealment_.lost(
                    gaps_.lostBefore(StartOf(*frame_, timeBase), frame_->nb_samples, frame_->sample_rate));
            }
            hold(Held::frame, frame_->nb_samples);
        } else if (received == AVERROR_EOF) {
            decoderDrained_ = true;
        } else if (received == AVERROR(EAGAIN)) {
            feedDecoder();
        } else {
            // A decoder that gave a frame from the start of a packet and then
            // failed on the rest lost only what the packet had left.
            lose(sentFrames_ - receivedSinceSent_, received);
        }
    }

    // Hands the decoder the next packet of the stream, or the end of input.
    // A packet that needs no decoding is held for copying instead.
    void feedDecoder()
    {
        const bool read = readPacket();
        if (readError_ < 0)
            return;
        if (const OggLink* link = read ? links_.opens(*packet_) : nullptr)
            startLink(*link);
        if (read && copiesPacket()) {
            hold(Held::packet, packet_->size / copiedFrameSize_);
            return;
        }
        sentFrames_ = read ? packetFrames() : 0;
        receivedSinceSent_ = 0;
        const int sent = avcodec_send_packet(decoder_.get(), read ? packet_.get() : nullptr);
        av_packet_unref(packet_.get());
        if (sent < 0 && read)
            lose(sentFrames_, sent);
        if (sent < 0 && !read)
            decoderDrained_ = true;
    }

    // The next non-empty packet of the stream into packet_; false at the end of
    // input. Data that cannot be parsed is where a file cut short ends: what
    // was read before it stays. Any other failure to read fails the run.
    bool readPacket()
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

    std::int64_t packetFrames() const
    {
        const int rate = context_->streams[streamIndex_]->codecpar->sample_rate;
        if (packet_->duration <= 0 || rate <= 0)
            return lastFrameCount_;
        return av_rescale_q(packet_->duration, context_->streams[streamIndex_]->time_base, AVRational{1, rate});
    }

    // A packet that failed to decode: its frames are owed as silence once
    // something after it decodes.
    void lose(std::int64_t frames, int error)
    {
        concealment_.lost(frames);
        gaps_.covered(frames, context_->streams[streamIndex_]->codecpar->sample_rate);
        lastError_ = error;
    }

    // Whole 24-bit frames whose only statement is what to drop: such a packet
    // holds exactly the samples the decoder would give, less what is dropped.
    bool copiesPacket() const
    {
        if (copiedFrameSize_ == 0 || packet_->size % copiedFrameSize_ != 0)
            return false;
        const int statements = SkipStatementOf(*packet_).start ? 1 : 0;
        return packet_->side_data_elems == statements &&
               (packet_->flags & ~(AV_PKT_FLAG_KEY | AV_PKT_FLAG_DISCARD)) == 0;
    }

    // Good frames are held; the silence owed for damage before them goes out first.
    void hold(Held held, int frames)
    {
        held_ = held;
        lastFrameCount_ = frames;
        silence_ = end_.keep(concealment_.silenceBeforeGoodFrames(frames));
    }

    DecodedStep packetStep()
    {
        held_ = Held::nothing;
        const SkipStatement statement = SkipStatementOf(*packet_);
        if (statement.start)
            trim_.stateStartSkip(*statement.start);
        const KeptFrames kept =
            trim_.keep(packet_->size / copiedFrameSize_, packet_->flags & AV_PKT_FLAG_DISCARD, statement.endPadding);
        const std::int64_t count = end_.keep(kept.count);
        DecodedStep step{.kind = DecodedStep::Kind::packet,
                         .silenceBefore = silence_,
                         .packet = Packet(av_packet_alloc()),
                         .keptOffset = static_cast<std::size_t>(kept.skipped * copiedFrameSize_),
                         .keptSize = static_cast<std::size_t>(count * copiedFrameSize_)};
        if (!step.packet)
            return {.kind = DecodedStep::Kind::failed, .error = AVERROR(ENOMEM)};
        av_packet_move_ref(step.packet.get(), packet_.get());
        return step;
    }

    DecodedStep frameStep()
    {
        held_ = Held::nothing;
        DecodedStep step{.kind = DecodedStep::Kind::frame, .silenceBefore = silence_, .frame = Frame(av_frame_alloc())};
        if (!step.frame)
            return {.kind = DecodedStep::Kind::failed, .error = AVERROR(ENOMEM)};
        av_frame_move_ref(step.frame.get(), frame_.get());
        if (decoder_->flags2 & AV_CODEC_FLAG2_SKIP_MANUAL)
            applyStatedStart(*step.frame);
        step.keptFrames = static_cast<int>(end_.keep(step.frame->nb_samples));
        return step;
    }

    // The next piece of the held frame or packet that the edit list presents,
    // with the silence before it; nothing once no more of it is presented.
    // Silence standing for lost packets stands for media, and is cut as media.
    std::optional<DecodedStep> presentedStep()
    {
        presentedSilence_ += presented_->presentedSilence(mediaPosition_, silence_);
        mediaPosition_ += silence_;
        silence_ = 0;
        const bool packet = held_ == Held::packet;
        const std::int64_t frames = packet ? packet_->size / copiedFrameSize_ : frame_->nb_samples;
        const std::optional<PresentedPiece> piece = presented_->next(mediaPosition_, frames);
        if (!piece) {
            av_packet_unref(packet_.get());
            av_frame_unref(frame_.get());
            held_ = Held::nothing;
            mediaPosition_ += frames;
            return std::nullopt;
        }
        DecodedStep step = packet ? packetPiece(*piece) : framePiece(*piece);
        step.silenceBefore = presentedSilence_ + piece->silenceBefore;
        presentedSilence_ = 0;
        return step;
    }

    DecodedStep packetPiece(const PresentedPiece& piece)
    {
        DecodedStep step{.kind = DecodedStep::Kind::packet,
                         .packet = Packet(av_packet_alloc()),
                         .keptOffset = static_cast<std::size_t>(piece.skipped * copiedFrameSize_),
                         .keptSize = static_cast<std::size_t>(piece.count * copiedFrameSize_)};
        if (!step.packet || av_packet_ref(step.packet.get(), packet_.get()) < 0)
            return {.kind = DecodedStep::Kind::failed, .error = AVERROR(ENOMEM)};
        return step;
    }

    DecodedStep framePiece(const PresentedPiece& piece)
    {
        DecodedStep step{.kind = DecodedStep::Kind::frame, .frame = Frame(av_frame_alloc())};
        if (!step.frame || av_frame_ref(step.frame.get(), frame_.get()) < 0)
            return {.kind = DecodedStep::Kind::failed, .error = AVERROR(ENOMEM)};
        SkipFrames(*step.frame, static_cast<int>(piece.skipped));
        step.keptFrames = static_cast<int>(piece.count);
        return step;
    }

    // Each link of a chained Ogg file decodes as it does on its own, trimmed
    // as its own granule positions state (see ogg_links.h).
    void startLink(const OggLink& link)
    {
        if (!links_.first())
            avcodec_flush_buffers(decoder_.get());
        trim_.stateStartSkip(link.startTrim);
        end_ = StatedEnd(link.length);
    }

    // The start the decoder stated but left to us; its end padding is not
    // trusted (see IsVorbisInOgg), the stated length cuts the end instead.
    void applyStatedStart(AVFrame& frame)
    {
        if (const std::int64_t skip = StartSkipOf(frame); skip > 0)
            trim_.stateStartSkip(skip);
        const KeptFrames kept = trim_.keep(frame.nb_samples, false, 0);
        SkipFrames(frame, static_cast<int>(kept.skipped));
    }

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
    std::int64_t mediaPosition_ = 0;
    std::int64_t presentedSilence_ = 0;
    Concealment concealment_;
    TimestampGaps gaps_;
    bool watchesGaps_;
    int copiedFrameSize_ = 0;
    Held held_ = Held::nothing;
    std::int64_t silence_ = 0;
    std::int64_t sentFrames_ = 0;
    std::int64_t receivedSinceSent_ = 0;
    int lastFrameCount_ = 0;
    int lastError_ = 0;
    int readError_ = 0;
    bool decoderDrained_ = false;
};

// The output half of a run: turns the decoded steps into packed 24-bit
// buffers, with the silence owed before them, and drains the converter at the
// end. The steps come from the decoding itself or from its own thread.
class Reader final : public SampleReader {
public:
    Reader(FormatContext context, int streamIndex, CodecContext decoder, Threading threading, double precision)
        : decoding_(std::move(context), streamIndex, std::move(decoder)), silentFrame_(av_frame_alloc()),
          threading_(threading), converter_(precision)
    {
    }

    std::optional<std::string> start(double sampleRate, std::uint16_t channelCount) override
    {
        if (!silentFrame_)
            return ErrorText(AVERROR(ENOMEM));
        if (auto refusal = decoding_.open(sampleRate, channelCount, threading_))
            return refusal;
        targetRate_ = sampleRate;
        channelCount_ = channelCount;
        copiedFrameSize_ = decoding_.copiedFrameSize();
        // Copying packets costs less than handing them to another thread.
        if (threading_ == Threading::pipelined && copiedFrameSize_ == 0)
            startDecodeThread();
        return std::nullopt;
    }

    std::optional<std::span<const std::byte>> nextBuffer() override
    {
        while (status_ == ReaderStatus::reading) {
            if (converter_.pending())
                return finish(converter_.convertPending(packed_));
            if (held_ && sourceChanged(*held_)) {
                if (!converter_.sameChannels(*held_->frame))
                    return finish(AVERROR_INPUT_CHANGED);
                if (!drainedForChange_)
                    return drainForChange();
                drainedForChange_ = false;
                converter_.reset();
            }
            if (silenceLeft_ > 0)
                return silence();
            if (held_)
                return output();
            if (ending_)
                return drainConverter();
            take(source_->next());
        }
        return std::nullopt;
    }

    ReaderStatus status() const override { return status_; }
    std::string errorDescription() const override { return error_; }

private:
    // Without a second thread the run goes on, on this one.
    void startDecodeThread()
    {
        try {
            source_ = &decodeThread_.emplace(decoding_);
        } catch (const std::system_error&) {
            source_ = &decoding_;
        }
    }

    void take(DecodedStep step)
    {
        if (step.kind == DecodedStep::Kind::failed) {
            fail(step.error);
        } else if (step.kind == DecodedStep::Kind::end) {
            ending_ = std::move(step);
        } else {
            silenceLeft_ = step.silenceBefore;
            held_ = std::move(step);
        }
    }

    // The held frame converted, or the kept bytes of the held packet; they
    // stay valid until the next call.
    std::optional<std::span<const std::byte>> output()
    {
        shown_ = std::move(*held_);
        held_.reset();
        if (shown_.kind == DecodedStep::Kind::packet) {
            const auto* bytes = reinterpret_cast<const std::byte*>(shown_.packet->data);
            return std::span(bytes + shown_.keptOffset, shown_.keptSize);
        }
        int error = configureConverter(*shown_.frame);
        if (error == 0)
            error = converter_.convert(shown_.frame.get(), shown_.keptFrames, packed_);
        shown_.frame.reset();
        return finish(error);
    }

    // A source whose rate or sample format changes mid-stream (recordings
    // joined end to end): what the converter holds of the part before goes out
    // first, then it is set up anew for the part after, so that each part
    // keeps its place at the output rate. The header holds one channel layout:
    // a change of it fails the run.
    bool sourceChanged(const DecodedStep& step) const
    {
        return step.kind == DecodedStep::Kind::frame && converter_.configured() && !converter_.matches(*step.frame);
    }

    std::optional<std::span<const std::byte>> drainForChange()
    {
        drainedForChange_ = true;
        return finish(converter_.convert(nullptr, 0, packed_));
    }

    int configureConverter(const AVFrame& frame)
    {
        if (!converter_.configured())
            return converter_.configure(frame, targetRate_, channelCount_);
        return converter_.matches(frame) ? 0 : AVERROR_INPUT_CHANGED;
    }

    // One piece of the silence owed before the held frame or packet, in the
    // format of the frames around it.
    std::optional<std::span<const std::byte>> silence()
    {
        const auto frames = static_cast<int>(std::min<std::int64_t>(silenceLeft_, kSilenceChunkFrames));
        silenceLeft_ -= frames;
        if (held_->kind == DecodedStep::Kind::packet) {
            packed_.assign(static_cast<std::size_t>(frames) * copiedFrameSize_, std::byte{0});
            return std::span<const std::byte>(packed_);
        }
        const AVFrame& frame = *held_->frame;
        int error = configureConverter(frame);
        if (error == 0)
            error = makeSilentFrame(frame, frames);
        if (error == 0)
            error = converter_.convert(silentFrame_.get(), frames, packed_);
        return finish(error);
    }

    int makeSilentFrame(const AVFrame& like, int frames)
    {
        av_frame_unref(silentFrame_.get());
        silentFrame_->format = like.format;
        silentFrame_->sample_rate = like.sample_rate;
        silentFrame_->nb_samples = frames;
        int error = av_channel_layout_copy(&silentFrame_->ch_layout, &like.ch_layout);
        if (error == 0)
            error = av_frame_get_buffer(silentFrame_.get(), 0);
        if (error == 0) {
            error = av_samples_set_silence(silentFrame_->extended_data, 0, frames, like.ch_layout.nb_channels,
                                           static_cast<AVSampleFormat>(like.format));
        }
        return error;
    }

    // At the end of input: damage that left too little audio fails the run.
    std::optional<std::span<const std::byte>> drainConverter()
    {
        if (ending_->tooDamaged) {
            fail(ending_->error);
            return std::nullopt;
        }
        if (!converter_.configured()) {
            status_ = ReaderStatus::completed;
            if (ending_->error < 0)
                error_ = ErrorText(ending_->error);
            return std::nullopt;
        }
        const int error = converter_.convert(nullptr, 0, packed_);
        if (error == 0 && packed_.empty()) {
            status_ = ReaderStatus::completed;
            return std::nullopt;
        }
        return finish(error);
    }

    std::optional<std::span<const std::byte>> finish(int error)
    {
        if (error < 0) {
            fail(error);
            return std::nullopt;
        }
        return std::span<const std::byte>(packed_);
    }

    void fail(int error)
    {
        status_ = ReaderStatus::failed;
        // Lost packets that no decoder reported leave no error code.
        error_ = error < 0 ? ErrorText(error) : std::string();
    }

    Decoding decoding_;
    // Declared after decoding_: stopped and joined before the decoding goes.
    std::optional<DecodeThread> decodeThread_;
    StepSource* source_ = &decoding_;
    Frame silentFrame_;
    Threading threading_;
    Converter converter_;
    std::vector<std::byte> packed_;
    double targetRate_ = 0;
    int channelCount_ = 0;
    int copiedFrameSize_ = 0;
    std::optional<DecodedStep> held_;
    DecodedStep shown_;
    std::optional<DecodedStep> ending_;
    std::int64_t silenceLeft_ = 0;
    bool drainedForChange_ = false;
    ReaderStatus status_ = ReaderStatus::reading;
    std::string error_;
};

// Only the chosen stream is demuxed: the bytes of the others (a large video
// track, say) are skipped rather than read. The input was opened with only the
// streams its header showed as non-audio left out of the probe; other audio
// streams, streams of a type unknown then and streams the probe itself found
// are still demuxed until this runs.
void DiscardOtherStreams(AVFormatContext& context, int streamIndex)
{
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        if (static_cast<int>(i) != streamIndex)
            context.streams[i]->discard = AVDISCARD_ALL;
    }
}

}  // namespace

// The codec a WAV file's own format tag allows for what its stream declares.
// FFmpeg 5.1's WAV demuxer declares WAVE_FORMAT_EXTENSIBLE with an integer PCM
// subformat, 24 valid bits and 32-bit containers as 24-bit float; the samples
// are integers in the containers' top bits, which 32-bit integer PCM reads
// exactly. Any other float codec under the integer tag, or integer codec under
// the float tag, contradicts the file: nothing, rather than garbage.
constexpr unsigned kWaveFormatPcm = 1;
constexpr unsigned kWaveFormatIeeeFloat = 3;

bool IsFloatPcm(AVCodecID codec)
{
    return codec == AV_CODEC_ID_PCM_F16LE || codec == AV_CODEC_ID_PCM_F24LE || codec == AV_CODEC_ID_PCM_F32LE ||
           codec == AV_CODEC_ID_PCM_F64LE;
}

bool IsIntegerPcm(AVCodecID codec)
{
    return codec == AV_CODEC_ID_PCM_U8 || codec == AV_CODEC_ID_PCM_S16LE || codec == AV_CODEC_ID_PCM_S24LE ||
           codec == AV_CODEC_ID_PCM_S32LE;
}

std::optional<AVCodecID> CodecAllowedByWaveTag(const AVFormatContext& context, const AVCodecParameters& codec)
{
    if (std::string_view(context.iformat->name) != "wav")
        return codec.codec_id;
    if (codec.codec_tag == kWaveFormatPcm && codec.codec_id == AV_CODEC_ID_PCM_F24LE &&
        codec.block_align == 4 * codec.ch_layout.nb_channels) {
        return AV_CODEC_ID_PCM_S32LE;
    }
    if (codec.codec_tag == kWaveFormatPcm && IsFloatPcm(codec.codec_id))
        return std::nullopt;
    if (codec.codec_tag == kWaveFormatIeeeFloat && IsIntegerPcm(codec.codec_id))
        return std::nullopt;
    return codec.codec_id;
}

ReaderOrError MakeReader(FormatContext context, int streamIndex, Threading threading)
{
    const AVStream& stream = *context->streams[streamIndex];
    if (const std::optional<MovEdits> edits = IgnoredEdits(*context, stream); edits && !Presentable(*edits))
        return {nullptr, ErrorText(AVERROR(ENOTSUP))};
    const auto codecId = CodecAllowedByWaveTag(*context, *stream.codecpar);
    if (!codecId)
        return {nullptr, ErrorText(AVERROR_INVALIDDATA)};
    const AVCodec* codec = avcodec_find_decoder(*codecId);
    if (!codec)
        return {nullptr, ErrorText(AVERROR_DECODER_NOT_FOUND)};
    CodecContext decoder(avcodec_alloc_context3(codec));
    if (!decoder)
        return {nullptr, ErrorText(AVERROR(ENOMEM))};
    if (const int error = avcodec_parameters_to_context(decoder.get(), stream.codecpar); error < 0) {
        return {nullptr, ErrorText(error)};
    }
    decoder->codec_id = *codecId;
    decoder->pkt_timebase = stream.time_base;
    if (IsVorbisInOgg(*context, stream))
        decoder->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    DiscardOtherStreams(*context, streamIndex);
    const double precision = ResamplerPrecisionFor(*codecId);
    return {std::make_unique<Reader>(std::move(context), streamIndex, std::move(decoder), threading, precision), {}};
}

}  // namespace mivra::ffmpeg
