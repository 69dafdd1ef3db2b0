// The Ogg link reader on any file, as Vorbis and as Opus.
#include "../../extract/ffmpeg/ogg_links.h"
#include "../../extract/ffmpeg/plain_file.h"
#include "input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static InputFile file;
    const mivra::ffmpeg::Io io = mivra::ffmpeg::OpenPlainFile(file.write(data, size));
    for (const AVCodecID codec : {AV_CODEC_ID_VORBIS, AV_CODEC_ID_OPUS}) {
        mivra::ffmpeg::OggLinkWalk walk(io ? mivra::ffmpeg::ReadOggLinks(*io, codec)
                                           : std::vector<mivra::ffmpeg::OggLink>{});
        AVPacket packet{};
        for (packet.pos = 0; packet.pos < static_cast<std::int64_t>(size); packet.pos += 4096)
            walk.opens(packet);
    }
    return 0;
}
