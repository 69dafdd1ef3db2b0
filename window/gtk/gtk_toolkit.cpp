#include "gtk_toolkit.h"

#include <utility>

#include "alert.h"
#include "app_menu.h"
#include "downloads.h"
#include "drop_adapter.h"
#include "failure_view.h"
#include "glib_ownership.h"
#include "handle_gesture.h"
#include "kept_size.h"
#include "main_window.h"
#include "open_panel.h"
#include "page_context_menu.h"
#include "page_dialogs.h"
#include "pane_focus.h"
#include "placement.h"
#include "save_panel.h"
#include "web_view.h"
#include "window_state.h"

namespace mivra {
namespace {

using Block = std::function<void()>;

gboolean RunBlock(gpointer data)
{
    (*static_cast<Block*>(data))();
    return G_SOURCE_REMOVE;
}

struct BackgroundJob {
    Block work;
    Block done;
};

void RunJobWork(GTask* task, gpointer, gpointer data, GCancellable*)
{
    static_cast<BackgroundJob*>(data)->work();
    g_task_return_boolean(task, TRUE);
}

// Called on the main context the job was started from.
void RunJobDone(GObject*, GAsyncResult* result, gpointer)
{
    static_cast<BackgroundJob*>(g_task_get_task_data(G_TASK(result)))->done();
}

const char* EditingCommand(MenuAction editing)
{
    switch (editing) {
    case MenuAction::Undo: return WEBKIT_EDITING_COMMAND_UNDO;
    case MenuAction::Cut: return WEBKIT_EDITING_COMMAND_CUT;
    case MenuAction::Copy: return WEBKIT_EDITING_COMMAND_COPY;
    case MenuAction::Paste: return WEBKIT_EDITING_COMMAND_PASTE;
    default: return WEBKIT_EDITING_COMMAND_SELECT_ALL;
    }
}

// A widget may go while one of its own signals runs (a dead view's, a
// button's click): it leaves the window at once, and its last reference
// goes once that is over.
void RemoveWhenIdle(GtkContainer* container, GtkWidget* widget)
{
    g_object_ref(widget);
    gtk_container_remove(container, widget);
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE, [](gpointer) { return gboolean(G_SOURCE_REMOVE); }, widget, g_object_unref);
}

}  // namespace

GtkToolkit::GtkToolkit(GtkApplication* application) : application_(application) {}

GtkToolkit::~GtkToolkit()
{
    if (!window_)
        return;
    gtk_widget_destroy(GTK_WIDGET(window_.get()));
}

void GtkToolkit::setEvents(ToolkitEvents events)
{
    events_ = std::move(events);
}

void GtkToolkit::buildWindow(const WindowDescription& description)
{
    background_ = description.background;
    frameName_ = description.frameName;
    web_ = newAttachedWebView(true);
    const std::optional<Size> workArea = FirstMonitorWorkArea(gdk_display_get_default());
    const Size minimum = FitInto(Size{description.minimumWidth, description.minimumHeight}, workArea);
    const MainWindow built = BuildMainWindow(application_, description, web_, minimum);
    window_.reset(GTK_WINDOW(g_object_ref(built.window)));
    working_ = built.working;
    pageKeys_ = built.content;
    pages_ = built.pages;
    restoreKeptSize(description, workArea);
    // A missing file or one that is no image leaves the default icon.
    if (!description.iconPath.empty())
        gtk_window_set_icon_from_file(built.window, description.iconPath.c_str(), nullptr);
    CentreOnFirstMonitor(built.window);
    AttachHandleGesture(built.handleArea);
    AddMenuKey(built.handleArea);
    gtk_window_present(built.window);
}

WebKitWebView* GtkToolkit::newAttachedWebView(bool accelerated)
{
    WebKitWebView* web = NewWebView(background_, events_.webView, accelerated);
    FollowDownloads(web, events_.downloads);
    // The window and its views go before the toolkit does.
    AttachDropTarget(
        web, [this](const std::string& script) { evaluateScript(script); }, events_.dropped);
    AttachPageDialogs(web, events_.pageDialogs);
    LimitPageContextMenu(web);
    FollowPageFocus(web);
    return web;
}

void GtkToolkit::showOnTop(GtkWidget* page)
{
    gtk_widget_show(page);
    gtk_container_add(GTK_CONTAINER(pages_), page);
    gtk_stack_set_visible_child(pages_, page);
}

void GtkToolkit::restoreKeptSize(const WindowDescription& description, const std::optional<Size>& workArea)
{
    const Size opening{description.contentWidth, description.contentHeight};
    RestoreAndKeepSize(window_.get(), description.frameName, opening, workArea);
}

void GtkToolkit::installMenu(const std::vector<MenuItem>& items)
{
    InstallMenu(application_, pageKeys_, items, events_.menu);
}

void GtkToolkit::activate()
{
    gtk_window_present(window_.get());
}

void GtkToolkit::loadUrl(const std::string& url)
{
    // WebKit would load an unparsable address as a page of its own.
    if (g_uri_is_valid(url.c_str(), G_URI_FLAGS_NONE, nullptr))
        webkit_web_view_load_uri(web_, url.c_str());
}

void GtkToolkit::reload()
{
    webkit_web_view_reload(web_);
}

// The view replaced, and the failure shown over it, go.
void GtkToolkit::replaceWebView(bool accelerated)
{
    const double zoom = webkit_web_view_get_zoom_level(web_);
    SilenceWebView(web_);
    web_ = newAttachedWebView(accelerated);
    webkit_web_view_set_zoom_level(web_, zoom);
    g_autoptr(GList) replaced = gtk_container_get_children(GTK_CONTAINER(pages_));
    showOnTop(GTK_WIDGET(web_));
    for (GList* page = replaced; page; page = page->next)
        RemoveWhenIdle(GTK_CONTAINER(pages_), GTK_WIDGET(page->data));
    gtk_widget_grab_focus(GTK_WIDGET(web_));
}

// The dead view stays below until a fresh one replaces both.
void GtkToolkit::showFailure(const FailureView& failure)
{
    const FailureWidgets shown = NewFailureView(failure, [this] { events_.menu(MenuAction::Refresh); });
    showOnTop(shown.view);
    gtk_widget_grab_focus(shown.retry);
}

void GtkToolkit::setZoom(double zoom)
{
    webkit_web_view_set_zoom_level(web_, zoom);
    KeepZoom(frameName_, window_.get(), zoom);
}

std::string GtkToolkit::keptZoom()
{
    return LoadKeptZoom(frameName_, window_.get());
}

void GtkToolkit::evaluateScript(const std::string& script)
{
    // WebKit takes scripts as UTF-8 text.
    g_autofree char* text = g_utf8_make_valid(script.data(), static_cast<gssize>(script.size()));
    webkit_web_view_evaluate_javascript(web_, text, -1, nullptr, nullptr, nullptr, nullptr, nullptr);
}

void GtkToolkit::showOpenPanel(const OpenPanelDescription& panel, PanelCompletion done)
{
    ShowOpenPanel(window_.get(), panel, std::move(done));
}

void GtkToolkit::showAlert(const std::string& title, const std::string& message, std::function<void()> closed)
{
    ShowAlert(window_.get(), title, message, std::move(closed));
}

void GtkToolkit::showSavePanel(const SavePanelDescription& panel, PanelCompletion done)
{
    ShowSavePanel(window_.get(), panel, std::move(done));
}

void GtkToolkit::askToConfirm(const std::string& message, const std::string& confirm,
                              std::function<void(bool)> answered)
{
    ShowQuestion(window_.get(), message, confirm, std::move(answered));
}

void GtkToolkit::openInBrowser(const std::string& url)
{
    g_app_info_launch_default_for_uri(url.c_str(), nullptr, nullptr);
}

// Linux has no permission pane for reading the whole disk: nothing to open.
void GtkToolkit::openPrivacySettings() {}

void GtkToolkit::runLater(std::chrono::milliseconds delay, std::function<void()> block)
{
    g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(delay.count()), RunBlock,
                       HandToGLib(std::make_unique<Block>(std::move(block))), FreeFromGLib<Block>);
}

void GtkToolkit::runInBackground(std::function<void()> work, std::function<void()> done)
{
    Owned<GTask> task(g_task_new(nullptr, nullptr, RunJobDone, nullptr));
    g_task_set_task_data(task.get(),
                         HandToGLib(std::make_unique<BackgroundJob>(BackgroundJob{std::move(work), std::move(done)})),
                         FreeFromGLib<BackgroundJob>);
    g_task_run_in_thread(task.get(), RunJobWork);
}

void GtkToolkit::showWorking(bool working)
{
    gtk_widget_set_visible(GTK_WIDGET(working_), working);
    if (working)
        gtk_spinner_start(working_);
    else
        gtk_spinner_stop(working_);
}

// A plain install runs without a sandbox: every readable path is readable
// already, so access needs neither starting nor stopping.
void GtkToolkit::startAccessing(const std::string&) {}
void GtkToolkit::stopAccessing(const std::string&) {}

void GtkToolkit::minimise()
{
    gtk_window_iconify(window_.get());
}

void GtkToolkit::toggleFullScreen()
{
    if (HasState(window_.get(), GDK_WINDOW_STATE_FULLSCREEN))
        gtk_window_unfullscreen(window_.get());
    else
        gtk_window_fullscreen(window_.get());
}

void GtkToolkit::quit()
{
    g_application_quit(G_APPLICATION(application_));
}

void GtkToolkit::editPage(MenuAction editing)
{
    webkit_web_view_execute_editing_command(web_, EditingCommand(editing));
}

}  // namespace mivra
