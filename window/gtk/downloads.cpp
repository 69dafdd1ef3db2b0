#include "downloads.h"

#include <memory>

#include "glib_ownership.h"

namespace mivra {
namespace {

constexpr const char* kEventsKey = "mivra-downloads";
constexpr const char* kFailedKey = "mivra-download-failed";

DownloadEvents& EventsOf(WebKitWebView* web)
{
    return *static_cast<DownloadEvents*>(g_object_get_data(G_OBJECT(web), kEventsKey));
}

void Answer(const std::shared_ptr<WebKitDownload>& download, const std::optional<std::string>& path)
{
    if (!path) {
        webkit_download_cancel(download.get());
        return;
    }
    // The destination is a temporary file made for this download.
    webkit_download_set_allow_overwrite(download.get(), TRUE);
    webkit_download_set_destination(download.get(), path->c_str());
}

// Since WebKitGTK 2.40 the destination may be set later: the download waits.
gboolean OnDecideDestination(WebKitDownload* download, char* suggested, gpointer web)
{
    std::shared_ptr<WebKitDownload> held(WEBKIT_DOWNLOAD(g_object_ref(download)), g_object_unref);
    EventsOf(WEBKIT_WEB_VIEW(web)).decide(suggested ? suggested : "", [held](const std::optional<std::string>& path) {
        Answer(held, path);
    });
    return TRUE;
}

void OnFailed(WebKitDownload* download, GError*, gpointer web)
{
    g_object_set_data(G_OBJECT(download), kFailedKey, GINT_TO_POINTER(1));
    if (const char* destination = webkit_download_get_destination(download))
        EventsOf(WEBKIT_WEB_VIEW(web)).failed(destination);
}

// WebKit ends a failed download too, after "failed".
void OnFinished(WebKitDownload* download, gpointer web)
{
    const char* destination = webkit_download_get_destination(download);
    if (!g_object_get_data(G_OBJECT(download), kFailedKey) && destination)
        EventsOf(WEBKIT_WEB_VIEW(web)).finished(destination);
}

// The context is shared by every view of the process: only this view's downloads are ours.
void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer web)
{
    WebKitWebView* from = webkit_download_get_web_view(download);
    if (from && from != web)
        return;
    g_signal_connect_object(download, "decide-destination", G_CALLBACK(OnDecideDestination), web, GConnectFlags{});
    g_signal_connect_object(download, "failed", G_CALLBACK(OnFailed), web, GConnectFlags{});
    g_signal_connect_object(download, "finished", G_CALLBACK(OnFinished), web, GConnectFlags{});
}

}  // namespace

void FollowDownloads(WebKitWebView* web, DownloadEvents events)
{
    g_object_set_data_full(G_OBJECT(web), kEventsKey, HandToGLib(std::make_unique<DownloadEvents>(std::move(events))),
                           FreeFromGLib<DownloadEvents>);
    g_signal_connect_object(webkit_web_view_get_context(web), "download-started", G_CALLBACK(OnDownloadStarted), web,
                            GConnectFlags{});
}

}  // namespace mivra
