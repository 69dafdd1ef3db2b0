#include "web_view.h"

#include <memory>
#include <string>

#include "bridge_channel.h"
#include "glib_ownership.h"

namespace mivra {
namespace {

constexpr const char* kChannel = "native";
constexpr Colour kPageCanvas{1, 1, 1, 1};

struct WebViewState {
    WebViewEvents events;
    Colour background;
    bool currentLoadFailed = false;
    std::string startedUri;
};

std::string PageUri(WebKitWebView* web)
{
    const char* uri = webkit_web_view_get_uri(web);
    return uri ? uri : "";
}

void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data)
{
    auto* web = static_cast<WebKitWebView*>(data);
    auto* state = static_cast<WebViewState*>(g_object_get_data(G_OBJECT(web), "mivra-web-view"));
    const ChannelMessage posted = ReadChannelMessage(webkit_javascript_result_get_js_value(result));
    state->events.message(posted.message, posted.sender);
}

PageProcessEnd EndOf(WebKitWebProcessTerminationReason reason)
{
    switch (reason) {
    case WEBKIT_WEB_PROCESS_CRASHED: return PageProcessEnd::Crashed;
    case WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT: return PageProcessEnd::MemoryLimit;
    case WEBKIT_WEB_PROCESS_TERMINATED_BY_API: break;
    }
    return PageProcessEnd::Terminated;
}

void OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer data)
{
    static_cast<WebViewState*>(data)->events.processEnded(EndOf(reason));
}

// Handled here: WebKit's own error page would show, and its load would finish
// under the failed address as if the page had loaded.
// A navigation that became a download (a link to an attachment) ends here
// too, leaving the page where it was: that is no failure.
gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, char* failingUri, GError* error, gpointer data)
{
    auto* state = static_cast<WebViewState*>(data);
    state->currentLoadFailed = true;
    if (!g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
        state->events.navigationFailed(failingUri ? failingUri : "");
    return TRUE;
}

// Navigations of the page and of the window alike; responses and new windows
// keep WebKit's own decisions.
gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer data)
{
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION)
        return FALSE;
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (static_cast<WebViewState*>(data)->events.navigationRequested(uri ? uri : "",
                                                                     webkit_navigation_action_is_user_gesture(action)))
        return FALSE;
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

void SetBackground(WebKitWebView* web, const Colour& background)
{
    const GdkRGBA colour{background.red, background.green, background.blue, background.alpha};
    webkit_web_view_set_background_color(web, &colour);
}

// The window's colour stands behind the view only while no page is there
// (WebKit shows about:blank after a load that failed with nothing shown): a
// page that paints no background of its own (an error page of the server, a
// plain document) gets the white every browser gives it, not dark text on a
// dark canvas.
void OnLoadChanged(WebKitWebView* web, WebKitLoadEvent event, gpointer data)
{
    auto* state = static_cast<WebViewState*>(data);
    if (event == WEBKIT_LOAD_STARTED) {
        state->currentLoadFailed = false;
        state->startedUri = PageUri(web);
    }
    if (event == WEBKIT_LOAD_COMMITTED)
        SetBackground(web, PageUri(web) == "about:blank" ? state->background : kPageCanvas);
    if (event != WEBKIT_LOAD_FINISHED || state->currentLoadFailed)
        return;
    // WebKit 2.50 answers a load on a port it never uses (9, 25, 6000, ...)
    // with about:blank and no failure: the window would stay blank for good.
    if (PageUri(web) == "about:blank" && state->startedUri != "about:blank")
        state->events.navigationFailed(state->startedUri);
    else
        state->events.finishedLoading(PageUri(web));
}

}  // namespace

WebKitWebView* NewWebView(const Colour& background, WebViewEvents events, bool accelerated)
{
    g_autoptr(WebKitUserContentManager) manager = webkit_user_content_manager_new();
    auto* web = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", manager, nullptr));
    auto state = std::make_unique<WebViewState>(WebViewState{std::move(events), background, false, ""});
    WebViewState* signals = state.get();
    g_object_set_data_full(G_OBJECT(web), "mivra-web-view", HandToGLib(std::move(state)), FreeFromGLib<WebViewState>);

    // The handler must be connected before the channel is registered.
    g_signal_connect_object(manager, "script-message-received::native", G_CALLBACK(OnScriptMessage), web,
                            GConnectFlags{});
    InstallChannel(manager, kChannel);
    g_signal_connect(web, "load-failed", G_CALLBACK(OnLoadFailed), signals);
    g_signal_connect(web, "decide-policy", G_CALLBACK(OnDecidePolicy), signals);
    g_signal_connect(web, "load-changed", G_CALLBACK(OnLoadChanged), signals);
    g_signal_connect(web, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), signals);
    SetBackground(web, background);
    if (!accelerated)
        webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(web),
                                                         WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    return web;
}

void SilenceWebView(WebKitWebView* web)
{
    g_signal_handlers_disconnect_by_data(web, g_object_get_data(G_OBJECT(web), "mivra-web-view"));
}

}  // namespace mivra
