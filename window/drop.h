#pragma once
// File drops on the web view: which drags are accepted, and what the page
// hears while one hovers and when it is dropped.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mivra {

// What a drag carries, as the toolkit read it.
struct Drag {
    std::vector<std::string> filePaths;  // local file paths in the drag's order
    std::optional<std::string> failure;  // reading the drag failed: the reason
};

// A drag's verdict: the path a drop hands on, or none, with the reason when
// the drag could not be read (a drag that only holds no project has none).
struct DropVerdict {
    std::optional<std::string> path;
    std::optional<std::string> reason;
};

// The first file's path when its lower-cased name ends in an accepted suffix.
DropVerdict DroppedPath(const Drag& drag);

// Sends a script to the page.
using ScriptSender = std::function<void(const std::string& script)>;
// Takes the path of an accepted drop; false when nothing took it.
using DropReceiver = std::function<bool(const std::string& path)>;

// One drag at a time: it enters, then leaves or is dropped. The page hears
// of the hover through `sendScript`, once per change; `receive` gets the path
// of an accepted drop.
class DropWebView {
public:
    DropWebView(ScriptSender sendScript, DropReceiver receive);

    // True when the drag is accepted (a copy). A drag that cannot be read is
    // logged here, once.
    bool dragEntered(const Drag& drag);
    void dragLeft();
    // True when the path of the drag that entered was taken.
    bool dropped();

private:
    void signaler(bool hovering);

    ScriptSender sendScript_;
    DropReceiver receive_;
    std::optional<std::string> accepted_;  // the path of the accepted drag over the view
};

}  // namespace mivra
