#include "reader.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "../pcm24.h"
#include "converter.h"
#include "decode_thread.h"
#include "decoding.h"
#include "ffmpeg51_quirks.h"

namespace mivra::ffmpeg {
namespace {

// Silence that stands for a packet that failed to decode goes out in pieces
// of at most this many frames.
constexpr int kSilenceChunkFrames = 8192;

// What a reader is made for: the output and the decisions it brings.
struct ReaderPlan {
    ConverterOutput output;
    int copiedFrameSize = 0;  // non-zero when packets are copied
    ThreadPlan threads;
};

// The output half of a run: turns the decoded steps into packed 24-bit
// buffers, with the silence owed before them, and drains the converter at the
// end. The steps come from the decoding itself or from its own thread.
class Reader final : public SampleReader {
public:
    Reader(Decoding decoding, const ReaderPlan& plan)
        : decoding_(std::move(decoding)), silentFrame_(av_frame_alloc()), plan_(plan), converter_(plan.output)
    {
    }

    std::optional<std::string> start() override
    {
        if (!silentFrame_)
            return ErrorText(AVERROR(ENOMEM));
        if (auto refusal = decoding_.open())
            return refusal;
        if (plan_.threads.decodeThread)
            startDecodeThread();
        return std::nullopt;
    }

    std::optional<std::span<const std::byte>> nextBuffer() override
    {
        // The packet shown last is done with once the next buffer is asked
        // for: freed before the next one is read, the run holds one packet
        // buffer at a time and malloc hands the same memory back each time.
        // Held until after the read, two of them took turns at the top of the
        // heap, which glibc then gave back to the system and faulted in again
        // for every other packet (a 6-channel WAV: 2,330 brk calls, 78,000
        // page faults).
        shown_.packet.reset();
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
            error = converter_.convert(*shown_.frame, shown_.keptFrames, packed_);
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
        return finish(converter_.drain(packed_));
    }

    int configureConverter(const AVFrame& frame)
    {
        if (!converter_.configured())
            return converter_.configure(frame);
        return converter_.matches(frame) ? 0 : AVERROR_INPUT_CHANGED;
    }

    // One piece of the silence owed before the held frame or packet, in the
    // format of the frames around it.
    std::optional<std::span<const std::byte>> silence()
    {
        const auto frames = static_cast<int>(std::min<std::int64_t>(silenceLeft_, kSilenceChunkFrames));
        silenceLeft_ -= frames;
        if (held_->kind == DecodedStep::Kind::packet) {
            packed_.assign(static_cast<std::size_t>(frames) * plan_.copiedFrameSize, std::byte{0});
            return std::span<const std::byte>(packed_);
        }
        const AVFrame& frame = *held_->frame;
        int error = configureConverter(frame);
        if (error == 0)
            error = makeSilentFrame(frame, frames);
        if (error == 0)
            error = converter_.convert(*silentFrame_, frames, packed_);
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
        const int error = converter_.drain(packed_);
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
    ReaderPlan plan_;
    Converter converter_;
    std::vector<std::byte> packed_;
    std::optional<DecodedStep> held_;
    DecodedStep shown_;
    std::optional<DecodedStep> ending_;
    std::int64_t silenceLeft_ = 0;
    bool drainedForChange_ = false;
    ReaderStatus status_ = ReaderStatus::reading;
    std::string error_;
};

// The size of one frame of packets that already hold the output: 24-bit
// little-endian PCM at the target rate with every channel kept. Such packets
// are copied rather than decoded and packed again. 0 for any other stream.
int CopiedFrameSize(const AVCodecParameters& codec, double rate, unsigned channelCount)
{
    const bool copied = codec.codec_id == AV_CODEC_ID_PCM_S24LE && codec.sample_rate == rate &&
                        static_cast<unsigned>(codec.ch_layout.nb_channels) == channelCount;
    return copied ? static_cast<int>(kBytesPerSample) * codec.ch_layout.nb_channels : 0;
}

ReaderPlan PlanReader(const AVCodecParameters& codec, AVCodecID codecId, double rate, unsigned channelCount,
                      Threading threading)
{
    const int copiedFrameSize = CopiedFrameSize(codec, rate, channelCount);
    const ThreadPlan threads = PlanThreads(threading, copiedFrameSize != 0, codec.sample_rate != rate);
    return {.output = {.rate = rate,
                       .channelCount = static_cast<int>(channelCount),
                       .precision = ResamplerPrecisionFor(codecId)},
            .copiedFrameSize = copiedFrameSize,
            .threads = threads};
}

struct DecoderOrError {
    CodecContext decoder;
    int error = 0;  // why there is none
};

// The stream's decoder, not opened yet.
DecoderOrError MakeDecoder(const AVFormatContext& context, const AVStream& stream)
{
    const auto codecId = ffmpeg51::CodecAllowedByWaveTag(context, *stream.codecpar);
    if (!codecId)
        return {nullptr, AVERROR_INVALIDDATA};
    const AVCodec* codec = avcodec_find_decoder(*codecId);
    if (!codec)
        return {nullptr, AVERROR_DECODER_NOT_FOUND};
    CodecContext decoder(avcodec_alloc_context3(codec));
    if (!decoder)
        return {nullptr, AVERROR(ENOMEM)};
    if (const int error = avcodec_parameters_to_context(decoder.get(), stream.codecpar); error < 0)
        return {nullptr, error};
    decoder->codec_id = *codecId;
    decoder->pkt_timebase = stream.time_base;
    return {std::move(decoder), 0};
}

// Two frame threads where the plan has them and the decoder can use them.
void ChooseDecoderThreads(AVCodecContext& decoder, bool frameThreads)
{
    if (frameThreads && (decoder.codec->capabilities & AV_CODEC_CAP_FRAME_THREADS)) {
        decoder.thread_count = 2;
        decoder.thread_type = FF_THREAD_FRAME;
    } else {
        decoder.thread_count = 1;
    }
}

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

ReaderOrError MakeReader(FormatContext context, int streamIndex, std::unique_ptr<Presentation> presentation,
                         double rate, unsigned channelCount, Threading threading)
{
    const AVStream& stream = *context->streams[streamIndex];
    if (!presentation->presentable())
        return {nullptr, ErrorText(AVERROR(ENOTSUP))};
    if (ffmpeg51::HasWrappedPcmRate(*context, stream))
        return {nullptr, ErrorText(AVERROR_INVALIDDATA)};
    DecoderOrError made = MakeDecoder(*context, stream);
    if (!made.decoder)
        return {nullptr, ErrorText(made.error)};
    const ReaderPlan plan = PlanReader(*stream.codecpar, made.decoder->codec_id, rate, channelCount, threading);
    ChooseDecoderThreads(*made.decoder, plan.threads.frameThreads);
    DiscardOtherStreams(*context, streamIndex);
    Decoding decoding(StreamPackets(std::move(context), streamIndex), std::move(made.decoder), std::move(presentation),
                      plan.copiedFrameSize);
    return {std::make_unique<Reader>(std::move(decoding), plan), {}};
}

}  // namespace mivra::ffmpeg
