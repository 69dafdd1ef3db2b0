#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace mivra {

// Bytes in one packed 24-bit sample.
inline constexpr unsigned kBytesPerSample = 3;

namespace pcm24 {

static_assert(std::endian::native == std::endian::little, "the packers store whole words as little-endian bytes");

// A 32-bit sample rounded to the nearest 24-bit step (plain truncation would
// bias every sample by half a step), saturating at the top, where rounding
// up would overflow.
inline std::uint32_t Rounded(std::int32_t sample)
{
    return static_cast<std::uint32_t>((std::min(sample, std::int32_t{0x7FFFFF7F}) + 0x80) >> 8);
}

// A 16-bit sample as the 24-bit value of the same level.
inline std::uint32_t Widened(std::int16_t sample)
{
    return static_cast<std::uint32_t>(sample) << 8;
}

// Writes the low 24 bits of each sample's value as 3 little-endian bytes,
// four samples (twelve bytes: one 64-bit and one 32-bit word) at a time.
template <typename Sample, typename To24>
void Pack(std::span<const Sample> samples, std::byte* out, To24 to24)
{
    constexpr std::uint64_t kMask = 0xFFFFFF;
    std::size_t i = 0;
    for (; i + 4 <= samples.size(); i += 4, out += 12) {
        const std::uint64_t a = to24(samples[i]) & kMask, b = to24(samples[i + 1]) & kMask,
                            c = to24(samples[i + 2]) & kMask;
        const std::uint64_t low = a | b << 24 | c << 48;
        const auto high = static_cast<std::uint32_t>(c >> 16 | std::uint64_t{to24(samples[i + 3])} << 8);
        std::memcpy(out, &low, sizeof low);
        std::memcpy(out + sizeof low, &high, sizeof high);
    }
    for (; i < samples.size(); ++i, out += 3) {
        const std::uint32_t value = to24(samples[i]);
        std::memcpy(out, &value, 3);
    }
}

}  // namespace pcm24

// Packs 32-bit samples into little-endian 24-bit ones, rounded to nearest.
inline void PackSamples24(std::span<const std::int32_t> samples, std::byte* out)
{
    pcm24::Pack(samples, out, [](std::int32_t sample) { return pcm24::Rounded(sample); });
}

// Packs 16-bit samples into little-endian 24-bit ones of the same level.
inline void PackSamples24(std::span<const std::int16_t> samples, std::byte* out)
{
    pcm24::Pack(samples, out, [](std::int16_t sample) { return pcm24::Widened(sample); });
}

}  // namespace mivra
