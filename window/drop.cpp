#include "drop.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "note.h"
#include "page_script.h"

namespace mivra {

namespace {

constexpr std::array<std::string_view, 4> kAcceptedSuffixes = {".fcpxmld", ".fcpxml", ".xml", ".aaf"};

// The suffixes are ASCII, so comparing the tail without regard to ASCII case
// is the same test as on a lower-cased copy of the whole path.
bool EndsWithIgnoringCase(std::string_view text, std::string_view lowerSuffix)
{
    if (text.size() < lowerSuffix.size())
        return false;
    const std::string_view tail = text.substr(text.size() - lowerSuffix.size());
    return std::equal(tail.begin(), tail.end(), lowerSuffix.begin(), [](char c, char lower) {
        return (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == lower;
    });
}

}  // namespace

std::optional<std::string> DroppedPath(const Drag& drag)
{
    if (drag.failure) {
        Note("depot ignore : " + *drag.failure);
        return std::nullopt;
    }
    if (drag.filePaths.empty() || drag.filePaths.front().empty())
        return std::nullopt;
    const std::string& first = drag.filePaths.front();
    for (std::string_view suffix : kAcceptedSuffixes) {
        if (EndsWithIgnoringCase(first, suffix))
            return first;
    }
    return std::nullopt;
}

DropWebView::DropWebView(std::function<void(const std::string&)> evaluate, std::weak_ptr<DropTarget> target)
    : evaluate_(std::move(evaluate)), dropTarget_(std::move(target))
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
    evaluate_(SurvolScript(hovering));
}

}  // namespace mivra
