#pragma once
// Downloads the page starts: WebKit asks where each one goes; the answer
// comes from the Controller, and WebKit never picks a place on its own.

#include <functional>
#include <optional>
#include <string>

#include <webkit2/webkit2.h>

namespace mivra {

struct DownloadEvents {
    // Asked once per download; the answer is the path to write, or nothing
    // to drop the download before a byte is written.
    std::function<void(const std::string& suggestedName, std::function<void(std::optional<std::string>)> answer)>
        decide;
    // A download complete, or failed, at the destination it was given.
    std::function<void(const std::string& destination)> finished;
    std::function<void(const std::string& destination)> failed;
};

// Follows the downloads of the web view's context for the view's lifetime.
void FollowDownloads(WebKitWebView* web, DownloadEvents events);

}  // namespace mivra
