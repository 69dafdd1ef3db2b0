#include <gtest/gtest.h>

#include <vector>

#include "pcm24.h"
#include "target_file.h"

namespace mivra {
namespace {

std::int32_t Value24(const std::byte* bytes)
{
    const auto bits = std::to_integer<std::uint32_t>(bytes[0]) | std::to_integer<std::uint32_t>(bytes[1]) << 8 |
                      std::to_integer<std::uint32_t>(bytes[2]) << 16;
    return static_cast<std::int32_t>(bits << 8) >> 8;
}

// Whole groups of four samples are packed as words and the rest one by one:
// packing every prefix sends each sample through both paths.
TEST(PackSamples24, RoundsToNearestAndSaturatesAtEveryPosition)
{
    // Samples and the 24-bit values they pack to, in turn: rounding both ways, then saturation at both ends.
    const std::vector<std::int32_t> samples = {0,         256,       -256,       0x7F,       0x80,       -0x80,
                                               -0x81,     1480,      -1480,      0x01020380, 0x7FFFFF00, 0x7FFFFF80,
                                               INT32_MAX, INT32_MIN, 0x123456FF, -0x55AA55AA};
    const std::int32_t packed24[] = {0,  1,        -1,       0,        1,        0,         -1,       6,
                                     -6, 0x010204, 0x7FFFFF, 0x7FFFFF, 0x7FFFFF, -0x800000, 0x123457, -0x55AA56};
    for (std::size_t length = 0; length <= samples.size(); ++length) {
        std::vector<std::byte> packed(length * 3);
        PackSamples24(std::span(samples).first(length), packed.data());
        for (std::size_t i = 0; i < length; ++i)
            EXPECT_EQ(Value24(&packed[3 * i]), packed24[i]) << length;
    }
}

TEST(TargetFile, FailureOfAHeldBackWriteIsReported)
{
    const std::vector<std::byte> bytes(44);
    auto closed = TargetFile::create("/dev/full");
    ASSERT_TRUE(closed && closed->append(std::span(bytes).first(6)));
    EXPECT_FALSE(closed->close());
    auto rewritten = TargetFile::create("/dev/full");
    ASSERT_TRUE(rewritten && rewritten->append(std::span(bytes).first(6)));
    EXPECT_FALSE(rewritten->overwriteStart(bytes));
    rewritten->discard();
}

}  // namespace
}  // namespace mivra
