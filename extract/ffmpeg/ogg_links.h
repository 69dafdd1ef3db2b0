#pragma once

// The links of an Ogg Vorbis or Opus file, read from its pages: streams of
// one codec joined end to end (a radio dump, files joined with cat), each
// with headers and granule positions of its own, and what those positions
// state about each link's start and length.
//
// FFmpeg 5.1's Ogg demuxer plays a chain as one stream: the decoder's state
// runs on from one link into the next (a Vorbis link then starts with 128
// frames of the last one's window, an Opus link's first 100 ms come out too
// quiet), and a Vorbis stream's start is taken from its first granule as if
// the first packet gave audio (it gives none): a stream cut by a splitter,
// whose first granule states frames to drop, keeps them, and one captured
// live, whose granules start elsewhere than 0, ends 128 frames late. The
// rows "chained" and "vcut" of test_corpus.py's timeline table
// guard this; it can go once the FFmpeg the platform ships passes them
// without it.
//
// The end of an Ogg Vorbis stream: FFmpeg 5.1 cuts the end padding of the
// last packet as if the stream's first packet had given audio, which it never
// does: one short block too much goes. Such a stream's decoder is set to
// leave its trims to the run; the start is then cut from what it
// states on its frames and the end from the final granule. Guarded by the
// shipped .oga files of test_corpus.py's test_shipped_files; it can go with
// the rest.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "handles.h"
#include "presentation.h"

namespace mivra::ffmpeg {

struct OggLink {
    // The file offset of the link's first page: packets read from there on
    // belong to it.
    std::int64_t firstByte = 0;
    // Vorbis only: frames the link decodes to before the sample its first
    // granule position places at 0 (a stream cut by a splitter).
    std::int64_t startTrim = 0;
    // Vorbis only: the frames the link's granule positions state, counted
    // from the first frame kept.
    std::optional<std::int64_t> length;
    // Vorbis only, never the first link: its headers do not parse.
    bool headersDamaged = false;
};

// The links of the Ogg file io reads, from its start, its audio in the codec
// given, in file order; empty when that codec is not Vorbis or Opus, the file
// holds more than one audio stream, or its pages cannot be read (the
// demuxer's own reading then stands). The reader is left anywhere.
std::vector<OggLink> ReadOggLinks(AVIOContext& io, AVCodecID codec);

// Follows the packets of a run through the links: says which packet opens the
// next link.
class OggLinkWalk {
public:
    explicit OggLinkWalk(std::vector<OggLink> links) : links_(std::move(links)) {}

    // The link the packet opens, if it is the first one read from there.
    const OggLink* opens(const AVPacket& packet);

    // Whether the link last opened is the file's first.
    bool first() const { return next_ == 1; }
    bool inDamagedLink() const { return next_ > 0 && links_[next_ - 1].headersDamaged; }

private:
    std::vector<OggLink> links_;
    std::size_t next_ = 0;
};

// The track as the links of an Ogg input present it: the decoder starts
// afresh at each link, whose start trim and stated length then hold; nothing
// where the input is no Ogg file.
std::unique_ptr<Presentation> ChooseOggChain(AVFormatContext& context, const AVStream& stream);

}  // namespace mivra::ffmpeg
