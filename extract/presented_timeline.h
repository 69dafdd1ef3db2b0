#pragma once

// The timeline an edit list of several segments presents: each segment's
// range of the media in turn, and an empty edit between two segments as
// silence of its length. Counts are in sample frames at the source's rate;
// the media's frames arrive in media order, as they decode.

#include <cstdint>
#include <optional>
#include <vector>

namespace mivra {

struct EditSegment {
    std::optional<std::int64_t> mediaStart;  // none: an empty edit
    std::int64_t length = 0;
};

// What goes out of a run of media frames: `silenceBefore` frames of silence,
// then `count` frames starting `skipped` frames into the run.
struct PresentedPiece {
    std::int64_t silenceBefore = 0;
    std::int64_t skipped = 0;
    std::int64_t count = 0;
};

class PresentedTimeline {
public:
    // Whether the media, read once from start to end, presents the segments:
    // each one starts at or after the end of the one before.
    static bool InMediaOrder(const std::vector<EditSegment>& segments);

    // Empty edits before the first segment are left out: the output starts
    // with the first segment's media, as where the edit list has one segment.
    explicit PresentedTimeline(std::vector<EditSegment> segments);

    // The next piece of the `count` media frames that start at media frame
    // `position`, after the pieces already given of them; nothing once no
    // more of them is presented.
    std::optional<PresentedPiece> next(std::int64_t position, std::int64_t count);

    // The presented frames of a run of media frames that stand as silence.
    std::int64_t presentedSilence(std::int64_t position, std::int64_t count);

private:
    std::vector<EditSegment> segments_;
    std::size_t current_ = 0;
    std::int64_t given_ = 0;  // frames of the current segment given
    std::int64_t silence_ = 0;
};

}  // namespace mivra
