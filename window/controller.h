#pragma once
// The one object of the window shell: owns the run's state (granted list,
// reload attempts) and every operation of the window; talks to the desktop
// only through the Toolkit seam.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge.h"
#include "drop.h"
#include "failure_page.h"
#include "menu.h"
#include "places.h"
#include "project_copy.h"
#include "rate_limit.h"
#include "settings.h"
#include "toolkit.h"

namespace mivra {

class Controller : public DropTarget, public BridgeTarget, public std::enable_shared_from_this<Controller> {
public:
    // Always held by a shared_ptr: deferred blocks and completions keep a weak_ptr.
    static std::shared_ptr<Controller> Create(Toolkit& toolkit, LaunchSettings settings, Places places);

    ~Controller() override;
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // Window, menu, first load, launch project, activation, "fenetre ouverte" record.
    void build();

    // Interface loading.
    void refresh();  // the user's reload: loads the interface when the view holds no page of it
    // A navigation the view is about to make, `byTheUser` when the user asked
    // for it (a link clicked); false when the view must not load it.
    bool navigationRequested(const std::string& uri, bool byTheUser);
    // A failed navigation to `uri`: a reload within the budget when it was
    // one of the interface.
    void navigationFailed(const std::string& uri);
    void pageFinishedLoading(const std::string& uri);  // a load that finished without failure
    void webProcessEnded(PageProcessEnd why);          // the page's process died

    // Projects.
    void choose() override;
    void openPath(const std::string& path) override;
    // A file handed over by the desktop (another launch of the program): the
    // window comes forward and the page gets it at once when ready, otherwise
    // as the launch project does.
    void openFile(const std::string& path);
    // Another launch with nothing to open brings the window forward.
    void presentAgain();

    // Folders.
    void chooseFolder(const std::string& path, const std::string& pour) override;

    // Grants.
    void grant(const std::string& path) override;
    void oublier(const std::string& path) override;
    void direLesAutorises() override;

    // Links and the desktop's privacy settings, on the page's request.
    void ouvrir(const std::string& url) override;  // only an https URL is opened
    void openPrivacySettings() override;

    // Menu.
    void perform(MenuAction action);

    // Page dialogs; each answer is called exactly once. A file input gets one
    // item or nothing. Of the script dialogs only an alert is shown, answered
    // once the user closes it; a confirm is declined and a prompt cancelled
    // (the page's script gets null); leaving the page is always allowed, so
    // reloads and quitting are never held up by the page.
    void runFileInput(std::function<void(std::optional<std::string>)> answer);
    void runPageDialog(PageDialog dialog, const std::string& message, std::function<void(bool confirmed)> answered);

    // Downloads the page starts: `destination` is called once, with the path
    // to write (a temporary file beside the one the user chose), or with
    // nothing when the download must be dropped unwritten.
    using DownloadDestination = std::function<void(std::optional<std::string>)>;
    void decideDownload(const std::string& suggestedName, DownloadDestination destination);
    // A complete download takes the chosen name, replacing what had it; one
    // that failed leaves no part of it and the file it was to replace as it was.
    void downloadFinished(const std::string& written);
    void downloadFailed(const std::string& written);

private:
    Controller(Toolkit& toolkit, LaunchSettings settings, Places places);

    WindowDescription windowDescription() const;
    void loadInterface();
    void retry();
    void showFailure(Failure failure);
    bool mayRetryWithoutAcceleration() const;
    void retryWithoutAcceleration();
    void startOver();
    void zoom(MenuAction action);
    // Deferred blocks and panel completions run only while the Controller exists;
    // a cancelled panel calls nothing.
    void later(std::chrono::milliseconds delay, std::function<void(Controller&)> block);
    void askForPath(const OpenPanelDescription& panel, std::function<void(Controller&, const std::string&)> chosen);
    void keepAccess(const std::string& path);  // granted: accessed and recorded
    void scheduleLaunchProject();
    void openWaitingProjectsWhenReady();
    bool readyForProjects() const { return launchDelayElapsed_ && interfaceLoaded_; }
    void projectChosen(const std::string& chosen);
    std::string grantStartFolder(const std::string& path) const;
    void askForDownloadPath(const std::string& folder, const std::string& name, DownloadDestination destination);
    void writeDownload(const std::string& chosen, const DownloadDestination& destination);

    Toolkit& toolkit_;
    const LaunchSettings settings_;
    const Places places_;
    std::vector<std::string> granted_;
    std::int64_t attempts_ = 0;
    // Whether the view holds a page of the interface: what a reload would reload.
    bool showsInterface_ = false;
    RateLimit crashReloads_;
    bool failureShown_ = false;
    bool engineFailed_ = false;  // the failure is in the window's widgets, the view dead
    // Hardware acceleration: on until a page keeps dying; once a page loads
    // without it, off for the rest of the run.
    enum class Acceleration { On, TriedOff, Off } acceleration_ = Acceleration::On;
    double zoom_ = 1;

    // The launch project waits for both the first second and the first load.
    bool launchDelayElapsed_ = false;
    bool interfaceLoaded_ = false;
    bool launchProjectOpened_ = false;
    std::vector<std::string> handedOver_;  // files given by the desktop before that

    int copiesInProgress_ = 0;  // as seen from the main loop: the window shows it is working
    std::shared_ptr<RunningCopies> copies_;
    std::map<std::string, std::string> downloads_;  // temporary file -> the name the user chose
};

}  // namespace mivra
