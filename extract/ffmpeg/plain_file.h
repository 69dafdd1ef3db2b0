#pragma once

// A plain file opened by the run itself: read first for what its container
// states that FFmpeg does not pass on, then handed to the demuxer as its
// reader, so that the file is opened once.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "handles.h"

namespace mivra::ffmpeg {

struct IoCloser {
    void operator()(AVIOContext* io) const { avio_closep(&io); }
};
using Io = std::unique_ptr<AVIOContext, IoCloser>;

// The file at a "file:" URL, when it is a regular file: what a FIFO or a
// device holds can be read once only, by the demuxer.
inline Io OpenPlainFile(const char* url)
{
    constexpr std::string_view kScheme = "file:";
    const std::string_view name(url);
    std::error_code error;
    if (!name.starts_with(kScheme) ||
        !std::filesystem::is_regular_file(std::string(name.substr(kScheme.size())), error))
        return nullptr;
    Options options;
    av_dict_set(&options.entries, "protocol_whitelist", "file", 0);
    AVIOContext* io = nullptr;
    if (avio_open2(&io, url, AVIO_FLAG_READ, nullptr, &options.entries) < 0)
        return nullptr;
    return Io(io);
}

}  // namespace mivra::ffmpeg
