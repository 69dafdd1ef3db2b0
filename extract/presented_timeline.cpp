#include "presented_timeline.h"

#include <algorithm>

namespace mivra {

bool PresentedTimeline::InMediaOrder(const std::vector<EditSegment>& segments)
{
    std::int64_t end = 0;
    for (const EditSegment& segment : segments) {
        if (!segment.mediaStart)
            continue;
        if (*segment.mediaStart < end)
            return false;
        end = *segment.mediaStart + segment.length;
    }
    return true;
}

PresentedTimeline::PresentedTimeline(std::vector<EditSegment> segments)
{
    const auto first = std::find_if(segments.begin(), segments.end(),
                                    [](const EditSegment& segment) { return segment.mediaStart.has_value(); });
    std::copy_if(first, segments.end(), std::back_inserter(segments_),
                 [](const EditSegment& segment) { return segment.length > 0; });
}

std::optional<PresentedPiece> PresentedTimeline::next(std::int64_t position, std::int64_t count)
{
    for (; current_ < segments_.size() && !segments_[current_].mediaStart; ++current_)
        silence_ += segments_[current_].length;
    if (current_ == segments_.size())
        return std::nullopt;
    const EditSegment& segment = segments_[current_];
    // Media the segment starts with but the source does not hold is left out.
    const std::int64_t wanted = std::max(*segment.mediaStart + given_, position);
    given_ = wanted - *segment.mediaStart;
    if (given_ >= segment.length) {
        ++current_;
        given_ = 0;
        return next(position, count);
    }
    if (wanted >= position + count)
        return std::nullopt;
    const std::int64_t kept = std::min(position + count - wanted, segment.length - given_);
    const PresentedPiece piece{silence_, wanted - position, kept};
    silence_ = 0;
    given_ += kept;
    if (given_ == segment.length) {
        ++current_;
        given_ = 0;
    }
    return piece;
}

std::int64_t PresentedTimeline::presentedSilence(std::int64_t position, std::int64_t count)
{
    std::int64_t frames = 0;
    while (const auto piece = next(position, count))
        frames += piece->silenceBefore + piece->count;
    return frames;
}

}  // namespace mivra
