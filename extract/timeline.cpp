#include "timeline.h"

#include <algorithm>

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
    const std::int64_t kept = length_ ? std::clamp<std::int64_t>(*length_ - kept_, 0, count) : count;
    kept_ += kept;
    return kept;
}

std::int64_t Concealment::silenceBeforeGoodFrames(std::int64_t frames)
{
    const std::int64_t silence = pending_;
    pending_ = 0;
    concealed_ += silence;
    decoded_ += frames;
    return silence;
}

bool Concealment::tooDamaged() const
{
    return concealed_ * kMaximumShareDenominator > concealed_ + decoded_;
}

}  // namespace mivra
