#pragma once
// The seam between the Controller and the desktop: everything the Controller
// asks of the window system, the web view and the session (what the desktop
// tells the core is in toolkit_events.h). The GTK 3 + WebKit2GTK 4.1
// implementation lives in gtk/; tests use a fake.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "colour.h"
#include "menu.h"

namespace mivra {

// The one window, built in one go: the web view fills the content, the handle
// strip lies over the top of it, leaving the top-right corner to the page.
struct WindowDescription {
    std::string title;
    int contentWidth;
    int contentHeight;
    int minimumWidth;
    int minimumHeight;
    Colour background;      // window and behind the page
    int handleHeight;       // the strip's height along the top edge
    int handleRightGap;     // the strip stops this far from the right edge
    std::string frameName;  // the size is kept between runs under this name
    std::string iconPath;   // empty, missing or not an image: default icon
};

struct OpenPanelDescription {
    bool canChooseFiles = false;
    bool canChooseDirectories = false;
    bool packagesAreItems = true;  // a ".fcpxmld" folder is chosen whole
    bool canCreateDirectories = false;
    std::optional<std::string> startFolder;  // absent: where the desktop puts it
    std::optional<std::string> preselectedName;
    std::string title;
    std::string message;
    std::string prompt;  // the confirming button
};

// What activating an item (Return, a double click, the confirming button) does
// in a panel: a panel that chooses files enters a plain folder, as every
// chooser does, and takes a file or a package whole; a folder panel takes it.
enum class Activation { Choose, Enter };
Activation ActivationOf(const OpenPanelDescription& panel, bool isFolder, bool isPackage);

// A save panel: the name it offers is selected, ready to be typed over.
struct SavePanelDescription {
    std::string title;
    std::string startFolder;
    std::string name;
    std::string prompt;  // the confirming button
};

// The window's own failure, in the desktop's widgets in place of the web view:
// it shows where the web engine cannot start.
struct FailureView {
    std::string title;
    std::string explanation;
    std::string retry;  // the focused button, which does what "Actualiser" does
    std::string hint;
};

// Receives the chosen path, or nothing on cancel.
using PanelCompletion = std::function<void(std::optional<std::string>)>;

class Toolkit {
public:
    virtual ~Toolkit() = default;

    virtual void buildWindow(const WindowDescription& window) = 0;
    virtual void installMenu(const std::vector<MenuItem>& items) = 0;
    virtual void activate() = 0;

    // A URL that does not parse loads nothing.
    virtual void loadUrl(const std::string& url) = 0;
    virtual void reload() = 0;
    // Replaces the web view by a fresh one, with a web process of its own and
    // hardware acceleration on or off; the fresh view keeps the zoom.
    virtual void replaceWebView(bool accelerated) = 0;
    // Shown in place of the web view, over its strip's buttons, until the view is replaced.
    virtual void showFailure(const FailureView& failure) = 0;
    // The page's zoom, 1 for its own size; kept for the display the window
    // shows on, for the next launch.
    virtual void setZoom(double zoom) = 0;
    // The zoom kept for that display, as it was written; empty when none was.
    virtual std::string keptZoom() = 0;
    // Evaluated in the page's main frame; result and errors are dropped. The
    // script may hold bytes that are not UTF-8 (from file names): they reach
    // the page replaced, never dropping the script.
    virtual void evaluateScript(const std::string& script) = 0;

    // Panels and alerts are modal to the window; completions run on the main loop.
    virtual void showOpenPanel(const OpenPanelDescription& panel, PanelCompletion done) = 0;
    virtual void showAlert(const std::string& title, const std::string& message, std::function<void()> closed) = 0;
    // A save panel; the desktop's own question before replacing a file is left to the Controller.
    virtual void showSavePanel(const SavePanelDescription& panel, PanelCompletion done) = 0;
    // A question with "Annuler" and the confirming button; answers true when confirmed.
    virtual void askToConfirm(const std::string& message, const std::string& confirm,
                              std::function<void(bool)> answered) = 0;

    // Opens the address with the desktop's handler for its scheme: the
    // browser for https, the mail program for mailto:, ...
    virtual void openInBrowser(const std::string& url) = 0;
    // The desktop's pane for granting the program access to the whole disk;
    // empty on Linux, which has none.
    virtual void openPrivacySettings() = 0;

    // Runs the block on the main loop after the delay.
    virtual void runLater(std::chrono::milliseconds delay, std::function<void()> block) = 0;
    // Runs `work` away from the main loop, which keeps running meanwhile, then
    // `done` on the main loop once `work` has returned.
    virtual void runInBackground(std::function<void()> work, std::function<void()> done) = 0;

    // Shows, without blocking the page, that the window is working (a project copy).
    virtual void showWorking(bool working) = 0;

    // Access to a granted location; called in pairs. Empty on Linux: run without
    // a sandbox, every readable path is readable already.
    virtual void startAccessing(const std::string& path) = 0;
    virtual void stopAccessing(const std::string& path) = 0;

    // Window and page commands of the menu.
    virtual void minimise() = 0;
    virtual void toggleFullScreen() = 0;
    virtual void quit() = 0;
    virtual void editPage(MenuAction editing) = 0;  // Undo, Cut, Copy, Paste, SelectAll
};

}  // namespace mivra
