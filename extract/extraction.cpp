#include "extraction.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <new>
#include <optional>
#include <ostream>
#include <string_view>

#include "pcm24.h"
#include "progress_line.h"
#include "target_file.h"
#include "wav_header.h"

namespace mivra {
namespace {

constexpr std::string_view kUsage = "usage: mivra-extract <source> <cible.wav> [frequence]";
constexpr std::string_view kTooBig = "depasse la taille d'un WAV classique, ffmpeg requis";
constexpr std::string_view kNotConvertible = "format audio non convertible nativement";
constexpr std::string_view kStdoutUnwritable = "ecriture impossible : sortie standard";
constexpr std::string_view kOutOfMemory = "extraction interrompue : Cannot allocate memory";
constexpr unsigned kDefaultChannelCount = 2;

// Control characters in a path would break the one-line message: each one is
// written as \xHH (two lowercase hex digits); every other byte passes unchanged.
std::string OneLine(std::string_view message)
{
    constexpr std::string_view kDigits = "0123456789abcdef";
    std::string line;
    for (const char c : message) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            line += c;
            continue;
        }
        line += "\\x";
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0xf];
    }
    return line;
}

// Reports a failure: the message on one line of the error stream; the status
// the run then ends with.
int Fail(std::ostream& err, std::string_view message)
{
    err << OneLine(message) << '\n' << std::flush;
    return 1;
}

std::string Concat(std::string_view text, std::string_view argument)
{
    std::string message(text);
    message += argument;
    return message;
}

std::string CannotWrite(std::string_view path)
{
    return Concat("ecriture impossible : ", path);
}

// atof semantics: a leading decimal number, the rest ignored, 0 without one.
double RequestedRate(std::span<const std::string> arguments)
{
    return arguments.size() > 2 ? std::atof(arguments[2].c_str()) : kDefaultSampleRate;
}

double EffectiveRate(double requested)
{
    return requested > 0 ? requested : kDefaultSampleRate;
}

bool SourceExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// The last component as written: "b" for "/a/b/", "/" for the root.
std::string LastPathComponent(const std::string& path)
{
    std::filesystem::path written(path);
    if (!written.has_filename())
        written = written.parent_path();
    if (written.has_filename())
        return written.filename().string();
    return written.empty() ? "." : "/";
}

unsigned ChannelCount(const AudioTrack& track)
{
    return track.channelCount != 0 ? track.channelCount : kDefaultChannelCount;
}

bool EstimateExceedsLimit(const AudioTrack& track, unsigned channelCount, double rate)
{
    if (!track.durationSeconds)
        return false;
    const double estimate = channelCount * (*track.durationSeconds * rate * kBytesPerSample);
    return estimate > static_cast<double>(kDataSizeLimit);
}

struct OutputFormat {
    double rate;
    std::uint16_t channelCount;

    // The header names the rate's whole part.
    std::array<std::byte, kWavHeaderSize> header(std::uint64_t dataSize) const
    {
        return WavHeader(static_cast<std::uint32_t>(rate), channelCount, dataSize);
    }

    std::uint64_t frames(std::uint64_t dataSize) const
    {
        return dataSize / (std::uint64_t{kBytesPerSample} * channelCount);
    }

    double seconds(std::uint64_t dataSize) const { return static_cast<double>(frames(dataSize)) / rate; }
};

// A format the header can describe: block align in 16 bits, a whole rate of
// at least 1 Hz, byte rate in 32 bits.
std::optional<OutputFormat> ConvertibleFormat(double rate, unsigned channelCount)
{
    const std::uint64_t blockAlign = std::uint64_t{channelCount} * kBytesPerSample;
    if (blockAlign > std::numeric_limits<std::uint16_t>::max())
        return std::nullopt;
    if (!std::isfinite(rate) || rate < 1.0)
        return std::nullopt;
    const double byteRate = std::trunc(rate) * static_cast<double>(blockAlign);
    if (byteRate > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return OutputFormat{rate, static_cast<std::uint16_t>(channelCount)};
}

struct Copy {
    std::uint64_t dataBytes = 0;
    bool tooBig = false;
    bool writeFailed = false;
};

Copy CopySamples(SampleReader& reader, TargetFile& target, const OutputFormat& format, ProgressLine* progress)
{
    Copy copy;
    while (reader.status() == ReaderStatus::reading) {
        const auto buffer = reader.nextBuffer();
        if (!buffer)
            break;
        if (copy.dataBytes + buffer->size() > kDataSizeLimit) {
            copy.tooBig = true;
            break;
        }
        if (buffer->empty())
            continue;
        if (!target.append(*buffer)) {
            copy.writeFailed = true;
            break;
        }
        copy.dataBytes += buffer->size();
        if (progress)
            progress->show(format.seconds(copy.dataBytes));
    }
    return copy;
}

std::string InterruptionMessage(const SampleReader& reader)
{
    const std::string description = reader.errorDescription();
    return Concat("extraction interrompue : ", description.empty() ? "cause inconnue" : description);
}

// Steps from the opened target to the outcome; the target is either complete
// and closed or removed when this returns.
int CopyIntoTarget(SampleReader& reader, TargetFile& target, const OutputFormat& format, const std::string& targetPath,
                   ProgressLine* progress, std::ostream& out, std::ostream& err)
{
    const auto abandon = [&](std::string_view message) {
        target.discard();
        return Fail(err, message);
    };
    if (!target.append(format.header(0)))
        return abandon(CannotWrite(targetPath));
    if (const auto refusal = reader.start()) {
        return abandon(Concat("demarrage de la lecture refuse : ", *refusal));
    }

    const Copy copy = CopySamples(reader, target, format, progress);
    if (progress)
        progress->erase();
    if (copy.writeFailed)
        return abandon(CannotWrite(targetPath));
    if (copy.tooBig)
        return abandon(kTooBig);
    if (copy.dataBytes == 0 || reader.status() == ReaderStatus::failed)
        return abandon(InterruptionMessage(reader));
    // A target removed, renamed or replaced during the run is not where the
    // caller will look for it: the run cannot say it wrote the file.
    if (!target.overwriteStart(format.header(copy.dataBytes)) || !target.close() || !target.stillAtPath()) {
        return abandon(CannotWrite(targetPath));
    }
    // The frame count is the caller's only sign of success: when it cannot be
    // written, the run fails and the file goes, as for any other failure.
    out << format.frames(copy.dataBytes) << '\n' << std::flush;
    if (!out)
        return abandon(kStdoutUnwritable);
    return 0;
}

// Running out of memory while writing removes the target like any other
// failure, rather than leaving the file half written; the run reports it.
int WriteTarget(SampleReader& reader, TargetFile target, const OutputFormat& format, const std::string& targetPath,
                ProgressLine* progress, std::ostream& out, std::ostream& err)
{
    try {
        return CopyIntoTarget(reader, target, format, targetPath, progress, out, err);
    } catch (const std::bad_alloc&) {
        target.discard();
        throw;
    }
}

int Extract(std::span<const std::string> arguments, MediaFramework& media, std::ostream& out, std::ostream& err,
            const ProgressLine::Clock& terminalClock)
{
    if (arguments.size() < 2)
        return Fail(err, kUsage);
    const std::string& source = arguments[0];
    const std::string& target = arguments[1];
    const double rate = EffectiveRate(RequestedRate(arguments));

    if (!SourceExists(source))
        return Fail(err, Concat("source introuvable : ", source));
    const auto asset = media.openAsset(source);
    const auto track = asset ? asset->firstAudioTrack() : std::nullopt;
    if (!track)
        return Fail(err, Concat("aucune piste audio dans ", LastPathComponent(source)));

    const unsigned channelCount = ChannelCount(*track);
    if (EstimateExceedsLimit(*track, channelCount, rate))
        return Fail(err, kTooBig);

    auto made = asset->makeReader(rate, channelCount);
    if (!made.reader)
        return Fail(err, Concat("lecture impossible : ", made.error));
    const auto format = ConvertibleFormat(rate, channelCount);
    if (!format || (track->sampleRate != 0 && !RatesWithinFactor(track->sampleRate, rate)))
        return Fail(err, kNotConvertible);

    // Writing over the source would destroy it before a single sample is read.
    if (SameFile(source, target))
        return Fail(err, CannotWrite(target));
    auto file = TargetFile::create(target);
    if (!file)
        return Fail(err, CannotWrite(target));
    // Erased when the copy ends, or as a failure unwinds past it.
    std::optional<ProgressLine> progress;
    if (terminalClock)
        progress.emplace(err, terminalClock, track->durationSeconds);
    return WriteTarget(*made.reader, std::move(*file), *format, target, progress ? &*progress : nullptr, out, err);
}

}  // namespace

int RunExtraction(std::span<const std::string> arguments, MediaFramework& media, std::ostream& out, std::ostream& err,
                  const ProgressLine::Clock& terminalClock)
{
    try {
        return Extract(arguments, media, out, err, terminalClock);
    } catch (const std::bad_alloc&) {
        return Fail(err, kOutOfMemory);
    }
}

}  // namespace mivra
