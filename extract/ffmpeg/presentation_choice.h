#pragma once

// Where the presentation of a source's first audio track is chosen, once,
// when the source opens (see presentation.h).

#include <memory>
#include <optional>

#include "handles.h"
#include "mov_edit_list.h"
#include "presentation.h"

namespace mivra::ffmpeg {

// What the container states that the demuxer's opening depends on, read from
// the file before it opens.
struct HeaderStatements {
    std::optional<MovEditList> edits;
};

// Reads them from io, left anywhere, and sets the demuxer's options they call for.
HeaderStatements ReadHeaderStatements(AVIOContext& io, AVDictionary*& options);

// The first presentation that applies to the stream, else the plain one.
std::unique_ptr<Presentation> ChoosePresentation(const HeaderStatements& statements, AVFormatContext& context,
                                                 const AVStream& stream);

}  // namespace mivra::ffmpeg
