#pragma once
// The one object of the window shell and the façade of its operations: it
// builds the window, takes the toolkit's events and hands each policy family
// to a room of its own (reloads, grants and panels, downloads, page
// dialogs); it talks to the desktop only through the Toolkit seam.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge.h"
#include "downloads.h"
#include "grants.h"
#include "lifetime.h"
#include "menu.h"
#include "places.h"
#include "reloads.h"
#include "settings.h"
#include "toolkit.h"
#include "toolkit_events.h"

namespace mivra {

class Controller {
public:
    static std::shared_ptr<Controller> Create(Toolkit& toolkit, LaunchSettings settings, const Places& places);

    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // Window, menu, first load, launch project, activation, "fenetre ouverte" record.
    void build();

    // The toolkit's events, each to its operation, and the page's messages
    // through the bridge. Once the Controller is gone they do nothing: a page
    // dialog's answer and a download are dropped then.
    ToolkitEvents toolkitEvents();
    // The operations the bridge's messages name.
    BridgeOperations bridgeOperations();

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
    void choose();
    void openPath(const std::string& path);
    // A file handed over by the desktop (another launch of the program): the
    // window comes forward and the page gets it at once when ready, otherwise
    // as the launch project does.
    void openFile(const std::string& path);
    // Another launch with nothing to open brings the window forward.
    void presentAgain();

    // Folders.
    void chooseFolder(const std::string& path, const std::string& pour);

    // Grants.
    void grant(const std::string& path);
    void oublier(const std::string& path);
    void direLesAutorises();

    // Links and the desktop's privacy settings, on the page's request.
    void ouvrir(const std::string& url);  // only an https URL is opened
    void openPrivacySettings();

    // Menu.
    void perform(MenuAction action);

    // Page dialogs (page_dialogs.h).
    void runFileInput(std::function<void(std::optional<std::string>)> answer);
    void runPageDialog(PageDialog dialog, const std::string& message, std::function<void(bool confirmed)> answered);

    // Downloads the page starts (downloads.h).
    void decideDownload(const std::string& suggestedName, const DownloadDestination& destination);
    void downloadFinished(const std::string& written);
    void downloadFailed(const std::string& written);

private:
    Controller(Toolkit& toolkit, LaunchSettings settings, const Places& places);

    WindowDescription windowDescription() const;
    void zoom(MenuAction action);
    void scheduleLaunchProject();
    void openWaitingProjectsWhenReady();
    bool readyForProjects() const { return launchDelayElapsed_ && interfaceLoaded_; }

    Toolkit& toolkit_;
    const LaunchSettings settings_;
    Reloads reloads_;
    Grants grants_;
    Downloads downloads_;
    double zoom_ = 1;

    // The launch project waits for both the first second and the first load.
    bool launchDelayElapsed_ = false;
    bool interfaceLoaded_ = false;
    bool launchProjectOpened_ = false;
    std::vector<std::string> handedOver_;  // files given by the desktop before that

    Lifetime lifetime_;
};

}  // namespace mivra
