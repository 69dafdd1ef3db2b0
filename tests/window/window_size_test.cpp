#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "window_size.h"

namespace mivra {
namespace {

TEST(CentredOrigin, CentresOnTheWholeScreenOfItsMonitorOrTheOriginRoundingDown)
{
    EXPECT_EQ(CentredOrigin(Rectangle{1920, 0, 1280, 1024}, 1080, 740), (Point{2020, 142}));  // a second monitor
    EXPECT_EQ(CentredOrigin(std::nullopt, 1081, 740), (Point{-541, -370}));
}

TEST(FitInto, EachSideShrinksToTheAreaAndNoUsableAreaChangesNothing)
{
    struct Case {
        Size wanted;
        std::optional<Size> area;
        Size fitted;
    };
    for (const Case& c : std::vector<Case>{
             {{900, 620}, Size{960, 540}, {900, 540}},  // a 1920 x 1080 screen at twice the scale
             {{1280, 840}, Size{960, 540}, {960, 540}},
             {{1080, 740}, Size{1920, 1050}, {1080, 740}},
             {{1080, 740}, Size{1080, 740}, {1080, 740}},
             {{1080, 740}, std::nullopt, {1080, 740}},
             {{1080, 740}, Size{0, 0}, {1080, 740}},  // a monitor that reports no area yet
             {{1080, 740}, Size{800, -1}, {1080, 740}},
         })
        EXPECT_EQ(FitInto(c.wanted, c.area), c.fitted) << c.wanted.width << "x" << c.wanted.height;
}

TEST(SizeKeeping, OnlyTheLastSizeOfABurstIsWrittenOnceItSettlesOrAtCloseAndTheKeptOneNeverAgain)
{
    SizeKeeping keeping(Size{1080, 740});
    EXPECT_EQ(keeping.closing(), std::nullopt);  // never resized
    const auto first = keeping.resized({1100, 750}), last = keeping.resized({1280, 840});
    EXPECT_EQ(keeping.quietPeriodEnded(first), std::nullopt);
    EXPECT_EQ(keeping.quietPeriodEnded(last), (Size{1280, 840}));
    EXPECT_EQ(keeping.quietPeriodEnded(last), std::nullopt);  // written already
    EXPECT_EQ(keeping.closing(), std::nullopt);
    EXPECT_EQ(keeping.quietPeriodEnded(keeping.resized({1280, 840})), std::nullopt);  // back to the kept one
    keeping.resized({1000, 700});
    EXPECT_EQ(keeping.closing(), (Size{1000, 700}));  // closed within the quiet period
    EXPECT_EQ(keeping.closing(), std::nullopt);
    SizeKeeping firstRun(std::nullopt);
    EXPECT_EQ(firstRun.quietPeriodEnded(firstRun.resized({1080, 740})), (Size{1080, 740}));
}

}  // namespace
}  // namespace mivra
