#pragma once

// The containers the back end treats apart, by the name of FFmpeg's demuxer.

#include <string_view>

#include "handles.h"

namespace mivra::ffmpeg {

inline bool IsOgg(const AVFormatContext& context)
{
    return std::string_view(context.iformat->name) == "ogg";
}

// QuickTime, MP4, M4A, 3GP and the rest of the family share one demuxer.
inline bool IsMovFamily(const AVFormatContext& context)
{
    return std::string_view(context.iformat->name).starts_with("mov,");
}

inline bool IsWav(const AVFormatContext& context)
{
    return std::string_view(context.iformat->name) == "wav";
}

}  // namespace mivra::ffmpeg
