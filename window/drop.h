#pragma once
// File drops on the web view: which drags are accepted, and the hover/drop sequence.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mivra {

class DropTarget {
public:
    virtual ~DropTarget() = default;
    virtual void openPath(const std::string& path) = 0;
};

// What a drag carries, as the toolkit read it.
struct Drag {
    std::vector<std::string> filePaths;  // local file paths in the drag's order
    std::optional<std::string> failure;  // reading the drag failed: the reason
};

// The first file's path when its lower-cased name ends in an accepted suffix.
std::optional<std::string> DroppedPath(const Drag& drag);

// Sends a script to the page.
using ScriptSender = std::function<void(const std::string& script)>;

// The drag callbacks of the web view. Holds its target weakly; tells the page
// of the hover through `sendScript`.
class DropWebView {
public:
    DropWebView(ScriptSender sendScript, std::weak_ptr<DropTarget> target);

    bool draggingEntered(const Drag& drag);  // true: the drag is accepted (copy)
    bool draggingUpdated(const Drag& drag);
    void draggingExited();
    void draggingEnded();
    bool prepareForDragOperation(const Drag& drag);
    bool performDragOperation(const Drag& drag);

private:
    void signaler(bool hovering);

    ScriptSender sendScript_;
    std::weak_ptr<DropTarget> dropTarget_;
};

}  // namespace mivra
