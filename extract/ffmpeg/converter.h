#pragma once

// Turns the decoded frames of one run into packed 24-bit samples.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "handles.h"

namespace mivra::ffmpeg {

// The precision soxr resamples a source of this codec at.
double ResamplerPrecisionFor(AVCodecID codec);

// What a converter makes: 24-bit samples at `rate` Hz in `channelCount`
// channels, resampled by soxr at `precision` bits where the rate changes.
struct ConverterOutput {
    double rate = 0;
    int channelCount = 0;
    double precision = 0;
};

// Set up from the first decoded frame: samples are packed directly when the
// decoder's samples allow it, else they go through libswresample.
class Converter {
public:
    explicit Converter(const ConverterOutput& output)
        : precision_(output.precision), targetRate_(output.rate), channelCount_(output.channelCount)
    {
    }

    int configure(const AVFrame& frame);
    bool configured() const { return direct_ || resampler_ != nullptr; }
    bool matches(const AVFrame& frame) const;
    bool sameChannels(const AVFrame& frame) const;

    // Forgets the set-up once drained, so that the next frame sets it up anew.
    void reset();

    // Converts the first inputCount samples of one frame. Returns 0 with the
    // first packed piece, or a negative error; while pending(),
    // convertPending() gives the next pieces.
    int convert(const AVFrame& frame, int inputCount, std::vector<std::byte>& packed);
    // What the resampler still holds, at the end or before a change of
    // format; returns as convert() does.
    int drain(std::vector<std::byte>& packed);
    bool pending() const { return outputFull_ || inputLeft_ > 0; }
    int convertPending(std::vector<std::byte>& packed);

private:
    int configureResampler(const AVFrame& frame);
    int startResampling(const AVFrame* frame, int inputCount, std::vector<std::byte>& packed);
    const uint8_t* const* inputPlanes();
    const uint8_t* const* noInput();
    int resample(const uint8_t* const* in, int inputCount, std::vector<std::byte>& packed);

    double precision_;
    double targetRate_;
    int channelCount_;
    Resampler resampler_;
    bool direct_ = false;
    ChannelLayout sourceLayout_;
    int sourceFormat_ = -1;
    int sourceRate_ = 0;
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

}  // namespace mivra::ffmpeg
