#include "converter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <span>

extern "C" {
#include <libavutil/opt.h>
}

#include "../media.h"
#include "../pcm24.h"

namespace mivra::ffmpeg {
namespace {

// soxr at 24 bits keeps resampled audio at the 24-bit noise floor; more
// precision measures no better and costs time. A lossy source's own coding
// noise lies 30 dB or more above soxr's 20-bit precision (THD+N about -133 dB),
// which its single-precision engine reaches in about three quarters of the time.
constexpr double kResamplerPrecision = 24;
constexpr double kLossyResamplerPrecision = 20;

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

}  // namespace

double ResamplerPrecisionFor(AVCodecID codec)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
    const bool lossy = descriptor && (descriptor->props & AV_CODEC_PROP_LOSSY) != 0 &&
                       (descriptor->props & AV_CODEC_PROP_LOSSLESS) == 0;
    return lossy ? kLossyResamplerPrecision : kResamplerPrecision;
}

int Converter::configure(const AVFrame& frame)
{
    if (av_channel_layout_copy(&sourceLayout_.value, &frame.ch_layout) < 0)
        return AVERROR(ENOMEM);
    sourceFormat_ = frame.format;
    sourceRate_ = frame.sample_rate;
    direct_ = PacksDirectly(frame, targetRate_, channelCount_);
    return direct_ ? 0 : configureResampler(frame);
}

bool Converter::matches(const AVFrame& frame) const
{
    return frame.format == sourceFormat_ && frame.sample_rate == sourceRate_ && sameChannels(frame);
}

bool Converter::sameChannels(const AVFrame& frame) const
{
    return av_channel_layout_compare(&frame.ch_layout, &sourceLayout_.value) == 0;
}

void Converter::reset()
{
    resampler_.reset();
    direct_ = false;
    flushing_ = false;
}

int Converter::convert(const AVFrame& frame, int inputCount, std::vector<std::byte>& packed)
{
    if (!direct_)
        return startResampling(&frame, inputCount, packed);
    const std::size_t sampleCount = static_cast<std::size_t>(inputCount) * channelCount_;
    packed.resize(sampleCount * kBytesPerSample);
    if (sampleCount == 0)
        return 0;
    if (frame.format == AV_SAMPLE_FMT_S32) {
        PackSamples24(std::span(reinterpret_cast<const std::int32_t*>(frame.data[0]), sampleCount), packed.data());
    } else {
        PackSamples24(std::span(reinterpret_cast<const std::int16_t*>(frame.data[0]), sampleCount), packed.data());
    }
    return 0;
}

int Converter::drain(std::vector<std::byte>& packed)
{
    if (!direct_)
        return startResampling(nullptr, 0, packed);
    packed.clear();
    return 0;
}

int Converter::convertPending(std::vector<std::byte>& packed)
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

int Converter::configureResampler(const AVFrame& frame)
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
    // soxr's filter tables and buffers grow with the factor between the rates:
    // at kMaxRateFactor (48 kHz to 300 MHz) a stereo run stays under 40 MiB,
    // at 48000 it takes 50 MB, at 10^6 its filter takes minutes to design, and
    // 33333 times down it refuses. The run refused such rates up front when
    // the source stated its own; a frame that states another is refused here.
    if (!RatesWithinFactor(frame.sample_rate, targetRate_))
        return AVERROR(EINVAL);
    const ConverterRates rates = RatesFor(frame.sample_rate, targetRate_);
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
int Converter::startResampling(const AVFrame* frame, int inputCount, std::vector<std::byte>& packed)
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
const uint8_t* const* Converter::inputPlanes()
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
const uint8_t* const* Converter::noInput()
{
    planes_.assign(std::max(1, sourceLayout_.value.nb_channels), reinterpret_cast<uint8_t*>(samples_.data()));
    return planes_.data();
}

int Converter::resample(const uint8_t* const* in, int inputCount, std::vector<std::byte>& packed)
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

}  // namespace mivra::ffmpeg
