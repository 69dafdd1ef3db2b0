#include "presentation.h"

#include "ffmpeg51_quirks.h"
#include "formats.h"

namespace mivra::ffmpeg {

std::optional<PresentedPiece> PlainPresentation::next(const HeldMedia& held)
{
    if (held.piecesGiven > 0)
        return std::nullopt;
    return trimmedPiece(held, 0);
}

PresentedPiece PlainPresentation::trimmedPiece(const HeldMedia& held, std::int64_t skipped)
{
    const std::int64_t silence = end_.keep(held.silence);
    return {.silenceBefore = silence, .skipped = skipped, .count = end_.keep(held.frames - skipped)};
}

// Only a duration the container states for the track (a header, a sample
// table) is worth an estimate. One guessed from the bit rate can be off by
// percents, and one taken from timestamps spans whatever they jump over:
// transport streams recorded in parts and joined end to end, an Ogg capture
// whose granule positions count from an encoder started hours before.
std::optional<double> StatedDuration(const AVFormatContext& context, const AVStream& stream)
{
    if (stream.duration == AV_NOPTS_VALUE || stream.duration < 0)
        return std::nullopt;
    if (context.duration_estimation_method != AVFMT_DURATION_FROM_STREAM)
        return std::nullopt;
    // Ogg states no length: its demuxer reads one from the last granule position.
    if (IsOgg(context))
        return std::nullopt;
    if (stream.time_base.num <= 0 || stream.time_base.den <= 0)
        return std::nullopt;
    return static_cast<double>(stream.duration) * av_q2d(stream.time_base);
}

// The mov family's track duration ends the track there, even inside a
// packet. Other containers state their end in the packets (end padding),
// which the decoder applies; a duration alone cuts nothing.
std::optional<std::int64_t> StatedLength(const AVFormatContext& context, const AVStream& stream)
{
    const int rate = stream.codecpar->sample_rate;
    if (!IsMovFamily(context) || stream.duration == AV_NOPTS_VALUE || stream.duration <= 0 || rate <= 0)
        return std::nullopt;
    const std::int64_t length = ffmpeg51::SampleCount(context, stream)
                                    .value_or(av_rescale_q(stream.duration, stream.time_base, AVRational{1, rate}));
    if (length < 0)  // too long to count: it cuts nothing
        return std::nullopt;
    return length;
}

}  // namespace mivra::ffmpeg
