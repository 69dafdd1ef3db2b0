#include "wav_header.h"

#include <gtest/gtest.h>

#include <vector>

namespace mivra {
namespace {

std::vector<int> Bytes(const std::array<std::byte, kWavHeaderSize>& header) {
    std::vector<int> values;
    for (std::byte b : header) values.push_back(std::to_integer<int>(b));
    return values;
}

std::uint32_t U32At(const std::array<std::byte, kWavHeaderSize>& header, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | std::to_integer<std::uint32_t>(header[offset + i]);
    return value;
}

std::uint16_t U16At(const std::array<std::byte, kWavHeaderSize>& header, std::size_t offset) {
    return static_cast<std::uint16_t>(std::to_integer<int>(header[offset]) |
                                      (std::to_integer<int>(header[offset + 1]) << 8));
}

TEST(WavHeader, StereoPlaceholderAt48kHz) {
    const std::vector<int> expected = {
        0x52, 0x49, 0x46, 0x46, 0x24, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74,
        0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x00, 0x65,
        0x04, 0x00, 0x06, 0x00, 0x18, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Bytes(WavHeader(48000, 2, 0)), expected);
}

struct Layout {
    std::uint32_t rate;
    std::uint16_t channels;
    std::uint16_t blockAlign;
    std::uint32_t byteRate;
};

class WavHeaderLayout : public testing::TestWithParam<Layout> {};

TEST_P(WavHeaderLayout, BlockAlignAndByteRateFollowChannelsAndRate) {
    const Layout layout = GetParam();
    const auto header = WavHeader(layout.rate, layout.channels, 0);
    EXPECT_EQ(U16At(header, 20), 1);   // plain PCM, whatever the channel count
    EXPECT_EQ(U32At(header, 16), 16u); // no extensible format block
    EXPECT_EQ(U16At(header, 22), layout.channels);
    EXPECT_EQ(U32At(header, 24), layout.rate);
    EXPECT_EQ(U32At(header, 28), layout.byteRate);
    EXPECT_EQ(U16At(header, 32), layout.blockAlign);
    EXPECT_EQ(U16At(header, 34), 24);
}

INSTANTIATE_TEST_SUITE_P(Formats, WavHeaderLayout,
                         testing::Values(Layout{44100, 1, 3, 132300}, Layout{48000, 2, 6, 288000},
                                         Layout{22050, 2, 6, 132300}, Layout{48000, 6, 18, 864000}));

TEST(WavHeader, SizesCountTheDataChunk) {
    const auto header = WavHeader(48000, 1, 12345);
    EXPECT_EQ(U32At(header, 4), 12345u + 36);
    EXPECT_EQ(U32At(header, 40), 12345u);
}

TEST(WavHeader, LargestDataSizeFillsTheRiffSize) {
    const auto header = WavHeader(48000, 2, 4'294'967'259);
    EXPECT_EQ(U32At(header, 4), 0xFFFFFFFFu);
    EXPECT_EQ(U32At(header, 40), 4'294'967'259u);
}

}  // namespace
}  // namespace mivra
