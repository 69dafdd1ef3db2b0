#pragma once

// Workarounds for faults of FFmpeg 5.1, the version Debian 12 ships, kept
// apart so that the rest of the back end reads as if FFmpeg had none. Each
// block says what FFmpeg 5.1 does wrong, which test guards the workaround,
// and when it can go: once the FFmpeg the platform ships passes that test
// without it. The workarounds that present a track their own way have files
// of their own, offered where the presentation is chosen (presentation_choice.cpp):
// mov_edit_list.h, ogg_links.h and gapless_tag.h.

#include <cstdint>
#include <optional>

#include "handles.h"

namespace mivra::ffmpeg::ffmpeg51 {

// A WAV file's format tag against what FFmpeg 5.1's WAV demuxer declares.
// It declares WAVE_FORMAT_EXTENSIBLE with an integer PCM subformat, 24 valid
// bits and 32-bit containers as 24-bit float: decoded as that, the samples
// are full-scale garbage. They are integers in the containers' top bits,
// which 32-bit integer PCM reads exactly. Any other float codec under the
// integer tag, or integer codec under the float tag, contradicts the file:
// nothing then, rather than garbage. The 24-in-32 case is guarded by
// the extensible file of test_corpus.py's test_shipped_files; no test makes
// a contradicting file. Returns the codec to decode with.
std::optional<AVCodecID> CodecAllowedByWaveTag(const AVFormatContext& context, const AVCodecParameters& codec);

// The rate of MPEG audio after a change of rate. FFmpeg 5.1's MPEG audio
// decoder takes a frame's buffer before it reads the rate of the frame's
// header: the first frame after a change of rate still carries the rate
// before it. Its context holds the rate of the frame just decoded (one frame
// per packet, no frame threads), which relabels the frame. Guarded by the
// "MP3s at 44.1 and 48 kHz joined" rows of test_corpus.py's
// test_timelines.
void LabelMpegAudioRate(AVFrame& frame, const AVCodecContext& decoder);

// The rate of uncompressed audio in a QuickTime sound entry of version 0 or
// 1, which holds it in 16 bits: 96000 Hz wraps to 30464 (GStreamer's qtmux
// writes such entries). FFmpeg 5.1 takes the wrapped rate, and the track
// plays 3.15 times too slow and is cut at its length. A rate is wrapped where
// it is the media time scale's modulo 65536 and that time scale is a high
// rate (88.2, 96, 176.4, 192 kHz and up) that does not fit 16 bits. Where
// the track's ticks are samples (the sample table counts one tick per
// sample), the time scale is the rate and replaces the entry's
// (RestoreWrappedPcmRate); otherwise the rate stays wrapped and the run
// refuses the track (HasWrappedPcmRate). Guarded by the "96 kHz QuickTime"
// and "time scale that wraps no rate" rows of test_corpus.py's test_timelines.
void RestoreWrappedPcmRate(const AVFormatContext& context, AVStream& stream);
bool HasWrappedPcmRate(const AVFormatContext& context, const AVStream& stream);

// The samples of an uncompressed track whose ticks are samples, as its
// length: FFmpeg 5.1 reads its duration as time at the time scale, which a
// time scale that is neither the rate nor a wrapped one (a hand-made header,
// 65536 + 44100) makes 2.5 times too short. Nothing for other tracks.
// Guarded by the "time scale that wraps no rate" row of test_corpus.py's
// test_timelines.
std::optional<std::int64_t> SampleCount(const AVFormatContext& context, const AVStream& stream);

}  // namespace mivra::ffmpeg::ffmpeg51
