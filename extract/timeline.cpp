#include "timeline.h"

#include <algorithm>
#include <cmath>

#include "checked.h"

namespace mivra {

KeptFrames StatedTrim::keep(std::int64_t count, bool discarded, std::int64_t endPadding)
{
    if (discarded) {
        startSkip_ = std::max<std::int64_t>(0, startSkip_ - count);
        return {count, 0};
    }
    const std::int64_t skipped = std::min(startSkip_, count);
    startSkip_ -= skipped;
    const std::int64_t padding = std::clamp<std::int64_t>(endPadding, 0, count - skipped);
    return {skipped, count - skipped - padding};
}

std::int64_t StatedEnd::keep(std::int64_t count)
{
    const std::int64_t kept = length_ ? std::clamp<std::int64_t>(SaturatingSub(*length_, kept_), 0, count) : count;
    kept_ = SaturatingAdd(kept_, kept);
    return kept;
}

void Concealment::lost(std::int64_t frames)
{
    pending_ = SaturatingAdd(pending_, std::max<std::int64_t>(frames, 0));
}

void Concealment::failedPacket(std::int64_t frames)
{
    failedFrames_ = SaturatingAdd(failedFrames_, std::max<std::int64_t>(frames, 0));
    ++failedPackets_;
}

std::int64_t Concealment::silenceBeforeGoodFrames(std::int64_t frames)
{
    longest_ = std::max(longest_, frames);
    std::int64_t bound = 0;
    if (__builtin_mul_overflow(failedPackets_, longest_, &bound))
        bound = failedFrames_;
    const std::int64_t silence = SaturatingAdd(pending_, std::min(failedFrames_, bound));
    pending_ = failedFrames_ = failedPackets_ = 0;
    concealed_ = SaturatingAdd(concealed_, silence);
    decoded_ = SaturatingAdd(decoded_, frames);
    return silence;
}

// More than one in ten: concealed * 10 > concealed + decoded, without the product.
bool Concealment::tooDamaged() const
{
    return concealed_ > decoded_ / (kMaximumShareDenominator - 1);
}

std::int64_t TimestampGaps::lostBefore(std::optional<double> start, std::int64_t frames, double rate)
{
    if (rate <= 0)
        return 0;
    const double length = static_cast<double>(frames) / rate;
    std::int64_t lost = 0;
    if (start && end_) {
        const double gap = *start - *end_;
        if (gap > length / 2 && gap < kDiscontinuitySeconds)
            lost = std::llround(gap * rate);
    }
    if (start)
        end_ = *start + length;
    else if (end_)
        *end_ += length;
    return lost;
}

void TimestampGaps::covered(std::int64_t frames, double rate)
{
    if (end_ && rate > 0)
        *end_ += static_cast<double>(frames) / rate;
}

}  // namespace mivra
