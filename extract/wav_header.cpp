#include "wav_header.h"

#include <string_view>

#include "pcm24.h"

namespace mivra {
namespace {

class HeaderWriter {
public:
    explicit HeaderWriter(std::array<std::byte, kWavHeaderSize>& bytes) : bytes_(bytes) {}

    void identifier(std::string_view fourLetters)
    {
        for (char letter : fourLetters)
            bytes_[offset_++] = static_cast<std::byte>(letter);
    }
    void u32(std::uint32_t value) { littleEndian(value, 4); }
    void u16(std::uint16_t value) { littleEndian(value, 2); }

private:
    void littleEndian(std::uint32_t value, int byteCount)
    {
        for (int i = 0; i < byteCount; ++i)
            bytes_[offset_++] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
    }

    std::array<std::byte, kWavHeaderSize>& bytes_;
    std::size_t offset_ = 0;
};

constexpr std::uint16_t kBitsPerSample = 24;

}  // namespace

std::array<std::byte, kWavHeaderSize> WavHeader(std::uint32_t sampleRate, std::uint16_t channelCount,
                                                std::uint64_t dataSize)
{
    const auto blockAlign = static_cast<std::uint16_t>(channelCount * kBytesPerSample);
    const auto byteRate = static_cast<std::uint32_t>(sampleRate * blockAlign);

    std::array<std::byte, kWavHeaderSize> bytes{};
    HeaderWriter header(bytes);
    header.identifier("RIFF");
    header.u32(static_cast<std::uint32_t>(dataSize + 36));
    header.identifier("WAVE");
    header.identifier("fmt ");
    header.u32(16);
    header.u16(1);
    header.u16(channelCount);
    header.u32(sampleRate);
    header.u32(byteRate);
    header.u16(blockAlign);
    header.u16(kBitsPerSample);
    header.identifier("data");
    header.u32(static_cast<std::uint32_t>(dataSize));
    return bytes;
}

}  // namespace mivra
