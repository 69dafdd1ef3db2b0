#pragma once

// What the container states about where the first audio track's audio starts
// and ends: its stated duration, the frames to trim at the start and the end,
// and the silence it presents. One presentation is chosen once, when the
// source opens: plain, an edit list, an Ogg chain or a gapless tag. Decoding
// reaches it through three hooks (prepare, packetRead, next); the size
// estimate asks it for the duration.
//
// Each workaround of FFmpeg 5.1 that presents a track its own way lives in a
// file of its own and is offered where the presentation is chosen
// (presentation_choice.cpp); removing it is deleting its file and its line there.

#include <cstdint>
#include <optional>

#include "../presented_timeline.h"
#include "../timeline.h"
#include "handles.h"

namespace mivra::ffmpeg {

// A decoded frame or copied packet held for output, as the presentation sees it.
struct HeldMedia {
    std::int64_t frames = 0;
    // Frames a decoder that leaves its trims to the run stated to drop at the start.
    std::int64_t decoderStartSkip = 0;
    // Frames of silence owed for damage before the held media; on the first piece only.
    std::int64_t silence = 0;
    int piecesGiven = 0;
};

class Presentation {
public:
    virtual ~Presentation() = default;

    // The presented duration in seconds, for the size estimate; nothing when
    // the container states none.
    virtual std::optional<double> duration() const = 0;

    // Whether one reading of the media presents the track; the run refuses it otherwise.
    virtual bool presentable() const { return true; }

    // Hook: the decoder, before it opens.
    virtual void prepare(AVCodecContext& /*decoder*/) {}

    // Hook: each packet read, before it is decoded or copied; false leaves it out.
    virtual bool packetRead(AVPacket& /*packet*/, AVCodecContext& /*decoder*/) { return true; }

    // Hook: the next piece of held media that goes out, with the silence
    // presented before it; nothing once no more of it does.
    virtual std::optional<PresentedPiece> next(const HeldMedia& held) = 0;
};

// Every frame up to the stated end, the silence owed for damage counting toward it.
class PlainPresentation : public Presentation {
public:
    PlainPresentation(std::optional<double> duration, std::optional<std::int64_t> length)
        : duration_(duration), end_(length)
    {
    }

    std::optional<double> duration() const override { return duration_; }
    std::optional<PresentedPiece> next(const HeldMedia& held) override;

protected:
    // The held media's piece, its first `skipped` frames trimmed.
    PresentedPiece trimmedPiece(const HeldMedia& held, std::int64_t skipped);
    void restateEnd(std::optional<std::int64_t> length) { end_ = StatedEnd(length); }

private:
    std::optional<double> duration_;
    StatedEnd end_;
};

// The duration the container states for the track, in seconds; the length
// the mov family states, in frames at the track's rate.
std::optional<double> StatedDuration(const AVFormatContext& context, const AVStream& stream);
std::optional<std::int64_t> StatedLength(const AVFormatContext& context, const AVStream& stream);

}  // namespace mivra::ffmpeg
