#include "drop.h"

#include <utility>

#include "note.h"
#include "page_script.h"
#include "project_names.h"

namespace mivra {

std::optional<std::string> DroppedPath(const Drag& drag)
{
    if (drag.failure) {
        Note("depot ignore : " + *drag.failure);
        return std::nullopt;
    }
    if (drag.filePaths.empty() || drag.filePaths.front().empty())
        return std::nullopt;
    const std::string& first = drag.filePaths.front();
    if (!HasProjectSuffix(first))
        return std::nullopt;
    return first;
}

DropWebView::DropWebView(ScriptSender sendScript, std::weak_ptr<DropTarget> target)
    : sendScript_(std::move(sendScript)), dropTarget_(std::move(target))
{
}

bool DropWebView::draggingEntered(const Drag& drag)
{
    if (!DroppedPath(drag))
        return false;
    signaler(true);
    return true;
}

bool DropWebView::draggingUpdated(const Drag& drag)
{
    return DroppedPath(drag).has_value();
}

void DropWebView::draggingExited()
{
    signaler(false);
}

void DropWebView::draggingEnded()
{
    signaler(false);
}

bool DropWebView::prepareForDragOperation(const Drag& drag)
{
    return DroppedPath(drag).has_value();
}

bool DropWebView::performDragOperation(const Drag& drag)
{
    signaler(false);
    const std::optional<std::string> path = DroppedPath(drag);
    if (!path)
        return false;
    const std::shared_ptr<DropTarget> target = dropTarget_.lock();
    if (!target)
        return false;
    target->openPath(*path);
    return true;
}

void DropWebView::signaler(bool hovering)
{
    sendScript_(SurvolScript(hovering));
}

}  // namespace mivra
