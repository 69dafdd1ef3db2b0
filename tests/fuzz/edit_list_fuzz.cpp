// The edit-list reader on any file, and the timeline it presents.
#include "../../extract/ffmpeg/mov_edit_list.h"
#include "../../extract/ffmpeg/plain_file.h"
#include "input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static InputFile file;
    const mivra::ffmpeg::Io io = mivra::ffmpeg::OpenPlainFile(file.write(data, size));
    const auto list = io ? mivra::ffmpeg::ReadMovEditList(*io) : std::nullopt;
    if (!list)
        return 0;
    mivra::ffmpeg::MovEdits edits = mivra::ffmpeg::EditsAt(*list, 48000);
    if (!mivra::ffmpeg::Presentable(edits))
        return 0;
    mivra::PresentedTimeline timeline(std::move(edits.segments));
    for (std::int64_t position = 0; position < 1 << 16; position += 4096) {
        while (timeline.next(position, 4096)) {}
    }
    return 0;
}
