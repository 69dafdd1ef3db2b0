#pragma once

// What a run of the extractor asks of the media framework. The run itself
// never sees the framework: extraction.cpp works only through these types.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace mivra {

struct AudioTrack {
    unsigned channelCount = 0;              // 0 when the source does not say
    std::optional<double> durationSeconds;  // only when the container states it
    unsigned sampleRate = 0;                // 0 when the source does not say
};

// The largest factor between a source's rate and the target rate, either way,
// that a run converts; rates further apart are refused (before anything is
// written when the source states its rate). A back end need not go further.
inline constexpr double kMaxRateFactor = 6250;

inline bool RatesWithinFactor(double sourceRate, double targetRate)
{
    return targetRate <= sourceRate * kMaxRateFactor && sourceRate <= targetRate * kMaxRateFactor;
}

enum class ReaderStatus { reading, completed, failed };

// Decodes one audio track to interleaved little-endian 24-bit PCM,
// one buffer at a time.
class SampleReader {
public:
    virtual ~SampleReader() = default;

    // Starts decoding; the description of the failure when it cannot.
    virtual std::optional<std::string> start() = 0;

    // The next buffer, valid until the next call; it may be empty.
    // Nothing once the reader has stopped: status() then says why.
    virtual std::optional<std::span<const std::byte>> nextBuffer() = 0;

    virtual ReaderStatus status() const = 0;

    // Why the reader failed; empty when there is no description.
    virtual std::string errorDescription() const = 0;
};

struct ReaderOrError {
    std::unique_ptr<SampleReader> reader;
    std::string error;  // set when there is no reader
};

class MediaAsset {
public:
    virtual ~MediaAsset() = default;

    // The first audio track in stream order, if any.
    virtual std::optional<AudioTrack> firstAudioTrack() = 0;

    // A reader of the first audio track to sampleRate Hz and channelCount
    // channels, not started yet.
    virtual ReaderOrError makeReader(double sampleRate, unsigned channelCount) = 0;
};

class MediaFramework {
public:
    virtual ~MediaFramework() = default;

    // Nothing when the file cannot be read as media at all; for the run
    // that is an asset without audio.
    virtual std::unique_ptr<MediaAsset> openAsset(const std::string& path) = 0;
};

}  // namespace mivra
