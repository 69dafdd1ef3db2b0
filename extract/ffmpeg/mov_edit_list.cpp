#include "mov_edit_list.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "../checked.h"
#include "formats.h"
#include "packet_copy.h"
#include "presentation.h"

namespace mivra::ffmpeg {
namespace {

constexpr std::int64_t kEmptyEdit = -1;
constexpr std::int32_t kRateOne = RawEdit{}.rate;

struct Box {
    std::uint32_t type = 0;
    std::int64_t payload = 0;
    std::int64_t end = 0;
};

// The box that starts at the reader's position, inside a parent that ends at limit.
std::optional<Box> ReadBox(AVIOContext& io, std::int64_t limit)
{
    const std::int64_t start = avio_tell(&io);
    std::uint64_t size = avio_rb32(&io);
    const std::uint32_t type = avio_rb32(&io);
    if (size == 1)
        size = avio_rb64(&io);
    else if (size == 0)
        size = static_cast<std::uint64_t>(limit - start);
    const std::int64_t payload = avio_tell(&io);
    if (avio_feof(&io) || size < static_cast<std::uint64_t>(payload - start) ||
        size > static_cast<std::uint64_t>(limit - start)) {
        return std::nullopt;
    }
    return Box{type, payload, start + static_cast<std::int64_t>(size)};
}

// The first box of a type among those in [from, end), the reader at its payload.
std::optional<Box> FindBox(AVIOContext& io, std::int64_t from, std::int64_t end, std::uint32_t type)
{
    while (from < end && avio_seek(&io, from, SEEK_SET) >= 0) {
        const std::optional<Box> box = ReadBox(io, end);
        if (!box || box->type == type)
            return box;
        from = box->end;
    }
    return std::nullopt;
}

std::optional<Box> FindChild(AVIOContext& io, const Box& parent, std::uint32_t type)
{
    return FindBox(io, parent.payload, parent.end, type);
}

// The time scale of a movie or media header (mvhd, mdhd), the reader at its payload.
std::uint32_t ReadTimescale(AVIOContext& io)
{
    const int version = avio_r8(&io);
    avio_skip(&io, 3 + (version == 1 ? 16 : 8));  // flags, creation and modification times
    return avio_rb32(&io);
}

bool IsSoundTrack(AVIOContext& io, const Box& media)
{
    if (!FindChild(io, media, MKBETAG('h', 'd', 'l', 'r')))
        return false;
    avio_skip(&io, 8);  // version, flags, component type
    return avio_rl32(&io) == MKTAG('s', 'o', 'u', 'n');
}

std::vector<RawEdit> ReadEditList(AVIOContext& io, const Box& track)
{
    const std::optional<Box> edits = FindChild(io, track, MKBETAG('e', 'd', 't', 's'));
    const std::optional<Box> list = edits ? FindChild(io, *edits, MKBETAG('e', 'l', 's', 't')) : std::nullopt;
    if (!list)
        return {};
    const int version = avio_r8(&io);
    avio_skip(&io, 3);
    const std::int64_t entrySize = version == 1 ? 20 : 12;
    const std::int64_t count = std::min<std::int64_t>(avio_rb32(&io), (list->end - avio_tell(&io)) / entrySize);
    std::vector<RawEdit> entries;
    for (std::int64_t i = 0; i < count; ++i) {
        RawEdit entry;
        entry.duration = static_cast<std::int64_t>(version == 1 ? avio_rb64(&io) : avio_rb32(&io));
        entry.mediaTime =
            version == 1 ? static_cast<std::int64_t>(avio_rb64(&io)) : static_cast<std::int32_t>(avio_rb32(&io));
        entry.rate = static_cast<std::int32_t>(avio_rb32(&io));
        entries.push_back(entry);
    }
    return entries;
}

// The edits from the first segment to the last: empty edits before it are
// a delay, which the output leaves out, and empty edits after it end nothing.
std::size_t SegmentsBetweenEmptyEnds(const std::vector<RawEdit>& edits)
{
    const auto isSegment = [](const RawEdit& edit) { return edit.mediaTime != kEmptyEdit; };
    const auto first = std::find_if(edits.begin(), edits.end(), isSegment);
    const auto last = std::find_if(edits.rbegin(), edits.rend(), isSegment);
    return first == edits.end() ? 0 : static_cast<std::size_t>(last.base() - first);
}

}  // namespace

std::optional<MovEditList> ReadMovEditList(AVIOContext& io)
{
    const std::int64_t size = avio_size(&io);
    const std::optional<Box> movie =
        FindBox(io, 0, size > 0 ? size : std::numeric_limits<std::int64_t>::max(), MKBETAG('m', 'o', 'o', 'v'));
    const std::optional<Box> header = movie ? FindChild(io, *movie, MKBETAG('m', 'v', 'h', 'd')) : std::nullopt;
    if (!header)
        return std::nullopt;
    MovEditList list{.movieTimescale = ReadTimescale(io), .mediaTimescale = 0, .edits = {}, .fragmented = false};
    list.fragmented = FindChild(io, *movie, MKBETAG('m', 'v', 'e', 'x')).has_value();
    for (std::int64_t from = movie->payload;;) {
        const std::optional<Box> trak = FindBox(io, from, movie->end, MKBETAG('t', 'r', 'a', 'k'));
        const std::optional<Box> media = trak ? FindChild(io, *trak, MKBETAG('m', 'd', 'i', 'a')) : std::nullopt;
        if (!trak)
            return std::nullopt;
        from = trak->end;
        if (!media || !IsSoundTrack(io, *media) || !FindChild(io, *media, MKBETAG('m', 'd', 'h', 'd')))
            continue;
        list.mediaTimescale = ReadTimescale(io);
        list.edits = ReadEditList(io, *trak);
        return list;
    }
}

bool LeftToRun(const std::optional<MovEditList>& list)
{
    return list && SegmentsBetweenEmptyEnds(list->edits) > 1;
}

MovEdits EditsAt(const MovEditList& list, int rate)
{
    if (list.movieTimescale == 0 || list.mediaTimescale == 0 || rate <= 0)
        return MovEdits{.segments = {}, .rateOne = false};
    MovEdits edits;
    for (const RawEdit& edit : list.edits) {
        const std::int64_t length = av_rescale_rnd(edit.duration, rate, list.movieTimescale, AV_ROUND_NEAR_INF);
        if (edit.mediaTime == kEmptyEdit) {
            edits.segments.push_back({std::nullopt, length});
            continue;
        }
        edits.segments.push_back(
            {av_rescale_rnd(edit.mediaTime, rate, list.mediaTimescale, AV_ROUND_NEAR_INF), length});
        edits.rateOne = edits.rateOne && edit.rate == kRateOne;
    }
    return edits;
}

bool Presentable(const MovEdits& edits)
{
    return edits.rateOne && PresentedTimeline::InMediaOrder(edits.segments);
}

namespace {

// The segments of an edit list the demuxer left to the run, presented to the
// sample: frames are placed by their position in the media, and an empty
// edit between two segments is silence.
class EditListPresentation final : public Presentation {
public:
    EditListPresentation(MovEdits edits, const AVFormatContext& context, const AVStream& stream)
        : presentable_(Presentable(edits)), timeline_(std::move(edits.segments)),
          duration_(presentable_ ? presentedDuration(stream) : StatedDuration(context, stream)),
          end_(StatedLength(context, stream))
    {
    }

    std::optional<double> duration() const override { return duration_; }
    bool presentable() const override { return presentable_; }

    // Silence standing for lost packets stands for media, and is cut as media.
    std::optional<PresentedPiece> next(const HeldMedia& held) override
    {
        const std::int64_t silence = end_.keep(held.silence);
        presentedSilence_ = SaturatingAdd(presentedSilence_, timeline_.presentedSilence(mediaPosition_, silence));
        mediaPosition_ = SaturatingAdd(mediaPosition_, silence);
        std::optional<PresentedPiece> piece = timeline_.next(mediaPosition_, held.frames);
        if (!piece) {
            mediaPosition_ = SaturatingAdd(mediaPosition_, held.frames);
            return std::nullopt;
        }
        piece->silenceBefore = SaturatingAdd(std::exchange(presentedSilence_, 0), piece->silenceBefore);
        return piece;
    }

private:
    // All the media as one run: what it presents, empty edits included, which
    // the stream's duration leaves out. Without a media length the segments
    // count as long as they state.
    std::optional<double> presentedDuration(const AVStream& stream) const
    {
        const int rate = stream.codecpar->sample_rate;
        std::int64_t media = std::numeric_limits<std::int64_t>::max();
        if (stream.duration != AV_NOPTS_VALUE && stream.duration >= 0)
            media = av_rescale_q(stream.duration, stream.time_base, AVRational{1, rate});
        const std::int64_t presented = PresentedTimeline(timeline_).presentedSilence(
            0, media < 0 ? std::numeric_limits<std::int64_t>::max() : media);
        return static_cast<double>(presented) / rate;
    }

    bool presentable_;
    PresentedTimeline timeline_;
    std::optional<double> duration_;
    StatedEnd end_;
    std::int64_t mediaPosition_ = 0;
    std::int64_t presentedSilence_ = 0;
};

// A fragmented file's edit, which FFmpeg 5.1 applies to the timestamps only
// (see mov_edit_list.h): its start is stated on the first packet, as the
// demuxer states it for other files, and its end is its duration, or the
// media after its start as the fragments count it.
class FragmentedEditPresentation final : public PlainPresentation {
public:
    FragmentedEditPresentation(const EditSegment& edit, const AVFormatContext& context, const AVStream& stream)
        : PlainPresentation(StatedDuration(context, stream), EditLength(edit, stream)),
          unstatedStart_(*edit.mediaStart > 0 ? edit.mediaStart : std::nullopt)
    {
    }

    bool packetRead(AVPacket& packet, AVCodecContext& /*decoder*/) override
    {
        if (!unstatedStart_)
            return true;
        const auto frames = static_cast<std::uint32_t>(std::min<std::int64_t>(*unstatedStart_, UINT32_MAX));
        unstatedStart_.reset();
        if (SkipStatementOf(packet).start)
            return true;
        if (std::uint8_t* data = av_packet_new_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, 10))
            AV_WL32(data, frames);
        return true;
    }

private:
    // A duration of 0 says "all the media": the stream's duration is the sum
    // of the fragments' sample durations, the last one's shortened duration included.
    static std::optional<std::int64_t> EditLength(const EditSegment& edit, const AVStream& stream)
    {
        std::int64_t media = -1;
        if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
            media = av_rescale_q(stream.duration, stream.time_base, AVRational{1, stream.codecpar->sample_rate});
        if (media < 0)
            return edit.length > 0 ? std::optional(edit.length) : std::nullopt;
        const std::int64_t rest = std::max<std::int64_t>(0, media - *edit.mediaStart);
        return edit.length > 0 ? std::min(edit.length, rest) : rest;
    }

    std::optional<std::int64_t> unstatedStart_;
};

// The first segment of a fragmented file's edit list, in frames at the stream's rate.
std::optional<EditSegment> FragmentedEdit(const MovEditList& list, int rate)
{
    const MovEdits edits = EditsAt(list, rate);
    const auto first = std::find_if(edits.segments.begin(), edits.segments.end(),
                                    [](const EditSegment& segment) { return segment.mediaStart.has_value(); });
    if (first == edits.segments.end())
        return std::nullopt;
    return *first;
}

}  // namespace

std::unique_ptr<Presentation> ChooseMovEditList(const std::optional<MovEditList>& list, const AVFormatContext& context,
                                                const AVStream& stream)
{
    if (!IsMovFamily(context) || !list)
        return nullptr;
    const int rate = stream.codecpar->sample_rate;
    if (LeftToRun(list))
        return std::make_unique<EditListPresentation>(EditsAt(*list, rate), context, stream);
    const std::optional<EditSegment> edit = list->fragmented ? FragmentedEdit(*list, rate) : std::nullopt;
    if (!edit)
        return nullptr;
    return std::make_unique<FragmentedEditPresentation>(*edit, context, stream);
}

}  // namespace mivra::ffmpeg
