#pragma once

// Which samples of a track reach the output: what the container states is cut,
// and damage keeps its place on the timeline. Counts are in sample frames at
// the source's rate. Plain arithmetic, so the rules are the same whether
// packets are copied, decoded at the target rate or resampled.

#include <cstdint>
#include <optional>

namespace mivra {

// The frames of one packet or decoded frame that are kept: `count` of them,
// starting `skipped` frames in.
struct KeptFrames {
    std::int64_t skipped = 0;
    std::int64_t count = 0;
};

// Applies what the container says to drop at the start of a track (an edit
// that begins inside the media) and at the end of a packet (end padding), as a
// decoder does for the packets it is handed. Packets the container marks as
// wholly outside the track are dropped, and count against the frames still to
// drop at the start.
class StatedTrim {
public:
    // A packet's own statement replaces what was still to drop at the start.
    void stateStartSkip(std::int64_t frames) { startSkip_ = frames > 0 ? frames : 0; }

    KeptFrames keep(std::int64_t count, bool discarded, std::int64_t endPadding);

private:
    std::int64_t startSkip_ = 0;
};

// The end a container states for the presented track (an edit list's length),
// counted from the first kept frame: timestamps that jump or start elsewhere
// never move it. Without a stated end every frame is kept.
class StatedEnd {
public:
    explicit StatedEnd(std::optional<std::int64_t> length) : length_(length) {}

    // How many of the next `count` frames lie before the end; they count as kept.
    std::int64_t keep(std::int64_t count);

private:
    std::optional<std::int64_t> length_;
    std::int64_t kept_ = 0;
};

// Damage on the way: a packet that fails to decode stands as silence of its
// length, written only once a later packet decodes, so that what follows keeps
// its place and a file cut short in its last packet simply ends there. The
// length a packet states is the file's word: each failed packet stands for no
// more than the longest frame the stream decodes to.
class Concealment {
public:
    // More than one frame in this many concealed makes the result meaningless.
    static constexpr std::int64_t kMaximumShareDenominator = 10;
    // Past this much silence written for damage, the share is judged as the
    // run goes, so that a hopeless file fails before its output grows.
    static constexpr std::int64_t kRunningJudgement = std::int64_t{1} << 22;

    // Audio lost between two good frames, as timestamps show it.
    void lost(std::int64_t frames);
    // A packet that failed to decode, `frames` long as it states.
    void failedPacket(std::int64_t frames);

    // Before a good frame: the silence to write first, which then counts as concealed.
    std::int64_t silenceBeforeGoodFrames(std::int64_t frames);

    // Too much of the output would be silence standing for damage.
    bool tooDamaged() const;
    // Already too much, with enough concealed that the rest cannot make it good.
    bool tooDamagedSoFar() const { return concealed_ > kRunningJudgement && tooDamaged(); }

private:
    std::int64_t pending_ = 0;
    std::int64_t failedFrames_ = 0;
    std::int64_t failedPackets_ = 0;
    std::int64_t longest_ = 0;
    std::int64_t concealed_ = 0;
    std::int64_t decoded_ = 0;
};

// Packets lost on the way in a stream whose timestamps follow one another (a
// broadcast's transport stream): where a frame starts later than the one
// before it ended, by more than half a frame (the rounding of timestamps
// stays well below that; the least a loss takes is a whole frame) and by less
// than kDiscontinuitySeconds, the gap is audio that never arrived and is
// filled with silence, so that what follows keeps its place. A larger or
// backward jump is a discontinuity (recordings joined end to end, a clock
// reset): nothing is filled and the frames simply follow one another.
class TimestampGaps {
public:
    static constexpr double kDiscontinuitySeconds = 5;

    // The frames lost before a frame of `frames` at `rate` Hz that starts at
    // `start` seconds (nothing when its timestamp is unknown).
    std::int64_t lostBefore(std::optional<double> start, std::int64_t frames, double rate);

    // Frames that already stand as silence (a packet that failed to decode).
    void covered(std::int64_t frames, double rate);

private:
    std::optional<double> end_;
};

}  // namespace mivra
