#include "drop.h"

#include <utility>

#include "note.h"
#include "page_script.h"
#include "project_names.h"

namespace mivra {

DropVerdict DroppedPath(const Drag& drag)
{
    if (drag.failure)
        return {std::nullopt, drag.failure};
    if (drag.filePaths.empty() || !HasProjectSuffix(drag.filePaths.front()))
        return {};
    return {drag.filePaths.front(), std::nullopt};
}

DropWebView::DropWebView(ScriptSender sendScript, DropReceiver receive)
    : sendScript_(std::move(sendScript)), receive_(std::move(receive))
{
}

bool DropWebView::dragEntered(const Drag& drag)
{
    DropVerdict verdict = DroppedPath(drag);
    if (verdict.reason)
        Note("depot ignore : " + *verdict.reason);
    accepted_ = std::move(verdict.path);
    if (accepted_)
        signaler(true);
    return accepted_.has_value();
}

// A refused drag leaving ends the hover too: the page takes "false" without a "true" before it.
void DropWebView::dragLeft()
{
    accepted_.reset();
    signaler(false);
}

// The hover ends before the page hears of the path.
bool DropWebView::dropped()
{
    const std::optional<std::string> path = std::exchange(accepted_, std::nullopt);
    signaler(false);
    return path && receive_(*path);
}

void DropWebView::signaler(bool hovering)
{
    sendScript_(SurvolScript(hovering));
}

}  // namespace mivra
