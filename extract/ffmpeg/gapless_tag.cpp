#include "gapless_tag.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "formats.h"

namespace mivra::ffmpeg {
namespace {

std::optional<std::int64_t> GaplessValidLength(const AVFormatContext& context, const AVStream& stream, int rate)
{
    const AVDictionaryEntry* tag = av_dict_get(context.metadata, "iTunSMPB", nullptr, 0);
    unsigned priming = 0;
    unsigned long long valid = 0;
    if (!IsMovFamily(context) || !tag || std::sscanf(tag->value, "%*x %x %*x %llx", &priming, &valid) != 2 ||
        valid == 0 || valid > static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    if (stream.start_time == AV_NOPTS_VALUE ||
        av_rescale_q(stream.start_time, stream.time_base, AVRational{1, rate}) != std::int64_t{priming}) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(valid);
}

}  // namespace

std::unique_ptr<Presentation> ChooseGaplessTag(const AVFormatContext& context, const AVStream& stream)
{
    const std::optional<std::int64_t> length = StatedLength(context, stream);
    const std::optional<std::int64_t> valid =
        length ? GaplessValidLength(context, stream, stream.codecpar->sample_rate) : std::nullopt;
    if (!valid)
        return nullptr;
    return std::make_unique<PlainPresentation>(StatedDuration(context, stream), std::min(*length, *valid));
}

}  // namespace mivra::ffmpeg
