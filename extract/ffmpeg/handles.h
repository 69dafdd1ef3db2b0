#pragma once

// Owning handles for the FFmpeg objects the extractor uses.

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace mivra::ffmpeg {

// An input whose reader the run opened itself (AVFMT_FLAG_CUSTOM_IO) owns
// that reader too: avformat_close_input leaves it open.
struct FormatCloser {
    void operator()(AVFormatContext* context) const
    {
        AVIOContext* io = context->flags & AVFMT_FLAG_CUSTOM_IO ? context->pb : nullptr;
        avformat_close_input(&context);
        avio_closep(&io);
    }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

using FormatContext = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Resampler = std::unique_ptr<SwrContext, ResamplerFreer>;

// Options handed to a call that takes an AVDictionary**.
struct Options {
    AVDictionary* entries = nullptr;
    Options() = default;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    ~Options() { av_dict_free(&entries); }
};

struct ChannelLayout {
    AVChannelLayout value{};
    ChannelLayout() = default;
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
    ~ChannelLayout() { av_channel_layout_uninit(&value); }
};

// The text FFmpeg gives for an error code. A code FFmpeg has no text for
// still reads as a reason, its number kept for a report.
inline std::string ErrorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(error, text, sizeof text) < 0) {
        return "erreur FFmpeg sans description (code " + std::to_string(error) + ")";
    }
    return text;
}

}  // namespace mivra::ffmpeg
