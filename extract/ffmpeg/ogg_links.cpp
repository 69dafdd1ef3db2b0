#include "ogg_links.h"

#include <algorithm>
#include <array>
#include <memory>
#include <numeric>
#include <span>
#include <string_view>

extern "C" {
#include <libavcodec/vorbis_parser.h>
#include <libavutil/crc.h>
#include <libavutil/intreadwrite.h>
}

#include "formats.h"

namespace mivra::ffmpeg {
namespace {

struct VorbisParserFreer {
    void operator()(AVVorbisParseContext* parser) const { av_vorbis_parse_free(&parser); }
};
using VorbisParser = std::unique_ptr<AVVorbisParseContext, VorbisParserFreer>;

enum class Codec { vorbis, opus, other };

constexpr int kPageHeaderSize = 27;
constexpr int kChecksumOffset = 22;
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
    std::vector<std::uint8_t> body;

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

    // A whole page: its body holds what its lacing states.
    void page(const Page& page)
    {
        if (!(page.flags & kContinuedPacket))
            partial_.clear();
        std::size_t at = 0;
        for (const std::uint8_t size : page.lacing) {
            const std::uint8_t* segment = page.body.data() + at;
            partial_.insert(partial_.end(), segment, segment + size);
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

// Reads the pages one after another, as the demuxer and libvorbisfile do:
// a page counts when its checksum holds, and where something else stands (a
// damaged page, junk between two links) reading resumes at the next capture
// pattern, so that damage costs only the pages it touches.
class LinkReader {
public:
    LinkReader(AVIOContext& io, Codec codec) : io_(io), codec_(codec) {}

    std::vector<OggLink> read()
    {
        Page page;
        while (nextPage(page)) {
            if (!readPage(page))
                return {};
        }
        finishLink();
        return std::move(links_);
    }

private:
    // The next whole page whose checksum holds; false at the end of the file.
    bool nextPage(Page& page)
    {
        for (;;) {
            if (!findCapturePattern())
                return false;
            page.offset = avio_tell(&io_);
            if (readWholePage(page))
                return true;
            avio_seek(&io_, page.offset + 1, SEEK_SET);
        }
    }

    // Moves the reader to the next "OggS" at or after its position.
    bool findCapturePattern()
    {
        std::uint32_t last = 0;
        for (std::int64_t read = 0;; ++read) {
            const int byte = avio_r8(&io_);
            if (avio_feof(&io_))
                return false;
            last = last << 8 | static_cast<std::uint32_t>(byte);
            if (read >= 3 && last == MKBETAG('O', 'g', 'g', 'S'))
                return avio_seek(&io_, -4, SEEK_CUR) >= 0;
        }
    }

    bool readWholePage(Page& page)
    {
        std::array<std::uint8_t, kPageHeaderSize> header{};
        if (avio_read(&io_, header.data(), kPageHeaderSize) != kPageHeaderSize || header[4] != 0)
            return false;
        page.flags = header[5];
        page.granule = static_cast<std::int64_t>(AV_RL64(header.data() + 6));
        // Only -1 says no packet ends on the page; another negative position is damage.
        page.granule = page.granule < 0 ? kNoGranule : page.granule;
        page.serial = AV_RL32(header.data() + 14);
        page.lacing.resize(header[26]);
        if (avio_read(&io_, page.lacing.data(), header[26]) != header[26])
            return false;
        page.body.resize(static_cast<std::size_t>(page.bodySize()));
        if (avio_read(&io_, page.body.data(), static_cast<int>(page.body.size())) !=
            static_cast<int>(page.body.size())) {
            return false;
        }
        const std::uint32_t stated = AV_RB32(header.data() + kChecksumOffset);
        AV_WB32(header.data() + kChecksumOffset, 0);
        std::uint32_t crc = 0;
        // av_crc reads past an empty buffer that has no address (a page without segments).
        for (const std::span<const std::uint8_t> part :
             {std::span<const std::uint8_t>(header), {page.lacing}, {page.body}}) {
            if (!part.empty())
                crc = av_crc(av_crc_get_table(AV_CRC_32_IEEE), crc, part.data(), part.size());
        }
        return crc == stated;
    }

    // False when the file holds what this reading does not follow: two audio
    // streams side by side, or a link of another codec.
    bool readPage(const Page& page)
    {
        const bool opensStream = page.flags & kFirstPage;
        if (opensStream && !previousOpened_)
            audioInGroup_ = false;
        if (const Codec codec = opensStream ? CodecOfFirstPacket(page.body) : Codec::other; codec != Codec::other) {
            if (codec != codec_ || audioInGroup_)
                return false;
            startLink(page);
        }
        previousOpened_ = opensStream;
        if (page.serial != serial_ || links_.empty())
            return true;
        if (vorbisStart_ && !vorbisStart_->known())
            vorbisStart_->page(page);
        if (vorbisStart_ && vorbisStart_->failed()) {
            // The first link's headers are the stream's: without them the demuxer's reading stands.
            if (links_.size() == 1)
                return false;
            // A later link whose headers do not parse is left out, its
            // statements with it: it costs its own audio, no other link's.
            links_.back().headersDamaged = true;
            vorbisStart_.reset();
        }
        endOfLink(page);
        return true;
    }

    // The link's stated end: its last granule position, as long as the
    // positions run forward and no page follows the one that ends the stream.
    void endOfLink(const Page& page)
    {
        if (ended_ || (page.granule != kNoGranule && page.granule < lastGranule_))
            consistent_ = false;
        ended_ = ended_ || (page.flags & kLastPage);
        if (page.granule != kNoGranule)
            lastGranule_ = page.granule;
    }

    void startLink(const Page& page)
    {
        finishLink();
        audioInGroup_ = true;
        serial_ = page.serial;
        lastGranule_ = kNoGranule;
        ended_ = false;
        consistent_ = true;
        links_.push_back({.firstByte = page.offset, .startTrim = 0, .length = std::nullopt});
        if (codec_ == Codec::vorbis)
            vorbisStart_.emplace();
    }

    // A Vorbis link's length: from its first frame to its last granule
    // position; none where the positions contradict one another.
    void finishLink()
    {
        if (links_.empty() || !vorbisStart_ || !vorbisStart_->known())
            return;
        OggLink& link = links_.back();
        link.startTrim = vorbisStart_->trim();
        if (lastGranule_ != kNoGranule && consistent_)
            link.length = std::max<std::int64_t>(0, lastGranule_ - vorbisStart_->firstGranule());
    }

    AVIOContext& io_;
    Codec codec_;
    std::vector<OggLink> links_;
    std::optional<VorbisStart> vorbisStart_;
    std::uint32_t serial_ = 0;
    std::int64_t lastGranule_ = kNoGranule;
    bool ended_ = false;
    bool consistent_ = true;
    bool previousOpened_ = false;
    bool audioInGroup_ = false;
};

Codec CodecOf(AVCodecID codec)
{
    switch (codec) {
    case AV_CODEC_ID_VORBIS: return Codec::vorbis;
    case AV_CODEC_ID_OPUS: return Codec::opus;
    default: return Codec::other;
    }
}

}  // namespace

std::vector<OggLink> ReadOggLinks(AVIOContext& io, AVCodecID codecId)
{
    const Codec codec = CodecOf(codecId);
    if (codec == Codec::other || avio_seek(&io, 0, SEEK_SET) < 0)
        return {};
    return LinkReader(io, codec).read();
}

const OggLink* OggLinkWalk::opens(const AVPacket& packet)
{
    const OggLink* opened = nullptr;
    while (next_ < links_.size() && packet.pos >= links_[next_].firstByte)
        opened = &links_[next_++];
    return opened;
}

namespace {

// The links of an input whose reader the run opened (a plain file), read on
// that reader, which then goes back to where the demuxer left it.
std::vector<OggLink> LinksOf(AVFormatContext& context, const AVStream& stream)
{
    if (!IsOgg(context) || CodecOf(stream.codecpar->codec_id) == Codec::other ||
        !(context.flags & AVFMT_FLAG_CUSTOM_IO) || !context.pb) {
        return {};
    }
    const std::int64_t position = avio_tell(context.pb);
    std::vector<OggLink> links = ReadOggLinks(*context.pb, stream.codecpar->codec_id);
    if (avio_seek(context.pb, position, SEEK_SET) < 0)
        return {};
    return links;
}

// A Vorbis stream's end, until the first link states its own: the demuxer's
// duration, from the final granule.
std::optional<std::int64_t> VorbisLength(const AVStream& stream)
{
    const int rate = stream.codecpar->sample_rate;
    if (stream.codecpar->codec_id != AV_CODEC_ID_VORBIS || stream.duration == AV_NOPTS_VALUE || stream.duration <= 0 ||
        rate <= 0) {
        return std::nullopt;
    }
    const std::int64_t length = av_rescale_q(stream.duration, stream.time_base, AVRational{1, rate});
    return length < 0 ? std::nullopt : std::optional(length);
}

class OggChainPresentation final : public PlainPresentation {
public:
    OggChainPresentation(AVFormatContext& context, const AVStream& stream)
        : PlainPresentation(StatedDuration(context, stream), VorbisLength(stream)), links_(LinksOf(context, stream)),
          trimsVorbis_(stream.codecpar->codec_id == AV_CODEC_ID_VORBIS)
    {
    }

    // A Vorbis decoder leaves its trims to the run.
    void prepare(AVCodecContext& decoder) override
    {
        if (trimsVorbis_)
            decoder.flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    }

    // A packet that opens a link after the first resets the decoder, and the
    // link's length becomes the stated end. A packet of a link whose headers
    // are damaged is left out.
    bool packetRead(AVPacket& packet, AVCodecContext& decoder) override
    {
        if (const OggLink* link = links_.opens(packet)) {
            if (!links_.first())
                avcodec_flush_buffers(&decoder);
            trim_.stateStartSkip(link->startTrim);
            restateEnd(link->length);
        }
        return !links_.inDamagedLink();
    }

    // The start the decoder stated but left to the run; its end padding is not
    // trusted (see ogg_links.h), the stated length cuts the end instead.
    std::optional<PresentedPiece> next(const HeldMedia& held) override
    {
        if (!trimsVorbis_ || held.piecesGiven > 0)
            return PlainPresentation::next(held);
        if (held.decoderStartSkip > 0)
            trim_.stateStartSkip(held.decoderStartSkip);
        return trimmedPiece(held, trim_.keep(held.frames, false, 0).skipped);
    }

private:
    OggLinkWalk links_;
    StatedTrim trim_;
    bool trimsVorbis_;
};

}  // namespace

std::unique_ptr<Presentation> ChooseOggChain(AVFormatContext& context, const AVStream& stream)
{
    if (!IsOgg(context))
        return nullptr;
    return std::make_unique<OggChainPresentation>(context, stream);
}

}  // namespace mivra::ffmpeg
