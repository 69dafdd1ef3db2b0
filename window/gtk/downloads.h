#pragma once
// Downloads the page starts: WebKit asks where each one goes; the answer
// comes from the Controller, and WebKit never picks a place on its own.

#include <webkit2/webkit2.h>

#include "toolkit_events.h"

namespace mivra {

// Follows the downloads of the web view's context for the view's lifetime.
void FollowDownloads(WebKitWebView* web, DownloadEvents events);

}  // namespace mivra
