#include "presented_timeline.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

namespace mivra {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
using Pieces = std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>>;  // silence, skipped, count

// The pieces of 1000-frame runs of media, read from the start, that the edit
// list presents.
Pieces PresentedPieces(std::vector<EditSegment> segments, std::int64_t mediaFrames)
{
    PresentedTimeline timeline(std::move(segments));
    Pieces pieces;
    for (std::int64_t position = 0; position < mediaFrames; position += 1000) {
        while (const auto piece = timeline.next(position, 1000))
            pieces.emplace_back(piece->silenceBefore, piece->skipped, piece->count);
    }
    return pieces;
}

TEST(PresentedTimeline, GivesEachSegmentInTurn)
{
    const struct {
        std::vector<EditSegment> segments;
        std::int64_t mediaFrames;
        Pieces pieces;
    } cases[] = {
        // Two segments and an empty edit inside one run, then one across two runs.
        {{{100, 200}, {std::nullopt, 50}, {400, 10}, {900, 300}},
         3000,
         {{0, 100, 200}, {50, 400, 10}, {0, 900, 100}, {0, 0, 200}}},
        // A delay first gives no silence; empty edits after the last segment give none either.
        {{{std::nullopt, 500}, {1500, 100}, {std::nullopt, 70}}, 3000, {{0, 500, 100}}},
        // Media the source does not hold is left out: the output ends with the media.
        {{{2500, 1000}, {4000, 10}}, 3000, {{0, 500, 500}}},
        // Lengths a file states near the 64-bit limit: no overflow.
        {{{0, 10}, {std::nullopt, kMax}, {std::nullopt, kMax}, {kMax - 5, kMax}}, 1000, {{0, 0, 10}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PresentedPieces(c.segments, c.mediaFrames), c.pieces);
    // Many segments behind the position are passed in a loop, not one call deeper each.
    EXPECT_FALSE(PresentedTimeline(std::vector<EditSegment>(300000, {0, 1})).next(1000, 1000));
}

TEST(PresentedTimeline, TellsWhetherOneReadingPresentsTheSegments)
{
    EXPECT_TRUE(PresentedTimeline::InMediaOrder({{0, 100}, {std::nullopt, 10}, {100, 5}, {300, 1}}));
    EXPECT_FALSE(PresentedTimeline::InMediaOrder({{0, 100}, {50, 100}}));
    EXPECT_FALSE(PresentedTimeline::InMediaOrder({{500, 100}, {0, 100}}));
    // Judged on the segments presented: one of negative length is left out, the one after it still counts.
    EXPECT_FALSE(PresentedTimeline::InMediaOrder({{500, 100}, {600, -1000}, {0, 100}}));
    EXPECT_TRUE(PresentedTimeline::InMediaOrder({{kMax - 1, kMax}, {std::nullopt, kMax}}));
}

}  // namespace
}  // namespace mivra
