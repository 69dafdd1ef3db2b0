#include "presentation_choice.h"

#include "gapless_tag.h"
#include "ogg_links.h"

namespace mivra::ffmpeg {

HeaderStatements ReadHeaderStatements(AVIOContext& io, AVDictionary*& options)
{
    HeaderStatements statements{.edits = ReadMovEditList(io)};
    if (LeftToRun(statements.edits))
        av_dict_set(&options, "ignore_editlist", "1", 0);
    return statements;
}

std::unique_ptr<Presentation> ChoosePresentation(const HeaderStatements& statements, AVFormatContext& context,
                                                 const AVStream& stream)
{
    if (auto edited = ChooseMovEditList(statements.edits, context, stream))
        return edited;
    if (auto chained = ChooseOggChain(context, stream))
        return chained;
    if (auto tagged = ChooseGaplessTag(context, stream))
        return tagged;
    return std::make_unique<PlainPresentation>(StatedDuration(context, stream), StatedLength(context, stream));
}

}  // namespace mivra::ffmpeg
