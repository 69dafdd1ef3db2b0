#include "presented_timeline.h"

#include <algorithm>

#include "checked.h"

namespace mivra {
namespace {

// The segments a timeline presents: from the first that shows media on, and
// only those of some length.
std::vector<EditSegment> Kept(std::vector<EditSegment> segments)
{
    const auto first = std::find_if(segments.begin(), segments.end(),
                                    [](const EditSegment& segment) { return segment.mediaStart.has_value(); });
    std::vector<EditSegment> kept;
    std::copy_if(first, segments.end(), std::back_inserter(kept),
                 [](const EditSegment& segment) { return segment.length > 0; });
    return kept;
}

}  // namespace

bool PresentedTimeline::InMediaOrder(const std::vector<EditSegment>& segments)
{
    std::int64_t end = 0;
    for (const EditSegment& segment : Kept(segments)) {
        if (!segment.mediaStart)
            continue;
        if (*segment.mediaStart < end)
            return false;
        end = SaturatingAdd(*segment.mediaStart, segment.length);
    }
    return true;
}

PresentedTimeline::PresentedTimeline(std::vector<EditSegment> segments) : segments_(Kept(std::move(segments))) {}

std::optional<PresentedPiece> PresentedTimeline::next(std::int64_t position, std::int64_t count)
{
    const std::int64_t runEnd = SaturatingAdd(position, count);
    for (; current_ < segments_.size(); ++current_, given_ = 0) {
        const EditSegment& segment = segments_[current_];
        if (!segment.mediaStart) {
            silence_ = SaturatingAdd(silence_, segment.length);
            continue;
        }
        // Media the segment starts with but the source does not hold is left out.
        const std::int64_t wanted = std::max(SaturatingAdd(*segment.mediaStart, given_), position);
        given_ = SaturatingSub(wanted, *segment.mediaStart);
        if (given_ >= segment.length)
            continue;
        if (wanted >= runEnd)
            return std::nullopt;
        const std::int64_t kept = std::min(runEnd - wanted, segment.length - given_);
        const PresentedPiece piece{silence_, wanted - position, kept};
        silence_ = 0;
        given_ += kept;
        if (given_ == segment.length) {
            ++current_;
            given_ = 0;
        }
        return piece;
    }
    return std::nullopt;
}

std::int64_t PresentedTimeline::presentedSilence(std::int64_t position, std::int64_t count)
{
    std::int64_t frames = 0;
    while (const auto piece = next(position, count))
        frames = SaturatingAdd(frames, SaturatingAdd(piece->silenceBefore, piece->count));
    return frames;
}

}  // namespace mivra
