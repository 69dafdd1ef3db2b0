#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rate_limit.h"

namespace mivra {
namespace {

using namespace std::chrono_literals;

TEST(RateLimitTest, AtMostCountInAnySpanAndRefusalsAreNotCounted)
{
    struct Case {
        std::string name;
        std::vector<int> seconds;  // when each event comes, from a common origin
        std::string allowed;       // 'y' or 'n' per event
    };
    const std::vector<Case> cases = {
        {"three at once, the fourth refused", {0, 0, 0, 0}, "yyyn"},
        {"the oldest leaves the span exactly a minute later", {0, 1, 2, 59, 60, 60, 61, 62}, "yyynynyy"},
        {"refusals do not keep the span full", {0, 10, 20, 30, 40, 50, 60, 70}, "yyynnnyy"},
        {"spread out, always allowed", {0, 30, 60, 90, 120, 150}, "yyyyyy"},
    };
    for (const Case& c : cases) {
        RateLimit limit(3, 1min);
        const RateLimit::Clock::time_point origin{};
        std::string got;
        for (int second : c.seconds)
            got += limit.allow(origin + std::chrono::seconds(second)) ? 'y' : 'n';
        EXPECT_EQ(got, c.allowed) << c.name;
    }
}

}  // namespace
}  // namespace mivra
