#include "pcm24.h"

#include <gtest/gtest.h>

#include <vector>

namespace mivra {
namespace {

// The signed value of the three little-endian bytes at `bytes`.
std::int32_t Value24(const std::byte* bytes) {
    const std::uint32_t bits = std::to_integer<std::uint32_t>(bytes[0]) |
                               (std::to_integer<std::uint32_t>(bytes[1]) << 8) |
                               (std::to_integer<std::uint32_t>(bytes[2]) << 16);
    return static_cast<std::int32_t>(bits << 8) >> 8;
}

// The 24-bit value that PackSamples24 writes for one 32-bit sample.
std::int32_t Packed(std::int32_t sample) {
    std::byte out[3];
    PackSamples24(std::span(&sample, 1), out);
    return Value24(out);
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

// Whole groups of four samples are packed as words, the rest one by one:
// every length must give each sample's own three bytes in order.
TEST(PackSamples24, EveryLengthMatchesSampleBySamplePacking) {
    const std::vector<std::int32_t> values = {INT32_MAX, INT32_MIN, 0x01020380, -0x81, 0x7FFFFF80, 0, 0x123456FF,
                                              -256, 0x7F, -0x7FFFFF00, 0x10000, 0x55AA55AA, -0x55AA55AA};
    for (std::size_t length = 0; length <= values.size(); ++length) {
        std::vector<std::byte> packed(length * 3);
        PackSamples24(std::span(values).first(length), packed.data());
        for (std::size_t i = 0; i < length; ++i) {
            EXPECT_EQ(Value24(&packed[3 * i]), Packed(values[i])) << length << " " << i;
        }
    }
}

TEST(PackSamples24, SixteenBitSamplesKeepTheirLevel) {
    const std::vector<std::int16_t> samples = {0x0102, -1, INT16_MIN, INT16_MAX, 7};
    std::vector<std::byte> out(15);
    PackSamples24(samples, out.data());
    for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(Value24(&out[3 * i]), samples[i] * 256) << i;
}

}  // namespace
}  // namespace mivra
