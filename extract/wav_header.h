#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace mivra {

inline constexpr std::size_t kWavHeaderSize = 44;

// The 44-byte header of a RIFF/WAVE file holding 24-bit integer PCM:
// a 16-byte "fmt " chunk (format 1) and the "data" chunk header.
// Sizes are stored in 32 bits; callers keep dataSize within the RIFF limit.
std::array<std::byte, kWavHeaderSize> WavHeader(std::uint32_t sampleRate, std::uint16_t channelCount,
                                                std::uint64_t dataSize);

}  // namespace mivra
