#pragma once

// The edit list of a QuickTime or MP4 file's first sound track, read from the
// track's `elst` box.
//
// FFmpeg 5.1's mov demuxer joins the segments of an edit list at whole
// packets: media before a segment's start and after its end stays in the
// packets on either side of each inner boundary (a 24-bit PCM track's first
// segment runs 128 frames long), and an empty edit between two segments
// repeats media where silence belongs. Where a track's edit list has more
// than one segment, the demuxer is told to ignore it (its `ignore_editlist`
// option) and the run presents the segments itself, to the sample (see
// presented_timeline.h). The "edit list" rows of test_corpus.py's
// timeline table guard this; it can go once the FFmpeg the platform ships
// passes them without it. An edit list of one segment, with or without a
// delay before it, stays the demuxer's: it cuts those to the sample.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "../presented_timeline.h"
#include "handles.h"
#include "presentation.h"

namespace mivra::ffmpeg {

struct RawEdit {
    std::int64_t duration = 0;    // movie time scale
    std::int64_t mediaTime = 0;   // media time scale; -1 for an empty edit
    std::int32_t rate = 0x10000;  // 16.16 fixed point
};

// The first sound track's edit list as the movie header states it, read
// once, before the demuxer opens the file.
struct MovEditList {
    std::uint32_t movieTimescale = 0;
    std::uint32_t mediaTimescale = 0;
    std::vector<RawEdit> edits;
    bool fragmented = false;  // the samples are described in fragments (an 'mvex')
};

// The edit list of the file io reads, from its start; nothing where it holds
// no movie header with a sound track. The reader is left anywhere.
std::optional<MovEditList> ReadMovEditList(AVIOContext& io);

// Whether the demuxer is to leave the edit list to the run: it has more than
// one segment (its `ignore_editlist` option).
bool LeftToRun(const std::optional<MovEditList>& list);

struct MovEdits {
    std::vector<EditSegment> segments;  // in frames at the track's sample rate
    bool rateOne = true;                // every segment plays its media at rate 1
};

// The edit list in frames at `rate` Hz.
MovEdits EditsAt(const MovEditList& list, int rate);

// Whether one reading of the media presents the edits: every segment at
// media rate 1, each starting at or after the end of the one before.
bool Presentable(const MovEdits& edits);

// The track as its edit list presents it: the segments of one the demuxer
// left to the run, or a fragmented file's edit (see below); nothing where
// the demuxer's own reading stands.
//
// FFmpeg 5.1's mov demuxer applies the edit list of a fragmented file (CMAF,
// DASH: the sample tables in fragments after an init segment) to the
// timestamps only: the first packet starts the edit's media time before 0,
// but nothing states that those frames are to be dropped, as the first packet
// of an unfragmented file does, so an AAC track keeps its priming; and the
// edit's end is not applied. The "fragmented MP4" and "CMAF" rows of
// test_corpus.py's timeline table guard it; it can go once the FFmpeg the
// platform ships passes those rows without it.
std::unique_ptr<Presentation> ChooseMovEditList(const std::optional<MovEditList>& list, const AVFormatContext& context,
                                                const AVStream& stream);

}  // namespace mivra::ffmpeg
