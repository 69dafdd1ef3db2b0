#include "ffmpeg51_quirks.h"

#include <limits>
#include <string_view>

#include "formats.h"

namespace mivra::ffmpeg::ffmpeg51 {
namespace {

constexpr unsigned kWaveFormatPcm = 1;
constexpr unsigned kWaveFormatIeeeFloat = 3;

bool IsFloatPcm(AVCodecID codec)
{
    return codec == AV_CODEC_ID_PCM_F16LE || codec == AV_CODEC_ID_PCM_F24LE || codec == AV_CODEC_ID_PCM_F32LE ||
           codec == AV_CODEC_ID_PCM_F64LE;
}

bool IsIntegerPcm(AVCodecID codec)
{
    return codec == AV_CODEC_ID_PCM_U8 || codec == AV_CODEC_ID_PCM_S16LE || codec == AV_CODEC_ID_PCM_S24LE ||
           codec == AV_CODEC_ID_PCM_S32LE;
}

}  // namespace

namespace {

// The high rates a recorder or an editor uses: multiples of 44.1 and 48 kHz
// from 88.2 kHz up. Only they are restored; a time scale that is no such
// rate (a hand-made header) is no wrapped rate, however its remainder reads.
bool IsHighRate(int timeScale)
{
    return timeScale % 44100 == 0 || timeScale % 48000 == 0;
}

bool IsUncompressedInMov(const AVFormatContext& context, const AVCodecParameters& codec)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.codec_id);
    return IsMovFamily(context) && descriptor && av_get_exact_bits_per_sample(codec.codec_id) > 0 &&
           (descriptor->props & AV_CODEC_PROP_LOSSLESS) && codec.codec_type == AVMEDIA_TYPE_AUDIO;
}

// The sample table counts one tick per sample.
bool TicksAreSamples(const AVStream& stream)
{
    return stream.nb_frames > 0 && stream.nb_frames == stream.duration;
}

}  // namespace

bool HasWrappedPcmRate(const AVFormatContext& context, const AVStream& stream)
{
    constexpr int kEntryRates = 1 << 16;
    return IsUncompressedInMov(context, *stream.codecpar) && stream.time_base.num == 1 &&
           stream.time_base.den >= kEntryRates && IsHighRate(stream.time_base.den) &&
           stream.codecpar->sample_rate == stream.time_base.den % kEntryRates;
}

void RestoreWrappedPcmRate(const AVFormatContext& context, AVStream& stream)
{
    if (HasWrappedPcmRate(context, stream) && TicksAreSamples(stream))
        stream.codecpar->sample_rate = stream.time_base.den;
}

std::optional<std::int64_t> SampleCount(const AVFormatContext& context, const AVStream& stream)
{
    if (!IsUncompressedInMov(context, *stream.codecpar) || !TicksAreSamples(stream))
        return std::nullopt;
    return stream.duration;
}

std::optional<AVCodecID> CodecAllowedByWaveTag(const AVFormatContext& context, const AVCodecParameters& codec)
{
    if (!IsWav(context))
        return codec.codec_id;
    if (codec.codec_tag == kWaveFormatPcm && codec.codec_id == AV_CODEC_ID_PCM_F24LE &&
        codec.block_align == 4 * codec.ch_layout.nb_channels) {
        return AV_CODEC_ID_PCM_S32LE;
    }
    if (codec.codec_tag == kWaveFormatPcm && IsFloatPcm(codec.codec_id))
        return std::nullopt;
    if (codec.codec_tag == kWaveFormatIeeeFloat && IsIntegerPcm(codec.codec_id))
        return std::nullopt;
    return codec.codec_id;
}

void LabelMpegAudioRate(AVFrame& frame, const AVCodecContext& decoder)
{
    const AVCodecID codec = decoder.codec_id;
    if ((codec == AV_CODEC_ID_MP1 || codec == AV_CODEC_ID_MP2 || codec == AV_CODEC_ID_MP3) && decoder.sample_rate > 0)
        frame.sample_rate = decoder.sample_rate;
}

}  // namespace mivra::ffmpeg::ffmpeg51
