#include "controller.h"

#include <chrono>
#include <utility>

#include "note.h"
#include "page_dialogs.h"
#include "page_script.h"
#include "web_address.h"
#include "zoom_level.h"

namespace mivra {

namespace {

using namespace std::chrono_literals;

constexpr auto kLaunchProjectDelay = 1s;
constexpr Colour kWindowColour{0.055, 0.063, 0.082, 1.0};

}  // namespace

std::shared_ptr<Controller> Controller::Create(Toolkit& toolkit, LaunchSettings settings, const Places& places)
{
    // A local class may reach the private constructor, which make_shared cannot.
    struct Constructible : Controller {
        Constructible(Toolkit& toolkit, LaunchSettings settings, const Places& places)
            : Controller(toolkit, std::move(settings), places)
        {
        }
    };
    return std::make_shared<Constructible>(toolkit, std::move(settings), places);
}

Controller::Controller(Toolkit& toolkit, LaunchSettings settings, const Places& places)
    : toolkit_(toolkit), settings_(std::move(settings)), reloads_(toolkit, settings_.url, settings_.renderingSetByUser),
      grants_(toolkit, places), downloads_(toolkit, places.downloadsFolder)
{
}

WindowDescription Controller::windowDescription() const
{
    return WindowDescription{
        .title = "Mivra",
        .contentWidth = 1080,
        .contentHeight = 740,
        .minimumWidth = 900,
        .minimumHeight = 620,
        .background = kWindowColour,
        .handleHeight = 76,
        .handleRightGap = 140,
        .frameName = "MivraMain",
        .iconPath = settings_.icon,
    };
}

void Controller::build()
{
    toolkit_.buildWindow(windowDescription());
    zoom_ = KeptZoom(toolkit_.keptZoom());
    if (zoom_ != 1.0)
        toolkit_.setZoom(zoom_);
    toolkit_.installMenu(MenuTable());
    reloads_.loadInterface();
    scheduleLaunchProject();
    toolkit_.activate();
    Note("fenetre ouverte sur " + settings_.url);
}

ToolkitEvents Controller::toolkitEvents()
{
    return ToolkitEvents{
        .webView =
            WebViewEvents{
                [bridge = Bridge(settings_.url, bridgeOperations())](
                    const BridgeMessage& message, const std::string& senderUri) { bridge.receive(message, senderUri); },
                lifetime_.whileAlive(
                    [this](const std::string& uri, bool byTheUser) { return navigationRequested(uri, byTheUser); },
                    [](const std::string&, bool) { return true; }),
                lifetime_.whileAlive([this](const std::string& uri) { navigationFailed(uri); }),
                lifetime_.whileAlive([this](const std::string& uri) { pageFinishedLoading(uri); }),
                lifetime_.whileAlive([this](PageProcessEnd why) { webProcessEnded(why); }),
            },
        .downloads =
            DownloadEvents{
                lifetime_.whileAlive(
                    [this](const std::string& suggested, const DownloadDestination& answer) {
                        decideDownload(suggested, answer);
                    },
                    [](const std::string&, const DownloadDestination& answer) { answer(std::nullopt); }),
                lifetime_.whileAlive([this](const std::string& written) { downloadFinished(written); }),
                lifetime_.whileAlive([this](const std::string& written) { downloadFailed(written); }),
            },
        .pageDialogs =
            PageDialogEvents{
                lifetime_.whileAlive([this](std::function<void(std::optional<std::string>)> answer) {
                    runFileInput(std::move(answer));
                }),
                lifetime_.whileAlive(
                    [this](PageDialog dialog, const std::string& message, std::function<void(bool)> answered) {
                        runPageDialog(dialog, message, std::move(answered));
                    }),
            },
        .menu = lifetime_.whileAlive([this](MenuAction action) { perform(action); }),
        .dropped = lifetime_.whileAlive(
            [this](const std::string& path) {
                openPath(path);
                return true;
            },
            [](const std::string&) { return false; }),
    };
}

BridgeOperations Controller::bridgeOperations()
{
    return BridgeOperations{
        .choose = lifetime_.whileAlive([this] { choose(); }),
        .grant = lifetime_.whileAlive([this](const std::string& path) { grant(path); }),
        .chooseFolder = lifetime_.whileAlive(
            [this](const std::string& path, const std::string& pour) { chooseFolder(path, pour); }),
        .ouvrir = lifetime_.whileAlive([this](const std::string& url) { ouvrir(url); }),
        .oublier = lifetime_.whileAlive([this](const std::string& path) { oublier(path); }),
        .direLesAutorises = lifetime_.whileAlive([this] { direLesAutorises(); }),
        .openPrivacySettings = lifetime_.whileAlive([this] { openPrivacySettings(); }),
    };
}

void Controller::refresh()
{
    reloads_.refresh();
}

// A scheme no web view shows goes to the desktop, but only when the user
// asked: a page alone starts no program.
bool Controller::navigationRequested(const std::string& uri, bool byTheUser)
{
    if (!IsForTheDesktop(uri))
        return true;
    if (byTheUser)
        toolkit_.openInBrowser(uri);
    else
        Note("lien non suivi : " + uri);
    return false;
}

void Controller::navigationFailed(const std::string& uri)
{
    reloads_.navigationFailed(uri);
}

void Controller::webProcessEnded(PageProcessEnd why)
{
    reloads_.webProcessEnded(why);
}

void Controller::pageFinishedLoading(const std::string& uri)
{
    if (!reloads_.pageFinishedLoading(uri))
        return;
    interfaceLoaded_ = true;
    openWaitingProjectsWhenReady();
}

// The project named on the command line must reach a page able to take it: it
// goes once, after the first second and after the interface's first load. A
// file handed over by the desktop before then waits for the same.
void Controller::scheduleLaunchProject()
{
    toolkit_.runLater(kLaunchProjectDelay, lifetime_.whileAlive([this] {
        launchDelayElapsed_ = true;
        openWaitingProjectsWhenReady();
    }));
}

void Controller::openWaitingProjectsWhenReady()
{
    if (!readyForProjects())
        return;
    if (!launchProjectOpened_ && !settings_.projetAuLancement.empty())
        openPath(settings_.projetAuLancement);
    launchProjectOpened_ = true;
    for (const std::string& path : std::exchange(handedOver_, {}))
        openPath(path);
}

void Controller::choose()
{
    grants_.choose();
}

void Controller::openPath(const std::string& path)
{
    toolkit_.evaluateScript(OpenPathScript(path));
}

void Controller::openFile(const std::string& path)
{
    toolkit_.activate();
    if (readyForProjects())
        openPath(path);
    else
        handedOver_.push_back(path);
}

void Controller::presentAgain()
{
    toolkit_.activate();
}

void Controller::chooseFolder(const std::string& path, const std::string& pour)
{
    grants_.chooseFolder(path, pour);
}

void Controller::grant(const std::string& path)
{
    grants_.grant(path);
}

void Controller::oublier(const std::string& path)
{
    grants_.oublier(path);
}

void Controller::direLesAutorises()
{
    grants_.direLesAutorises();
}

void Controller::ouvrir(const std::string& url)
{
    if (!IsHttpsUrl(url))
        return;
    toolkit_.openInBrowser(url);
}

void Controller::openPrivacySettings()
{
    toolkit_.openPrivacySettings();
}

void Controller::perform(MenuAction action)
{
    switch (action) {
    case MenuAction::Hide: toolkit_.minimise(); break;
    case MenuAction::Quit: toolkit_.quit(); break;
    case MenuAction::OpenDialog: choose(); break;
    case MenuAction::Undo:
    case MenuAction::Cut:
    case MenuAction::Copy:
    case MenuAction::Paste:
    case MenuAction::SelectAll: toolkit_.editPage(action); break;
    case MenuAction::Refresh: refresh(); break;
    case MenuAction::ToggleFullScreen: toolkit_.toggleFullScreen(); break;
    case MenuAction::ZoomIn:
    case MenuAction::ZoomOut:
    case MenuAction::ZoomReset: zoom(action); break;
    }
}

void Controller::zoom(MenuAction action)
{
    zoom_ = action == MenuAction::ZoomReset ? 1.0 : ZoomStep(zoom_, action == MenuAction::ZoomIn);
    toolkit_.setZoom(zoom_);
}

void Controller::runFileInput(std::function<void(std::optional<std::string>)> answer)
{
    RunFileInput(toolkit_, std::move(answer));
}

void Controller::runPageDialog(PageDialog dialog, const std::string& message, std::function<void(bool)> answered)
{
    RunPageDialog(toolkit_, dialog, message, std::move(answered));
}

void Controller::decideDownload(const std::string& suggestedName, const DownloadDestination& destination)
{
    downloads_.decide(suggestedName, destination);
}

void Controller::downloadFinished(const std::string& written)
{
    downloads_.finished(written);
}

void Controller::downloadFailed(const std::string& written)
{
    downloads_.failed(written);
}

}  // namespace mivra
