#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mivra {

// Packs 32-bit samples into little-endian 24-bit ones, rounding to the
// nearest step (plain truncation would bias every sample by half a step)
// and saturating at the top, where rounding up would overflow.
inline void PackSamples24(std::span<const std::int32_t> samples, std::byte* out) {
    constexpr std::int64_t kLargest24 = 0x7FFFFF;
    for (const std::int32_t sample : samples) {
        std::int64_t rounded = (std::int64_t{sample} + 0x80) >> 8;
        if (rounded > kLargest24) rounded = kLargest24;
        const auto bits = static_cast<std::uint32_t>(rounded);
        *out++ = static_cast<std::byte>(bits & 0xFF);
        *out++ = static_cast<std::byte>((bits >> 8) & 0xFF);
        *out++ = static_cast<std::byte>((bits >> 16) & 0xFF);
    }
}

}  // namespace mivra
