// The edit-list reader on any file, and the timeline it presents.
#include "../../extract/ffmpeg/mov_edit_list.h"
#include "input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static InputFile file;
    mivra::ffmpeg::HasSeveralEdits(file.write(data, size));
    mivra::ffmpeg::MovEdits edits = mivra::ffmpeg::ReadEdits(file.write(data, size), 48000);
    if (!mivra::ffmpeg::Presentable(edits))
        return 0;
    mivra::PresentedTimeline timeline(std::move(edits.segments));
    for (std::int64_t position = 0; position < 1 << 16; position += 4096) {
        while (timeline.next(position, 4096)) {}
    }
    return 0;
}
