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

#include <optional>
#include <vector>

#include "../presented_timeline.h"
#include "handles.h"

namespace mivra::ffmpeg {

struct MovEdits {
    std::vector<EditSegment> segments;  // in frames at the track's sample rate
    bool rateOne = true;                // every segment plays its media at rate 1
};

// Whether the first sound track of the file at url has an edit list of more
// than one segment: the demuxer is then to leave it to the run.
bool HasSeveralEdits(const char* url);

// The edit list the demuxer was told to ignore, in frames at the stream's
// rate; nothing when the demuxer applied it.
std::optional<MovEdits> IgnoredEdits(const AVFormatContext& context, const AVStream& stream);

// The edit list of the first sound track of the file at url, in frames at
// `rate` Hz, as read when the demuxer ignores it.
MovEdits ReadEdits(const char* url, int rate);

// Whether one reading of the media presents the edits: every segment at
// media rate 1, each starting at or after the end of the one before.
bool Presentable(const MovEdits& edits);

// FFmpeg 5.1's mov demuxer applies the edit list of a fragmented file (CMAF,
// DASH: the sample tables in fragments after an init segment) to the
// timestamps only: the first packet starts the edit's media time before 0,
// but nothing states that those frames are to be dropped, as the first packet
// of an unfragmented file does, so an AAC track keeps its priming. This is
// the edit's start in frames at the stream's rate, for the first packet to
// state; nothing where the file is not fragmented or its edit starts at 0.
// The "fragmented MP4" row of test_corpus.py's timeline table guards it; it
// can go once the FFmpeg the platform ships passes that row without it.
std::optional<std::int64_t> FragmentedEditStart(const AVFormatContext& context, const AVStream& stream);

// The frames the edit list the demuxer ignored presents, empty edits included;
// nothing when the demuxer applied it or the run cannot present it.
std::optional<std::int64_t> PresentedLength(const AVFormatContext& context, const AVStream& stream);

// The timeline of the edit list the demuxer ignored; nothing when it applied it.
std::optional<PresentedTimeline> IgnoredEditsTimeline(const AVFormatContext& context, const AVStream& stream);

}  // namespace mivra::ffmpeg
