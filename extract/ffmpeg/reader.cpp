#include "reader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
}

#include "../pcm24.h"

namespace mivra::ffmpeg {
namespace {

// soxr at 24 bits keeps resampled audio at the 24-bit noise floor; more
// precision measures no better and costs time.
constexpr double kResamplerPrecision = 24;

// libswresample takes whole rates; a fractional target rate is expressed as
// a ratio of scaled whole numbers.
struct ConverterRates {
    int in;
    int out;
};

ConverterRates RatesFor(int sourceRate, double targetRate) {
    if (targetRate == std::floor(targetRate)) return {sourceRate, static_cast<int>(targetRate)};
    for (const int scale : {1000, 100, 10}) {
        const double in = static_cast<double>(sourceRate) * scale;
        const double out = std::round(targetRate * scale);
        if (in <= INT_MAX && out <= INT_MAX) return {static_cast<int>(in), static_cast<int>(out)};
    }
    return {sourceRate, static_cast<int>(std::lround(targetRate))};
}

// Integer samples at the target rate and channel count need no converter:
// they are packed straight from the decoder's frame, bit-exact.
bool PacksDirectly(const AVFrame& frame, double targetRate, int channelCount) {
    return frame.sample_rate == targetRate && frame.ch_layout.nb_channels == channelCount &&
           (frame.format == AV_SAMPLE_FMT_S16 || frame.format == AV_SAMPLE_FMT_S32);
}

// Turns the decoded frames of one run into packed 24-bit samples, set up from
// the first decoded frame: directly when the decoder's samples allow it, else
// through libswresample.
class Converter {
public:
    int configure(const AVFrame& frame, double targetRate, int channelCount) {
        if (av_channel_layout_copy(&sourceLayout_.value, &frame.ch_layout) < 0) return AVERROR(ENOMEM);
        sourceFormat_ = frame.format;
        sourceRate_ = frame.sample_rate;
        channelCount_ = channelCount;
        direct_ = PacksDirectly(frame, targetRate, channelCount);
        return direct_ ? 0 : configureResampler(frame, targetRate);
    }

    bool configured() const { return direct_ || resampler_ != nullptr; }

    bool matches(const AVFrame& frame) const {
        return frame.format == sourceFormat_ && frame.sample_rate == sourceRate_ &&
               av_channel_layout_compare(&frame.ch_layout, &sourceLayout_.value) == 0;
    }

    // Converts the first inputCount samples of one frame, or drains what the
    // resampler still holds when frame is null. Returns 0 with the packed
    // bytes, or a negative error.
    int convert(const AVFrame* frame, int inputCount, std::vector<std::byte>& packed) {
        if (!direct_) return resample(frame, inputCount, packed);
        const std::size_t sampleCount = frame ? static_cast<std::size_t>(inputCount) * channelCount_ : 0;
        packed.resize(sampleCount * kBytesPerSample);
        if (sampleCount == 0) return 0;
        if (frame->format == AV_SAMPLE_FMT_S32) {
            PackSamples24(std::span(reinterpret_cast<const std::int32_t*>(frame->data[0]), sampleCount), packed.data());
        } else {
            PackSamples24(std::span(reinterpret_cast<const std::int16_t*>(frame->data[0]), sampleCount), packed.data());
        }
        return 0;
    }

private:
    int configureResampler(const AVFrame& frame, double targetRate) {
        // The source's layout and order are kept; only a source whose channel
        // count differs from the one asked for is mixed to the default layout.
        ChannelLayout target;
        if (frame.ch_layout.nb_channels == channelCount_) {
            if (av_channel_layout_copy(&target.value, &frame.ch_layout) < 0) return AVERROR(ENOMEM);
        } else {
            av_channel_layout_default(&target.value, channelCount_);
        }
        const ConverterRates rates = RatesFor(frame.sample_rate, targetRate);
        SwrContext* raw = nullptr;
        int error = swr_alloc_set_opts2(&raw, &target.value, AV_SAMPLE_FMT_S32, rates.out, &sourceLayout_.value,
                                        static_cast<AVSampleFormat>(frame.format), rates.in, 0, nullptr);
        resampler_.reset(raw);
        if (error < 0) return error;
        av_opt_set_int(raw, "resampler", SWR_ENGINE_SOXR, 0);
        av_opt_set_double(raw, "precision", kResamplerPrecision, 0);
        return swr_init(raw);
    }

    int resample(const AVFrame* frame, int inputCount, std::vector<std::byte>& packed) {
        const int capacity = swr_get_out_samples(resampler_.get(), inputCount);
        if (capacity < 0) return capacity;
        samples_.resize(static_cast<std::size_t>(capacity) * channelCount_);
        auto* out = reinterpret_cast<uint8_t*>(samples_.data());
        const int produced = swr_convert(resampler_.get(), &out, capacity,
                                         frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                                         inputCount);
        if (produced < 0) return produced;
        const std::size_t sampleCount = static_cast<std::size_t>(produced) * channelCount_;
        packed.resize(sampleCount * kBytesPerSample);
        PackSamples24(std::span(samples_).first(sampleCount), packed.data());
        return 0;
    }

    Resampler resampler_;
    bool direct_ = false;
    ChannelLayout sourceLayout_;
    int sourceFormat_ = -1;
    int sourceRate_ = 0;
    int channelCount_ = 0;
    std::vector<std::int32_t> samples_;
};

// Where the stream ends, in its time base, when the container states both its
// start and its duration.
std::optional<std::int64_t> StatedEnd(const AVFormatContext& context, int streamIndex) {
    const AVStream& stream = *context.streams[streamIndex];
    if (context.duration_estimation_method != AVFMT_DURATION_FROM_STREAM) return std::nullopt;
    if (stream.start_time == AV_NOPTS_VALUE || stream.duration == AV_NOPTS_VALUE) return std::nullopt;
    std::int64_t end = 0;
    if (__builtin_add_overflow(stream.start_time, stream.duration, &end)) return std::nullopt;
    return end;
}

// The size of one frame of packets that already hold the output: 24-bit
// little-endian PCM at the target rate with every channel kept. Such packets
// are copied rather than decoded and packed again. 0 for any other stream.
int CopiedFrameSize(const AVCodecParameters& codec, double targetRate, int channelCount) {
    const bool copied = codec.codec_id == AV_CODEC_ID_PCM_S24LE && codec.sample_rate == targetRate &&
                        codec.ch_layout.nb_channels == channelCount;
    return copied ? static_cast<int>(kBytesPerSample) * channelCount : 0;
}

class Reader final : public SampleReader {
public:
    Reader(FormatContext context, int streamIndex, CodecContext decoder)
        : context_(std::move(context)), streamIndex_(streamIndex), decoder_(std::move(decoder)),
          packet_(av_packet_alloc()), frame_(av_frame_alloc()), streamEnd_(StatedEnd(*context_, streamIndex)) {}

    std::optional<std::string> start(double sampleRate, std::uint16_t channelCount) override {
        if (!packet_ || !frame_) return ErrorText(AVERROR(ENOMEM));
        if (const int error = avcodec_open2(decoder_.get(), nullptr, nullptr); error < 0) return ErrorText(error);
        targetRate_ = sampleRate;
        channelCount_ = channelCount;
        copiedFrameSize_ = CopiedFrameSize(*context_->streams[streamIndex_]->codecpar, sampleRate, channelCount);
        return std::nullopt;
    }

    std::optional<std::span<const std::byte>> nextBuffer() override {
        while (status_ == ReaderStatus::reading) {
            if (decoderDrained_) return drainConverter();
            const int received = avcodec_receive_frame(decoder_.get(), frame_.get());
            if (received == 0) return convertFrame();
            if (received == AVERROR_EOF) {
                decoderDrained_ = true;
            } else if (received != AVERROR(EAGAIN)) {
                fail(received);
            } else if (const auto copied = feedDecoder()) {
                return copied;
            }
        }
        return std::nullopt;
    }

    ReaderStatus status() const override { return status_; }
    std::string errorDescription() const override { return error_; }

private:
    // Hands the decoder the next packet of the stream, or the end of input.
    // A packet that needs no decoding is kept instead and its bytes returned.
    std::optional<std::span<const std::byte>> feedDecoder() {
        const int read = readPacket();
        if (read == 0 && copiesPacket()) return copiedBytes();
        if (read < 0 && read != AVERROR_EOF) {
            fail(read);
            return std::nullopt;
        }
        const int sent = avcodec_send_packet(decoder_.get(), read == 0 ? packet_.get() : nullptr);
        av_packet_unref(packet_.get());
        if (sent < 0) fail(sent);
        return std::nullopt;
    }

    // The next packet of the stream into packet_, AVERROR_EOF at its end.
    int readPacket() {
        for (;;) {
            av_packet_unref(packet_.get());
            const int read = av_read_frame(context_.get(), packet_.get());
            if (read < 0 || packet_->stream_index == streamIndex_) return read;
        }
    }

    // Whole frames with nothing for the decoder to trim, drop or take note
    // of: such a packet holds exactly the samples the decoder would give.
    bool copiesPacket() const {
        return copiedFrameSize_ > 0 && packet_->size > 0 && packet_->size % copiedFrameSize_ == 0 &&
               packet_->side_data_elems == 0 && (packet_->flags & ~AV_PKT_FLAG_KEY) == 0;
    }

    std::span<const std::byte> copiedBytes() const {
        const std::int64_t start = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
        const int rate = context_->streams[streamIndex_]->codecpar->sample_rate;
        const int frames = samplesBeforeEnd(start, packet_->size / copiedFrameSize_, rate);
        return {reinterpret_cast<const std::byte*>(packet_->data), static_cast<std::size_t>(frames) * copiedFrameSize_};
    }

    std::optional<std::span<const std::byte>> convertFrame() {
        int error = 0;
        if (!converter_.configured()) {
            error = converter_.configure(*frame_, targetRate_, channelCount_);
        } else if (!converter_.matches(*frame_)) {
            error = AVERROR_INPUT_CHANGED;
        }
        const int kept = samplesBeforeEnd(frame_->best_effort_timestamp, frame_->nb_samples, frame_->sample_rate);
        if (error == 0) error = converter_.convert(frame_.get(), kept, packed_);
        av_frame_unref(frame_.get());
        return finish(error);
    }

    // How many of `count` samples from `start` lie before the stream's stated
    // end: a codec's last frame is whole, but an edit list may end inside it.
    int samplesBeforeEnd(std::int64_t start, int count, int rate) const {
        if (!streamEnd_ || start == AV_NOPTS_VALUE || rate <= 0) return count;
        std::int64_t untilEnd = 0;
        if (__builtin_sub_overflow(*streamEnd_, start, &untilEnd)) return count;
        const AVRational timeBase = context_->streams[streamIndex_]->time_base;
        const std::int64_t remaining = av_rescale_q_rnd(untilEnd, timeBase, AVRational{1, rate}, AV_ROUND_NEAR_INF);
        return static_cast<int>(std::clamp<std::int64_t>(remaining, 0, count));
    }

    std::optional<std::span<const std::byte>> drainConverter() {
        if (!converter_.configured()) {
            status_ = ReaderStatus::completed;
            return std::nullopt;
        }
        const int error = converter_.convert(nullptr, 0, packed_);
        if (error == 0 && packed_.empty()) {
            status_ = ReaderStatus::completed;
            return std::nullopt;
        }
        return finish(error);
    }

    std::optional<std::span<const std::byte>> finish(int error) {
        if (error < 0) {
            fail(error);
            return std::nullopt;
        }
        return std::span<const std::byte>(packed_);
    }

    void fail(int error) {
        status_ = ReaderStatus::failed;
        error_ = ErrorText(error);
    }

    FormatContext context_;
    int streamIndex_;
    CodecContext decoder_;
    Packet packet_;
    Frame frame_;
    std::optional<std::int64_t> streamEnd_;
    Converter converter_;
    std::vector<std::byte> packed_;
    double targetRate_ = 0;
    int channelCount_ = 0;
    int copiedFrameSize_ = 0;
    bool decoderDrained_ = false;
    ReaderStatus status_ = ReaderStatus::reading;
    std::string error_;
};

// Only the chosen stream is demuxed: the bytes of the others (a large video
// track, say) are skipped rather than read. The input was opened with only the
// streams its header showed as non-audio left out of the probe; other audio
// streams, streams of a type unknown then and streams the probe itself found
// are still demuxed until this runs.
void DiscardOtherStreams(AVFormatContext& context, int streamIndex) {
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        if (static_cast<int>(i) != streamIndex) context.streams[i]->discard = AVDISCARD_ALL;
    }
}

}  // namespace

ReaderOrError MakeReader(FormatContext context, int streamIndex) {
    const AVStream& stream = *context->streams[streamIndex];
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec) return {nullptr, ErrorText(AVERROR_DECODER_NOT_FOUND)};
    CodecContext decoder(avcodec_alloc_context3(codec));
    if (!decoder) return {nullptr, ErrorText(AVERROR(ENOMEM))};
    if (const int error = avcodec_parameters_to_context(decoder.get(), stream.codecpar); error < 0) {
        return {nullptr, ErrorText(error)};
    }
    decoder->pkt_timebase = stream.time_base;
    DiscardOtherStreams(*context, streamIndex);
    return {std::make_unique<Reader>(std::move(context), streamIndex, std::move(decoder)), {}};
}

}  // namespace mivra::ffmpeg
