#pragma once

#include <memory>

#include "../media.h"

namespace mivra::ffmpeg {

// The media framework backed by FFmpeg's libraries. FFmpeg's own logging is
// silenced: the extractor's caller reads one line of its own on failure.
std::unique_ptr<MediaFramework> MakeMediaFramework();

}  // namespace mivra::ffmpeg
