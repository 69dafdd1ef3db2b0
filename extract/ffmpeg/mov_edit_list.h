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
#include <optional>
#include <vector>

#include "../presented_timeline.h"
#include "decoded_step.h"
#include "handles.h"

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

// The edit list the demuxer left to the run, in frames at the stream's rate;
// nothing when the demuxer applies it.
std::optional<MovEdits> EditsLeftToRun(const std::optional<MovEditList>& list, const AVFormatContext& context,
                                       const AVStream& stream);

// The frames the edit list left to the run presents, empty edits included;
// nothing when the demuxer applies it or the run cannot present it.
std::optional<std::int64_t> PresentedLength(const std::optional<MovEditList>& list, const AVFormatContext& context,
                                            const AVStream& stream);

// The frames a fragmented file's edit presents from its start: its duration,
// or where it states none (0: "all the media"), the media after its start as
// the fragments' sample durations count it, the last sample's shortened
// duration included. FFmpeg 5.1 applies neither; nothing for other files.
std::optional<std::int64_t> FragmentedEditLength(const std::optional<MovEditList>& list, const AVFormatContext& context,
                                                 const AVStream& stream);

// The run's side of the edit list: the segments of one the demuxer left to
// the run, presented to the sample, and the start of a fragmented file's
// edit stated on its first packet.
//
// FFmpeg 5.1's mov demuxer applies the edit list of a fragmented file (CMAF,
// DASH: the sample tables in fragments after an init segment) to the
// timestamps only: the first packet starts the edit's media time before 0,
// but nothing states that those frames are to be dropped, as the first packet
// of an unfragmented file does, so an AAC track keeps its priming. The
// "fragmented MP4" row of test_corpus.py's timeline table guards it; it can
// go once the FFmpeg the platform ships passes that row without it.
class EditListRun {
public:
    EditListRun(const std::optional<MovEditList>& list, const AVFormatContext& context, const AVStream& stream);

    // Whether frames and packets go out as the segments present them.
    bool presents() const { return timeline_.has_value(); }

    // Called on each packet read: the first one of a fragmented file states
    // the edit's start, as the demuxer states it for other files.
    void stateStart(AVPacket& packet);

    // The next piece of a held frame or copied packet that the segments
    // present, after `silence` frames owed for damage before it (silence
    // standing for lost packets stands for media, and is cut as media);
    // nothing once no more of it is presented.
    std::optional<DecodedStep> piece(const AVFrame& frame, std::int64_t silence);
    std::optional<DecodedStep> piece(const AVPacket& packet, int frameSize, std::int64_t silence);

private:
    std::optional<PresentedPiece> nextPiece(std::int64_t frames, std::int64_t silence);

    std::optional<PresentedTimeline> timeline_;
    std::optional<std::int64_t> unstatedStart_;
    // Frames are placed by their position in the media.
    std::int64_t mediaPosition_ = 0;
    std::int64_t presentedSilence_ = 0;
};

}  // namespace mivra::ffmpeg
