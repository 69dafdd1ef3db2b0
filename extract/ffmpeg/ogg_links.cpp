#include "ogg_links.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <numeric>
#include <span>
#include <string_view>

extern "C" {
#include <libavcodec/vorbis_parser.h>
#include <libavutil/intreadwrite.h>
}

#include "plain_file.h"

namespace mivra::ffmpeg {
namespace {

struct VorbisParserFreer {
    void operator()(AVVorbisParseContext* parser) const { av_vorbis_parse_free(&parser); }
};
using VorbisParser = std::unique_ptr<AVVorbisParseContext, VorbisParserFreer>;

enum class Codec { vorbis, opus, other };

constexpr int kPageHeaderSize = 27;
constexpr std::uint8_t kContinuedPacket = 1;
constexpr std::uint8_t kFirstPage = 2;
constexpr std::uint8_t kLastPage = 4;
constexpr std::int64_t kNoGranule = -1;
constexpr std::size_t kVorbisHeaders = 3;
// Far above any Vorbis header or audio packet: a packet that grows past it
// is damage, and memory stays bounded.
constexpr std::size_t kLargestPacket = 1 << 20;

struct Page {
    std::int64_t offset = 0;
    std::uint8_t flags = 0;
    std::int64_t granule = kNoGranule;
    std::uint32_t serial = 0;
    std::vector<std::uint8_t> lacing;

    std::int64_t bodySize() const { return std::accumulate(lacing.begin(), lacing.end(), std::int64_t{0}); }
};

Codec CodecOfFirstPacket(std::span<const std::uint8_t> body)
{
    const std::string_view start(reinterpret_cast<const char*>(body.data()), std::min<std::size_t>(body.size(), 8));
    if (start.starts_with("\x01vorbis"))
        return Codec::vorbis;
    if (start.starts_with("OpusHead"))
        return Codec::opus;
    return Codec::other;
}

// The three Vorbis headers in the Xiph-laced form av_vorbis_parse_init takes.
std::vector<std::uint8_t> XiphLaced(const std::vector<std::vector<std::uint8_t>>& headers)
{
    std::vector<std::uint8_t> laced{static_cast<std::uint8_t>(headers.size() - 1)};
    for (std::size_t i = 0; i + 1 < headers.size(); ++i) {
        laced.insert(laced.end(), headers[i].size() / 255, 255);
        laced.push_back(static_cast<std::uint8_t>(headers[i].size() % 255));
    }
    for (const auto& header : headers)
        laced.insert(laced.end(), header.begin(), header.end());
    return laced;
}

// Where a Vorbis link starts, found as libvorbisfile finds it: the frames its
// packets decode to up to the first page with a granule position, against
// that position. The first audio packet only fills the decoder's window and
// decodes to nothing.
class VorbisStart {
public:
    bool known() const { return known_; }
    bool failed() const { return failed_; }
    std::int64_t trim() const { return trim_; }
    // The granule position of the link's first frame.
    std::int64_t firstGranule() const { return firstGranule_; }

    void page(const Page& page, std::span<const std::uint8_t> body)
    {
        if (!(page.flags & kContinuedPacket))
            partial_.clear();
        std::size_t at = 0;
        for (const std::uint8_t size : page.lacing) {
            if (at + size > body.size())
                return;
            partial_.insert(partial_.end(), body.begin() + at, body.begin() + at + size);
            at += size;
            if (partial_.size() > kLargestPacket) {
                failed_ = true;
                return;
            }
            if (size < 255) {
                packet(partial_);
                partial_.clear();
            }
        }
        if (parser_ && audioPackets_ > 0 && page.granule != kNoGranule)
            settle(page);
    }

private:
    void packet(const std::vector<std::uint8_t>& data)
    {
        if (headers_.size() < kVorbisHeaders) {
            headers_.push_back(data);
            if (headers_.size() == kVorbisHeaders)
                openParser();
            return;
        }
        if (!parser_ || data.empty())
            return;
        const int frames = av_vorbis_parse_frame(parser_.get(), data.data(), static_cast<int>(data.size()));
        decoded_ += audioPackets_++ > 0 ? std::max(frames, 0) : 0;
    }

    void openParser()
    {
        const std::vector<std::uint8_t> laced = XiphLaced(headers_);
        parser_.reset(av_vorbis_parse_init(laced.data(), static_cast<int>(laced.size())));
        failed_ = !parser_;
    }

    // A first page that is also the last states where the link ends, not
    // where it starts (a stream shorter than one page).
    void settle(const Page& page)
    {
        known_ = true;
        if (page.flags & kLastPage)
            return;
        trim_ = std::max<std::int64_t>(0, decoded_ - page.granule);
        firstGranule_ = std::max<std::int64_t>(0, page.granule - decoded_);
    }

    std::vector<std::vector<std::uint8_t>> headers_;
    std::vector<std::uint8_t> partial_;
    VorbisParser parser_;
    std::int64_t decoded_ = 0;
    int audioPackets_ = 0;
    std::int64_t trim_ = 0;
    std::int64_t firstGranule_ = 0;
    bool known_ = false;
    bool failed_ = false;
};

// Reads the pages one after another: headers always, bodies only where the
// start of a Vorbis link is still to be found.
class LinkReader {
public:
    LinkReader(AVIOContext& io, Codec codec) : io_(io), codec_(codec), fileSize_(avio_size(&io)) {}

    std::vector<OggLink> read()
    {
        Page page;
        while (readPageHeader(page)) {
            if (!readPage(page))
                return {};
        }
        finishLink();
        return std::move(links_);
    }

private:
    // The next whole page's header; false at the end of the file, where
    // something else than a page stands, or at a page cut short.
    bool readPageHeader(Page& page)
    {
        std::array<std::uint8_t, kPageHeaderSize> header{};
        page.offset = avio_tell(&io_);
        if (avio_read(&io_, header.data(), kPageHeaderSize) != kPageHeaderSize ||
            std::memcmp(header.data(), "OggS", 4) != 0) {
            return false;
        }
        page.flags = header[5];
        page.granule = static_cast<std::int64_t>(AV_RL64(header.data() + 6));
        page.serial = AV_RL32(header.data() + 14);
        page.lacing.resize(header[26]);
        if (avio_read(&io_, page.lacing.data(), header[26]) != header[26])
            return false;
        return fileSize_ < 0 || avio_tell(&io_) + page.bodySize() <= fileSize_;
    }

    // False when the file holds what this reading does not follow: two audio
    // streams side by side, or a link of another codec.
    bool readPage(const Page& page)
    {
        const bool opensStream = page.flags & kFirstPage;
        std::vector<std::uint8_t> body;
        if (opensStream || (page.serial == serial_ && vorbisStart_ && !vorbisStart_->known()))
            body = readBody(page);
        else
            avio_skip(&io_, page.bodySize());
        if (opensStream && !previousOpened_)
            audioInGroup_ = false;
        if (const Codec codec = opensStream ? CodecOfFirstPacket(body) : Codec::other; codec != Codec::other) {
            if (codec != codec_ || audioInGroup_)
                return false;
            startLink(page);
        }
        previousOpened_ = opensStream;
        if (page.serial != serial_ || links_.empty())
            return true;
        if (vorbisStart_ && !vorbisStart_->known())
            vorbisStart_->page(page, body);
        if (page.granule != kNoGranule)
            lastGranule_ = page.granule;
        return !(vorbisStart_ && vorbisStart_->failed());
    }

    std::vector<std::uint8_t> readBody(const Page& page)
    {
        std::vector<std::uint8_t> body(static_cast<std::size_t>(page.bodySize()));
        const int read = avio_read(&io_, body.data(), static_cast<int>(body.size()));
        body.resize(static_cast<std::size_t>(std::max(read, 0)));
        return body;
    }

    void startLink(const Page& page)
    {
        finishLink();
        audioInGroup_ = true;
        serial_ = page.serial;
        lastGranule_ = kNoGranule;
        links_.push_back({.firstByte = page.offset, .startTrim = 0, .length = std::nullopt});
        if (codec_ == Codec::vorbis)
            vorbisStart_.emplace();
    }

    // A Vorbis link's length: from its first frame to its last granule position.
    void finishLink()
    {
        if (links_.empty() || !vorbisStart_ || !vorbisStart_->known() || lastGranule_ == kNoGranule)
            return;
        OggLink& link = links_.back();
        link.startTrim = vorbisStart_->trim();
        link.length = std::max<std::int64_t>(0, lastGranule_ - vorbisStart_->firstGranule());
    }

    AVIOContext& io_;
    Codec codec_;
    std::int64_t fileSize_;
    std::vector<OggLink> links_;
    std::optional<VorbisStart> vorbisStart_;
    std::uint32_t serial_ = 0;
    std::int64_t lastGranule_ = kNoGranule;
    bool previousOpened_ = false;
    bool audioInGroup_ = false;
};

Codec CodecOf(const AVStream& stream)
{
    switch (stream.codecpar->codec_id) {
    case AV_CODEC_ID_VORBIS: return Codec::vorbis;
    case AV_CODEC_ID_OPUS: return Codec::opus;
    default: return Codec::other;
    }
}

}  // namespace

std::vector<OggLink> ReadOggLinks(const AVFormatContext& context, const AVStream& stream)
{
    const Codec codec = CodecOf(stream);
    if (std::string_view(context.iformat->name) != "ogg" || codec == Codec::other)
        return {};
    const Io io = OpenPlainFile(context.url);
    if (!io)
        return {};
    return LinkReader(*io, codec).read();
}

const OggLink* OggLinkWalk::opens(const AVPacket& packet)
{
    const OggLink* opened = nullptr;
    while (next_ < links_.size() && packet.pos >= links_[next_].firstByte)
        opened = &links_[next_++];
    return opened;
}

}  // namespace mivra::ffmpeg
