#include "pcm24.h"

#include <gtest/gtest.h>

#include <vector>

namespace mivra {
namespace {

// The 24-bit value that PackSamples24 writes for one 32-bit sample.
std::int32_t Packed(std::int32_t sample) {
    std::byte out[3];
    PackSamples24(std::span(&sample, 1), out);
    const std::uint32_t bits = std::to_integer<std::uint32_t>(out[0]) | (std::to_integer<std::uint32_t>(out[1]) << 8) |
                               (std::to_integer<std::uint32_t>(out[2]) << 16);
    return static_cast<std::int32_t>(bits << 8) >> 8;
}

TEST(PackSamples24, KeepsWholeStepsExactly) {
    for (std::int32_t value : {0, 1, -1, 0x7FFFFF, -0x800000, 123456, -654321}) {
        EXPECT_EQ(Packed(value * 256), value) << value;
    }
}

TEST(PackSamples24, RoundsToTheNearestStepInsteadOfTruncating) {
    EXPECT_EQ(Packed(0x7F), 0);
    EXPECT_EQ(Packed(0x80), 1);
    EXPECT_EQ(Packed(-0x80), 0);
    EXPECT_EQ(Packed(-0x81), -1);
    EXPECT_EQ(Packed(5 * 256 + 200), 6);
    EXPECT_EQ(Packed(-5 * 256 - 200), -6);
}

TEST(PackSamples24, SaturatesAtTheTopInsteadOfWrapping) {
    EXPECT_EQ(Packed(INT32_MAX), 0x7FFFFF);
    EXPECT_EQ(Packed(0x7FFFFF80), 0x7FFFFF);
    EXPECT_EQ(Packed(INT32_MIN), -0x800000);
}

TEST(PackSamples24, WritesLittleEndianSamplesInOrder) {
    const std::vector<std::int32_t> samples = {0x01020300, -256};
    std::vector<std::byte> out(6);
    PackSamples24(samples, out.data());
    const std::vector<std::byte> expected = {std::byte{0x03}, std::byte{0x02}, std::byte{0x01},
                                             std::byte{0xFF}, std::byte{0xFF}, std::byte{0xFF}};
    EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace mivra
