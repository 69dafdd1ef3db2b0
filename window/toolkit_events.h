#pragma once
// The seam's other direction: what the desktop tells the core, each event one
// closure. The toolkit is given them before it builds the window and keeps
// them for its life; none of them keeps the core alive.

#include <functional>
#include <optional>
#include <string>

#include "bridge.h"
#include "menu.h"

namespace mivra {

// Why the page's web process ended.
enum class PageProcessEnd { Crashed, MemoryLimit, Terminated };

struct WebViewEvents {
    // A message posted on "native" by the top frame, with its document's address.
    std::function<void(const BridgeMessage& message, const std::string& senderUri)> message;
    // A navigation about to start, `byTheUser` when the user asked for it;
    // false stops it.
    std::function<bool(const std::string& uri, bool byTheUser)> navigationRequested;
    // A navigation that failed, with the address it was to load.
    std::function<void(const std::string& uri)> navigationFailed;
    // A load that finished without failing.
    std::function<void(const std::string& uri)> finishedLoading;
    // The page's process died, and why; the view shows nothing alive.
    std::function<void(PageProcessEnd why)> processEnded;
};

// The path to write a download to, or nothing to drop it before a byte is written.
using DownloadDestination = std::function<void(std::optional<std::string>)>;

struct DownloadEvents {
    // Asked once per download; the answer must be called exactly once.
    std::function<void(const std::string& suggestedName, DownloadDestination answer)> decide;
    // A download complete, or failed, at the destination it was given.
    std::function<void(const std::string& destination)> finished;
    std::function<void(const std::string& destination)> failed;
};

// The page's own script dialogs.
enum class PageDialog { Alert, Confirm, Prompt, LeavePage };

struct PageDialogEvents {
    // Each answer must be called exactly once.
    std::function<void(std::function<void(std::optional<std::string>)> answer)> fileInput;
    std::function<void(PageDialog dialog, const std::string& message, std::function<void(bool confirmed)> answered)>
        scriptDialog;
};

struct ToolkitEvents {
    WebViewEvents webView;
    DownloadEvents downloads;
    PageDialogEvents pageDialogs;
    std::function<void(MenuAction action)> menu;
    // The path of an accepted drop; false when nothing took it.
    std::function<bool(const std::string& path)> dropped;
};

}  // namespace mivra
