#include "presented_timeline.h"
#include "timeline.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

namespace mivra {
namespace {

struct Packet {
    int frames;
    bool discarded = false;
    std::int64_t endPadding = 0;
};

// An edit that starts 12000 frames into 1024-frame packets: whole packets are
// marked discarded and count against the skip; the one the edit starts in
// keeps its tail only.
TEST(StatedTrim, DropsWhatTheContainerStates)
{
    const struct {
        std::int64_t startSkip;
        std::vector<Packet> packets;
        std::vector<std::tuple<std::int64_t, std::int64_t>> kept;  // skipped, count
    } cases[] = {
        {0, {{1024}, {1024}}, {{0, 1024}, {0, 1024}}},
        {12000, {{1024, true}, {1024, true}, {1024}}, {{1024, 0}, {1024, 0}, {1024, 0}}},
        {2500, {{1024, true}, {1024, true}, {1024}, {1024}}, {{1024, 0}, {1024, 0}, {452, 572}, {0, 1024}}},
        {100, {{1024}, {1024}}, {{100, 924}, {0, 1024}}},
        {1500, {{1024}, {1024}}, {{1024, 0}, {476, 548}}},
        {0, {{1024}, {1024, false, 24}}, {{0, 1024}, {0, 1000}}},
        {1000, {{1024, false, 100}}, {{1000, 0}}},
    };
    for (const auto& c : cases) {
        StatedTrim trim;
        trim.stateStartSkip(c.startSkip);
        std::vector<std::tuple<std::int64_t, std::int64_t>> kept;
        for (const Packet& p : c.packets) {
            const KeptFrames k = trim.keep(p.frames, p.discarded, p.endPadding);
            kept.emplace_back(k.skipped, k.count);
        }
        EXPECT_EQ(kept, c.kept) << "skip " << c.startSkip;
    }
}

// The end is counted in kept frames, so a jump in timestamps cannot move it;
// frames after it are dropped, even from a frame that holds the end.
TEST(StatedEnd, CountsKeptFramesOnly)
{
    StatedEnd end(2500);
    EXPECT_EQ((std::vector<std::int64_t>{end.keep(1024), end.keep(1024), end.keep(1024), end.keep(1024)}),
              (std::vector<std::int64_t>{1024, 1024, 452, 0}));
    StatedEnd none(std::nullopt);
    EXPECT_EQ(none.keep(1 << 30), 1 << 30);
}

// A failed packet becomes silence before the next good one; at the end of the
// input it is simply gone. More than a tenth concealed is too much.
TEST(Concealment, SilenceOnlyBetweenGoodFrames)
{
    Concealment concealment;
    EXPECT_EQ(concealment.silenceBeforeGoodFrames(1000), 0);
    concealment.lost(100);
    concealment.lost(0);
    EXPECT_EQ(concealment.silenceBeforeGoodFrames(900), 100);
    EXPECT_FALSE(concealment.tooDamaged());
    concealment.lost(5000);
    EXPECT_FALSE(concealment.tooDamaged());

    // A failed packet stands for no more than the longest good frame, however long it says it is.
    Concealment stated;
    stated.failedPacket(std::int64_t{1} << 40);
    stated.failedPacket(500);
    EXPECT_EQ(stated.silenceBeforeGoodFrames(1024), 2 * 1024);
    stated.failedPacket(std::numeric_limits<std::int64_t>::max());
    stated.failedPacket(std::numeric_limits<std::int64_t>::max());
    stated.lost(std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(stated.silenceBeforeGoodFrames(1), std::numeric_limits<std::int64_t>::max());

    const struct {
        std::int64_t lost, decoded;
        bool tooDamaged;
    } shares[] = {{0, 1, false}, {1, 9, false}, {10, 90, false}, {11, 89, true}, {1, 0, true}};
    for (const auto& s : shares) {
        Concealment c;
        c.silenceBeforeGoodFrames(s.decoded / 2);
        c.lost(s.lost);
        c.silenceBeforeGoodFrames(s.decoded - s.decoded / 2);
        EXPECT_EQ(c.tooDamaged(), s.tooDamaged) << s.lost << " of " << s.lost + s.decoded;
        EXPECT_FALSE(c.tooDamagedSoFar());
    }
    // Judged as the run goes once the silence is long enough that the rest cannot make it good.
    Concealment hopeless;
    hopeless.lost(Concealment::kRunningJudgement + 1);
    hopeless.silenceBeforeGoodFrames(1000);
    EXPECT_TRUE(hopeless.tooDamagedSoFar());
}

// Frames of 1000 at 1000 Hz, each a second long: a hole of more than half a
// frame and under the discontinuity threshold is lost audio; a smaller
// jitter, a larger or backward jump, or a frame without a timestamp is not.
// Silence already standing for a failed packet fills its part of the hole.
TEST(TimestampGaps, FillsLossNotDiscontinuities)
{
    const struct {
        std::optional<double> second;
        std::int64_t coveredBefore;
        std::int64_t lost;
    } frames[] = {{0.0, 0, 0}, {1.0, 0, 0},  {2.4, 0, 0},        {4.0, 0, 600}, {std::nullopt, 0, 0}, {7.1, 0, 1100},
                  {7.0, 0, 0}, {13.5, 0, 0}, {16.5, 1000, 1000}, {9.0, 0, 0},   {10.0, 0, 0}};
    TimestampGaps gaps;
    for (const auto& frame : frames) {
        gaps.covered(frame.coveredBefore, 1000);
        EXPECT_EQ(gaps.lostBefore(frame.second, 1000, 1000), frame.lost) << frame.second.value_or(-1);
    }
}

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
