#include "ffmpeg_media.h"

#include <cstdlib>
#include <string_view>

extern "C" {
#include <libavutil/log.h>
}

#include "ffmpeg51_quirks.h"
#include "handles.h"
#include "plain_file.h"
#include "presentation_choice.h"
#include "reader.h"

namespace mivra::ffmpeg {
namespace {

// Packets of up to 256 KiB from the WAV demuxer instead of its default 4 KiB:
// a long multichannel file otherwise spends most of its time on packet overhead.
constexpr const char* kWavPacketSize = "262144";
// The raw demuxers (FLAC, AC-3, DTS, ...) hand their parser 1 KiB packets by
// default: two allocations for every KiB of the file (800,000 for 10 minutes
// of 6-channel FLAC). In 64 KiB pieces such a file takes a tenth of the
// allocations and 4 % fewer instructions, and its parser finds the same frames.
constexpr const char* kRawPacketSize = "65536";

// Streams the header already shows are not audio are left out of the probe
// below: probing a video track decodes some of its frames, which costs time
// and memory for nothing. Streams of a type not known yet are still probed.
void SkipKnownNonAudioStreams(AVFormatContext& context)
{
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVMediaType type = context.streams[i]->codecpar->codec_type;
        if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_UNKNOWN)
            context.streams[i]->discard = AVDISCARD_ALL;
    }
}

int FirstAudioStream(const AVFormatContext& context)
{
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        if (context.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return static_cast<int>(i);
    }
    return -1;
}

// An opened input, its first audio stream and how the container presents it.
struct Input {
    FormatContext context;
    int streamIndex = -1;
    std::unique_ptr<Presentation> presentation;
};

// A plain file is opened here, once: what its header states is read from it
// before the demuxer gets it, since some of it (the edit list) decides options
// of the demuxer's opening; the rest (the Ogg links) is read from it when the
// presentation is chosen. What is no plain file (a FIFO) is opened by the
// demuxer alone.
Input OpenInput(const std::string& path)
{
    Options options;
    // Only plain files: a playlist or a name such as "concat:..." must never
    // make the demuxer open other resources.
    av_dict_set(&options.entries, "protocol_whitelist", "file", 0);
    av_dict_set(&options.entries, "max_size", kWavPacketSize, 0);
    av_dict_set(&options.entries, "raw_packet_size", kRawPacketSize, 0);
    const std::string url = "file:" + path;
    Io io = OpenPlainFile(url.c_str());
    const HeaderStatements statements = io ? ReadHeaderStatements(*io, options.entries) : HeaderStatements{};
    if (io && avio_seek(io.get(), 0, SEEK_SET) < 0)
        return {};
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return {};
    raw->pb = io.get();
    // On failure avformat_open_input frees the context, not the reader.
    if (avformat_open_input(&raw, url.c_str(), nullptr, &options.entries) < 0)
        return {};
    FormatContext context(raw);
    static_cast<void>(io.release());  // the context closes it now
    SkipKnownNonAudioStreams(*raw);
    // Without it MP3, FLAC and raw AAC report neither rate nor channels.
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return {};
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        ffmpeg51::RestoreWrappedPcmRate(*raw, *raw->streams[i]);
    const int streamIndex = FirstAudioStream(*raw);
    if (streamIndex < 0)
        return {std::move(context), streamIndex, nullptr};
    auto presentation = ChoosePresentation(statements, *raw, *raw->streams[streamIndex]);
    return {std::move(context), streamIndex, std::move(presentation)};
}

class Asset final : public MediaAsset {
public:
    Asset(Input input, Threading threading) : input_(std::move(input)), threading_(threading) {}

    std::optional<AudioTrack> firstAudioTrack() override
    {
        if (!input_.presentation)
            return std::nullopt;
        const AVStream& stream = *input_.context->streams[input_.streamIndex];
        const int channels = stream.codecpar->ch_layout.nb_channels;
        const int rate = stream.codecpar->sample_rate;
        return AudioTrack{channels > 0 ? static_cast<unsigned>(channels) : 0U, input_.presentation->duration(),
                          rate > 0 ? static_cast<unsigned>(rate) : 0U};
    }

    // The reader takes the input over: a run makes one reader per asset.
    ReaderOrError makeReader(double sampleRate, unsigned channelCount) override
    {
        if (!input_.presentation)
            return {nullptr, ErrorText(AVERROR(EINVAL))};
        return MakeReader(std::move(input_.context), input_.streamIndex, std::move(input_.presentation), sampleRate,
                          channelCount, threading_);
    }

private:
    Input input_;
    Threading threading_;
};

// MIVRA_EXTRACT_THREADS=1 in the environment keeps a run on one thread: the
// reference the two-thread pipeline is compared with. Read once, at launch.
Threading ThreadingFromEnvironment()
{
    const char* value = std::getenv("MIVRA_EXTRACT_THREADS");
    return value && std::string_view(value) == "1" ? Threading::one : Threading::pipelined;
}

class Framework final : public MediaFramework {
public:
    Framework() : threading_(ThreadingFromEnvironment()) { av_log_set_level(AV_LOG_QUIET); }

    std::unique_ptr<MediaAsset> openAsset(const std::string& path) override
    {
        Input input = OpenInput(path);
        if (!input.context)
            return nullptr;
        return std::make_unique<Asset>(std::move(input), threading_);
    }

private:
    Threading threading_;
};

}  // namespace

std::unique_ptr<MediaFramework> MakeMediaFramework()
{
    return std::make_unique<Framework>();
}

}  // namespace mivra::ffmpeg
