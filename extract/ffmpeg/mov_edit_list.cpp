#include "mov_edit_list.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

extern "C" {
#include <libavutil/opt.h>
}

#include "plain_file.h"

namespace mivra::ffmpeg {
namespace {

constexpr std::int64_t kEmptyEdit = -1;
constexpr std::int32_t kRateOne = 0x10000;  // 16.16 fixed point

struct Box {
    std::uint32_t type = 0;
    std::int64_t payload = 0;
    std::int64_t end = 0;
};

struct RawEdit {
    std::int64_t duration = 0;   // movie time scale
    std::int64_t mediaTime = 0;  // media time scale; kEmptyEdit for an empty edit
    std::int32_t rate = kRateOne;
};

struct TrackEdits {
    std::uint32_t movieTimescale = 0;
    std::uint32_t mediaTimescale = 0;
    std::vector<RawEdit> edits;
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

std::optional<TrackEdits> ReadFirstSoundTrackEdits(AVIOContext& io)
{
    const std::int64_t size = avio_size(&io);
    const std::optional<Box> movie =
        FindBox(io, 0, size > 0 ? size : std::numeric_limits<std::int64_t>::max(), MKBETAG('m', 'o', 'o', 'v'));
    const std::optional<Box> header = movie ? FindChild(io, *movie, MKBETAG('m', 'v', 'h', 'd')) : std::nullopt;
    if (!header)
        return std::nullopt;
    TrackEdits track{.movieTimescale = ReadTimescale(io), .mediaTimescale = 0, .edits = {}};
    for (std::int64_t from = movie->payload;;) {
        const std::optional<Box> trak = FindBox(io, from, movie->end, MKBETAG('t', 'r', 'a', 'k'));
        const std::optional<Box> media = trak ? FindChild(io, *trak, MKBETAG('m', 'd', 'i', 'a')) : std::nullopt;
        if (!trak)
            return std::nullopt;
        from = trak->end;
        if (!media || !IsSoundTrack(io, *media) || !FindChild(io, *media, MKBETAG('m', 'd', 'h', 'd')))
            continue;
        track.mediaTimescale = ReadTimescale(io);
        track.edits = ReadEditList(io, *trak);
        return track;
    }
}

std::optional<TrackEdits> ReadTrackEdits(const char* url)
{
    const Io io = OpenPlainFile(url);
    return io ? ReadFirstSoundTrackEdits(*io) : std::nullopt;
}

// Whether the movie's samples are described in fragments (its header has an 'mvex').
bool IsFragmented(const char* url)
{
    const Io io = OpenPlainFile(url);
    const std::int64_t size = io ? avio_size(io.get()) : -1;
    const std::optional<Box> movie =
        io ? FindBox(*io, 0, size > 0 ? size : std::numeric_limits<std::int64_t>::max(), MKBETAG('m', 'o', 'o', 'v'))
           : std::nullopt;
    return movie && FindChild(*io, *movie, MKBETAG('m', 'v', 'e', 'x'));
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

bool IgnoresEditLists(const AVFormatContext& context)
{
    std::int64_t ignored = 0;
    return std::string_view(context.iformat->name).starts_with("mov,") && context.priv_data &&
           av_opt_get_int(context.priv_data, "ignore_editlist", 0, &ignored) >= 0 && ignored != 0;
}

}  // namespace

bool HasSeveralEdits(const char* url)
{
    const std::optional<TrackEdits> track = ReadTrackEdits(url);
    return track && SegmentsBetweenEmptyEnds(track->edits) > 1;
}

std::optional<MovEdits> IgnoredEdits(const AVFormatContext& context, const AVStream& stream)
{
    if (!IgnoresEditLists(context))
        return std::nullopt;
    return ReadEdits(context.url, stream.codecpar->sample_rate);
}

MovEdits ReadEdits(const char* url, int rate)
{
    const std::optional<TrackEdits> track = ReadTrackEdits(url);
    if (!track || track->movieTimescale == 0 || track->mediaTimescale == 0 || rate <= 0)
        return MovEdits{.segments = {}, .rateOne = false};
    MovEdits edits;
    for (const RawEdit& edit : track->edits) {
        const std::int64_t length = av_rescale_rnd(edit.duration, rate, track->movieTimescale, AV_ROUND_NEAR_INF);
        if (edit.mediaTime == kEmptyEdit) {
            edits.segments.push_back({std::nullopt, length});
            continue;
        }
        edits.segments.push_back(
            {av_rescale_rnd(edit.mediaTime, rate, track->mediaTimescale, AV_ROUND_NEAR_INF), length});
        edits.rateOne = edits.rateOne && edit.rate == kRateOne;
    }
    return edits;
}

bool Presentable(const MovEdits& edits)
{
    return edits.rateOne && PresentedTimeline::InMediaOrder(edits.segments);
}

std::optional<std::int64_t> FragmentedEditStart(const AVFormatContext& context, const AVStream& stream)
{
    if (!std::string_view(context.iformat->name).starts_with("mov,") || IgnoresEditLists(context) ||
        !IsFragmented(context.url)) {
        return std::nullopt;
    }
    const MovEdits edits = ReadEdits(context.url, stream.codecpar->sample_rate);
    const auto first = std::find_if(edits.segments.begin(), edits.segments.end(),
                                    [](const EditSegment& segment) { return segment.mediaStart.has_value(); });
    if (first == edits.segments.end() || *first->mediaStart <= 0)
        return std::nullopt;
    return first->mediaStart;
}

std::optional<std::int64_t> PresentedLength(const AVFormatContext& context, const AVStream& stream)
{
    std::optional<MovEdits> edits = IgnoredEdits(context, stream);
    if (!edits || !Presentable(*edits))
        return std::nullopt;
    const int rate = stream.codecpar->sample_rate;
    // Without a media length the segments count as long as they state.
    std::int64_t media = std::numeric_limits<std::int64_t>::max();
    if (stream.duration != AV_NOPTS_VALUE && stream.duration >= 0)
        media = av_rescale_q(stream.duration, stream.time_base, AVRational{1, rate});
    // All the media as one run: what it presents, silence included.
    return PresentedTimeline(std::move(edits->segments))
        .presentedSilence(0, media < 0 ? std::numeric_limits<std::int64_t>::max() : media);
}

std::optional<PresentedTimeline> IgnoredEditsTimeline(const AVFormatContext& context, const AVStream& stream)
{
    std::optional<MovEdits> edits = IgnoredEdits(context, stream);
    if (!edits)
        return std::nullopt;
    return PresentedTimeline(std::move(edits->segments));
}

}  // namespace mivra::ffmpeg
