#include "controller.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>

#include "note.h"
#include "page_script.h"
#include "project_copy.h"
#include "project_names.h"
#include "web_address.h"
#include "zoom_level.h"

namespace mivra {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr std::int64_t kReloadBudget = 40;
constexpr auto kReloadDelay = 300ms;
constexpr auto kLaunchProjectDelay = 1s;
// A page whose process keeps dying is not loaded again and again.
constexpr std::size_t kCrashReloads = 3;
constexpr auto kCrashReloadSpan = 1min;

constexpr const char* kDemoProjectBase = "Mivra Demo";
constexpr const char* kFolderMessageTravail = "Choisissez le dossier ou Mivra decoupera les regions. "
                                              "Il y ecrit temporairement bien plus que la taille de l'AAF livre.";
constexpr const char* kFolderMessageDestination = "Choisissez le dossier de destination de l'AAF.";
constexpr const char* kDownloadTitle = "Enregistrer le telechargement";
constexpr const char* kDownloadFallbackName = "telechargement";
// Hidden, and unlike any name the page suggests.
// mkstemps fills in the Xs before the suffix.
constexpr std::string_view kDownloadTemporaryStem = ".Mivra-telechargement-XXXXXX";
constexpr std::string_view kDownloadTemporarySuffix = ".partiel";
constexpr const char* kFolderTitleTravail = "Choisir le dossier de travail";
constexpr const char* kFolderTitleDestination = "Choisir le dossier de destination";
constexpr const char* kGrantTitle = "Autoriser un volume";
constexpr const char* kFileInputTitle = "Choisir un fichier";
constexpr const char* kAlertTitle = "Mivra";  // an alert with nothing to read
constexpr const char* kGrantMessage = "Selectionnez ce volume pour autoriser Mivra a le lire.";

bool Exists(const std::string& path)
{
    std::error_code error;
    return fs::exists(path, error);
}

bool IsDirectory(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

// Only the name of what the page suggests, never a place: a download cannot
// land outside the folder the user picks.
std::string DownloadName(const std::string& suggested)
{
    const std::string name = fs::path(suggested).filename().string();
    return name.empty() || name == "." || name == ".." ? kDownloadFallbackName : name;
}

std::string ReplaceQuestion(const std::string& name)
{
    return "Un element nomme \u00AB " + name + " \u00BB existe deja. Voulez-vous le remplacer ?";
}

// What the alert shows first, as its window's title too.
std::string AlertTitle(const std::string& message)
{
    const std::string firstLine = message.substr(0, message.find('\n'));
    return firstLine.empty() ? kAlertTitle : firstLine;
}

void RemoveFile(const std::string& path)
{
    std::error_code error;
    if (fs::is_regular_file(fs::symlink_status(path, error)))
        fs::remove(path, error);
}

// The page opens the copy, or the chosen item itself when it could not be copied.
void OpenCopyOrChosen(Controller& controller, const std::string& chosen, const CopyOutcome& copy)
{
    if (const auto* failure = std::get_if<CopyFailure>(&copy)) {
        Note("copie temporaire du projet impossible : " + failure->reason);
        controller.openPath(chosen);
        return;
    }
    controller.openPath(std::get<std::string>(copy));
}

}  // namespace

std::shared_ptr<Controller> Controller::Create(Toolkit& toolkit, LaunchSettings settings, Places places)
{
    // A local class may reach the private constructor, which make_shared cannot.
    struct Constructible : Controller {
        Constructible(Toolkit& toolkit, LaunchSettings settings, Places places)
            : Controller(toolkit, std::move(settings), std::move(places))
        {
        }
    };
    return std::make_shared<Constructible>(toolkit, std::move(settings), std::move(places));
}

Controller::Controller(Toolkit& toolkit, LaunchSettings settings, Places places)
    : toolkit_(toolkit), settings_(std::move(settings)), places_(std::move(places)),
      crashReloads_(kCrashReloads, kCrashReloadSpan), copies_(std::make_shared<RunningCopies>())
{
}

// Quitting or closing the window ends the process next: a copy still running
// would be cut short under its temporary name.
// A download still running is cut short too: its temporary file goes.
Controller::~Controller()
{
    copies_->stopAndWait();
    for (const auto& [written, chosen] : downloads_)
        RemoveFile(written);
}

WindowDescription Controller::windowDescription() const
{
    return WindowDescription{
        .title = "Mivra",
        .contentWidth = 1080,
        .contentHeight = 740,
        .minimumWidth = 900,
        .minimumHeight = 620,
        .background = Colour{0.055, 0.063, 0.082, 1.0},
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
    loadInterface();
    scheduleLaunchProject();
    toolkit_.activate();
    Note("fenetre ouverte sur " + settings_.url);
}

void Controller::loadInterface()
{
    // An address that does not parse loads nothing, so no failure and no retry follow.
    toolkit_.loadUrl(settings_.url);
}

void Controller::later(std::chrono::milliseconds delay, std::function<void(Controller&)> block)
{
    toolkit_.runLater(delay, [weak = weak_from_this(), block = std::move(block)] {
        if (const auto self = weak.lock())
            block(*self);
    });
}

void Controller::askForPath(const OpenPanelDescription& panel,
                            std::function<void(Controller&, const std::string&)> chosen)
{
    auto done = [weak = weak_from_this(), chosen = std::move(chosen)](std::optional<std::string> path) {
        const auto self = weak.lock();
        if (self && path)
            chosen(*self, *path);
    };
    toolkit_.showOpenPanel(panel, std::move(done));
}

void Controller::keepAccess(const std::string& path)
{
    toolkit_.startAccessing(path);
    granted_.push_back(path);
}

// WebKit's reload does nothing in a view without a committed page (every
// load failed) and would reload a page of another site: both load the
// interface instead. Neither spends the reload budget. A view whose engine
// failed is dead: a fresh one starts over.
void Controller::refresh()
{
    if (engineFailed_)
        startOver();
    else if (showsInterface_)
        toolkit_.reload();
    else
        loadInterface();
}

// The failure page's "Reessayer" and Ctrl+R both load the interface: from
// there it starts over with a new budget. A scheme no web view shows goes to
// the desktop, but only when the user asked: a page alone starts no program.
bool Controller::navigationRequested(const std::string& uri, bool byTheUser)
{
    if (failureShown_ && SameOrigin(uri, settings_.url)) {
        failureShown_ = false;
        attempts_ = 0;
    }
    if (!IsForTheDesktop(uri))
        return true;
    if (byTheUser)
        toolkit_.openInBrowser(uri);
    else
        Note("lien non suivi : " + uri);
    return false;
}

// Only the interface's own loads are retried: a link to another site that
// fails leaves the page, and what the user did in it, as it is.
void Controller::navigationFailed(const std::string& uri)
{
    if (!SameOrigin(uri, settings_.url)) {
        Note("chargement impossible : " + uri);
        return;
    }
    showsInterface_ = false;
    retry();
}

// The view is left blank by a dead process: the interface comes back at once,
// outside the budget, which is kept for a server that is not up yet. A page
// that keeps dying gets one more try without hardware acceleration, the usual
// cause, before the window gives up on it.
void Controller::webProcessEnded(PageProcessEnd why)
{
    Note(PageProcessEndNote(why));
    showsInterface_ = false;
    if (crashReloads_.allow(RateLimit::Clock::now()))
        loadInterface();
    else if (mayRetryWithoutAcceleration())
        retryWithoutAcceleration();
    else
        showFailure(Failure::PageStopped);
}

// Once a run, and never against a rendering the user chose.
bool Controller::mayRetryWithoutAcceleration() const
{
    return acceleration_ == Acceleration::On && !settings_.renderingSetByUser;
}

void Controller::retryWithoutAcceleration()
{
    acceleration_ = Acceleration::TriedOff;
    Note("nouvel essai sans acceleration materielle");
    toolkit_.replaceWebView(false);
    loadInterface();
}

// A fresh view and a fresh budget, as at launch; without acceleration only
// when a page has loaded so.
void Controller::startOver()
{
    engineFailed_ = false;
    failureShown_ = false;
    attempts_ = 0;
    crashReloads_ = RateLimit(kCrashReloads, kCrashReloadSpan);
    if (acceleration_ == Acceleration::TriedOff)
        acceleration_ = Acceleration::On;
    toolkit_.replaceWebView(acceleration_ == Acceleration::On);
    loadInterface();
}

// One budget of reloads until the failure page: never given back when the
// interface loads, nothing coalesced.
void Controller::retry()
{
    if (attempts_ >= kReloadBudget) {
        showFailure(Failure::ServerSilent);
        return;
    }
    ++attempts_;
    later(kReloadDelay, [](Controller& self) { self.loadInterface(); });
}

// Shown once until the interface is asked for again; the view no longer
// holds a page of the interface. A page that keeps dying takes the engine
// that would draw a page of the window's own: its widgets show it instead.
void Controller::showFailure(Failure failure)
{
    if (failureShown_)
        return;
    failureShown_ = true;
    showsInterface_ = false;
    engineFailed_ = failure == Failure::PageStopped;
    if (engineFailed_)
        toolkit_.showFailure(StoppedPageView());
    else
        toolkit_.showPage(ServerSilentPage(settings_.url, windowDescription().background));
    Note(FailureNote(failure));
}

void Controller::pageFinishedLoading(const std::string& uri)
{
    showsInterface_ = SameOrigin(uri, settings_.url);
    if (!showsInterface_)
        return;
    if (acceleration_ == Acceleration::TriedOff)
        acceleration_ = Acceleration::Off;
    interfaceLoaded_ = true;
    openWaitingProjectsWhenReady();
}

// The project named on the command line must reach a page able to take it: it
// goes once, after the first second and after the interface's first load. A
// file handed over by the desktop before then waits for the same.
void Controller::scheduleLaunchProject()
{
    later(kLaunchProjectDelay, [](Controller& self) {
        self.launchDelayElapsed_ = true;
        self.openWaitingProjectsWhenReady();
    });
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
    OpenPanelDescription panel;
    panel.canChooseFiles = true;
    panel.canChooseDirectories = true;
    panel.packagesAreItems = true;
    panel.startFolder = places_.desktopFolder;
    const std::string demoProject = PackageName(kDemoProjectBase);
    if (Exists((fs::path(places_.desktopFolder) / demoProject).string()))
        panel.preselectedName = demoProject;
    panel.title = "Choisir un projet Final Cut";
    panel.prompt = "Analyser";
    askForPath(panel, [](Controller& self, const std::string& chosen) { self.projectChosen(chosen); });
}

// A large project takes seconds to copy: the copy runs off the main loop, the
// window shows it is working meanwhile, and the page opens the copy once it is
// complete. A window that goes stops the copy, which then leaves nothing.
void Controller::projectChosen(const std::string& chosen)
{
    keepAccess(chosen);
    if (copiesInProgress_++ == 0)
        toolkit_.showWorking(true);
    auto outcome = std::make_shared<CopyOutcome>(CopyFailure{"not copied"});
    auto copy = [outcome, chosen, temporaryFolder = places_.temporaryFolder, copies = copies_] {
        if (!copies->enter())
            return;
        *outcome = CopyToTemporaryFolder(chosen, temporaryFolder, copies->stopRequested());
        copies->leave();
    };
    auto copied = [weak = weak_from_this(), outcome, chosen] {
        const auto self = weak.lock();
        if (!self)
            return;
        if (--self->copiesInProgress_ == 0)
            self->toolkit_.showWorking(false);
        OpenCopyOrChosen(*self, chosen, *outcome);
    };
    toolkit_.runInBackground(std::move(copy), std::move(copied));
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
    const bool travail = pour == "travail";
    OpenPanelDescription panel;
    panel.canChooseFiles = false;
    panel.canChooseDirectories = true;
    panel.canCreateDirectories = true;
    if (!path.empty() && IsDirectory(path))
        panel.startFolder = path;
    panel.title = travail ? kFolderTitleTravail : kFolderTitleDestination;
    panel.message = travail ? kFolderMessageTravail : kFolderMessageDestination;
    panel.prompt = "Choisir";
    askForPath(panel, [travail](Controller& self, const std::string& chosen) {
        self.toolkit_.evaluateScript(SetFolderScript(travail, chosen));
    });
}

std::string Controller::grantStartFolder(const std::string& path) const
{
    if (Exists(path))
        return path;
    const std::string instead = Exists(places_.volumesFolder) ? places_.volumesFolder : places_.homeFolder;
    Note("volume \u00AB " + path + " \u00BB absent, ouverture sur " + instead);
    return instead;
}

void Controller::grant(const std::string& path)
{
    OpenPanelDescription panel;
    panel.canChooseFiles = false;
    panel.canChooseDirectories = true;
    panel.packagesAreItems = false;
    // A page that names no volume is shown where volumes are mounted.
    panel.startFolder = grantStartFolder(path.empty() ? places_.volumesFolder : path);
    panel.title = kGrantTitle;
    panel.message = kGrantMessage;
    panel.prompt = "Autoriser";
    askForPath(panel, [](Controller& self, const std::string& chosen) {
        self.keepAccess(chosen);
        self.toolkit_.evaluateScript(GrantedScript(chosen));
        self.direLesAutorises();
    });
}

void Controller::oublier(const std::string& path)
{
    if (path.empty())
        return;
    std::vector<std::string> kept;
    for (const std::string& entry : granted_) {
        if (entry == path) {
            toolkit_.stopAccessing(entry);
            Note("autorisation retiree : " + path);
        } else {
            kept.push_back(entry);
        }
    }
    granted_ = std::move(kept);
    direLesAutorises();
}

void Controller::direLesAutorises()
{
    std::vector<std::string> paths;
    std::copy_if(granted_.begin(), granted_.end(), std::back_inserter(paths),
                 [](const std::string& path) { return !path.empty(); });
    toolkit_.evaluateScript(AutorisesScript(paths));
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
    OpenPanelDescription panel;
    panel.canChooseFiles = true;
    panel.canChooseDirectories = true;
    panel.packagesAreItems = true;
    panel.title = kFileInputTitle;
    toolkit_.showOpenPanel(panel, std::move(answer));
}

void Controller::decideDownload(const std::string& suggestedName, DownloadDestination destination)
{
    askForDownloadPath(places_.downloadsFolder, DownloadName(suggestedName), std::move(destination));
}

// A name already taken is replaced only once the user says so; otherwise the
// panel comes back to pick another.
void Controller::askForDownloadPath(const std::string& folder, const std::string& name, DownloadDestination destination)
{
    SavePanelDescription panel{kDownloadTitle, folder, name, "Enregistrer"};
    toolkit_.showSavePanel(panel, [weak = weak_from_this(), destination](std::optional<std::string> path) {
        const auto self = weak.lock();
        if (!self || !path) {
            destination(std::nullopt);
            return;
        }
        if (!Exists(*path)) {
            self->writeDownload(*path, destination);
            return;
        }
        const fs::path chosen(*path);
        const std::string chosenName = chosen.filename().string();
        self->toolkit_.askToConfirm(
            ReplaceQuestion(chosenName), "Remplacer", [weak, destination, chosen, chosenName](bool replace) {
                const auto self = weak.lock();
                if (!self)
                    destination(std::nullopt);
                else if (replace)
                    self->writeDownload(chosen.string(), destination);
                else
                    self->askForDownloadPath(chosen.parent_path().string(), chosenName, destination);
            });
    });
}

// Written under a temporary name in the chosen folder, so that the file of
// the chosen name is replaced only by a complete download, in one rename.
void Controller::writeDownload(const std::string& chosen, const DownloadDestination& destination)
{
    const std::string name = std::string(kDownloadTemporaryStem) + std::string(kDownloadTemporarySuffix);
    std::string written = (fs::path(chosen).parent_path() / name).string();
    const int fd = ::mkstemps(written.data(), static_cast<int>(kDownloadTemporarySuffix.size()));
    if (fd < 0) {
        const int error = errno;
        Note("telechargement impossible : " + chosen + " : " + std::strerror(error));
        destination(std::nullopt);
        return;
    }
    ::close(fd);
    downloads_.emplace(written, chosen);
    destination(written);
}

void Controller::downloadFinished(const std::string& written)
{
    const auto download = downloads_.extract(written);
    if (download.empty())
        return;
    std::error_code error;
    fs::rename(written, download.mapped(), error);
    if (error)
        Note("telechargement laisse sous " + written + " : " + error.message());
}

void Controller::downloadFailed(const std::string& written)
{
    if (downloads_.erase(written) != 0)
        RemoveFile(written);
}

void Controller::runPageDialog(PageDialog dialog, const std::string& message, std::function<void(bool)> answered)
{
    switch (dialog) {
    case PageDialog::Alert:
        toolkit_.showAlert(AlertTitle(message), message, [answered = std::move(answered)] { answered(true); });
        break;
    case PageDialog::Confirm:
    case PageDialog::Prompt: answered(false); break;
    case PageDialog::LeavePage: answered(true); break;
    }
}

}  // namespace mivra
