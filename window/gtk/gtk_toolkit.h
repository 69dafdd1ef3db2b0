#pragma once
// The window seam on GTK 3 and WebKit2GTK 4.1: turns the Controller's requests
// into toolkit calls and the toolkit's signals into the events it is given. It
// decides nothing itself.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "glib_ownership.h"
#include "toolkit.h"
#include "toolkit_events.h"
#include "window_size.h"

namespace mivra {

class GtkToolkit final : public Toolkit {
public:
    explicit GtkToolkit(GtkApplication* application);
    GtkToolkit(const GtkToolkit&) = delete;
    GtkToolkit& operator=(const GtkToolkit&) = delete;
    // Closes the window, which keeps a size still waiting for the next run.
    ~GtkToolkit() override;

    // Given before the window is built.
    void setEvents(ToolkitEvents events);

    void buildWindow(const WindowDescription& description) override;
    void installMenu(const std::vector<MenuItem>& items) override;
    void activate() override;

    void loadUrl(const std::string& url) override;
    void reload() override;
    void replaceWebView(bool accelerated) override;
    void showFailure(const FailureView& failure) override;
    void setZoom(double zoom) override;
    std::string keptZoom() override;
    void evaluateScript(const std::string& script) override;

    void showOpenPanel(const OpenPanelDescription& panel, PanelCompletion done) override;
    void showAlert(const std::string& title, const std::string& message, std::function<void()> closed) override;
    void showSavePanel(const SavePanelDescription& panel, PanelCompletion done) override;
    void askToConfirm(const std::string& message, const std::string& confirm,
                      std::function<void(bool)> answered) override;

    void openInBrowser(const std::string& url) override;
    void openPrivacySettings() override;

    void runLater(std::chrono::milliseconds delay, std::function<void()> block) override;
    void runInBackground(std::function<void()> work, std::function<void()> done) override;

    void showWorking(bool working) override;
    void startAccessing(const std::string& path) override;
    void stopAccessing(const std::string& path) override;

    void minimise() override;
    void toggleFullScreen() override;
    void quit() override;
    void editPage(MenuAction editing) override;

private:
    void restoreKeptSize(const WindowDescription& description, const std::optional<Size>& workArea);
    // A web view with what follows each one: downloads, drops, dialogs, menu, focus.
    WebKitWebView* newAttachedWebView(bool accelerated);
    // Shows the page over those the window holds.
    void showOnTop(GtkWidget* page);

    GtkApplication* application_;  // outlives the toolkit
    ToolkitEvents events_;
    Owned<GtkWindow> window_;
    WebKitWebView* web_ = nullptr;  // belongs to the window
    GtkStack* pages_ = nullptr;     // belongs to the window
    Colour background_{};
    std::string frameName_;
    GtkSpinner* working_ = nullptr;  // belongs to the window
    GtkWidget* pageKeys_ = nullptr;  // belongs to the window
};

}  // namespace mivra
