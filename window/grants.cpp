#include "grants.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <utility>
#include <variant>

#include "note.h"
#include "page_script.h"
#include "project_names.h"

namespace mivra {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDemoProjectBase = "Mivra Demo";
constexpr const char* kFolderMessageTravail = "Choisissez le dossier ou Mivra decoupera les regions. "
                                              "Il y ecrit temporairement bien plus que la taille de l'AAF livre.";
constexpr const char* kFolderMessageDestination = "Choisissez le dossier de destination de l'AAF.";
constexpr const char* kFolderTitleTravail = "Choisir le dossier de travail";
constexpr const char* kFolderTitleDestination = "Choisir le dossier de destination";
constexpr const char* kGrantTitle = "Autoriser un volume";
constexpr const char* kGrantMessage = "Selectionnez ce volume pour autoriser Mivra a le lire.";

bool IsDirectory(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

}  // namespace

Grants::Grants(Toolkit& toolkit, Places places)
    : toolkit_(toolkit), places_(std::move(places)), copies_(std::make_shared<RunningCopies>())
{
}

Grants::~Grants()
{
    copies_->stopAndWait();
}

void Grants::askForPath(const OpenPanelDescription& panel, std::function<void(const std::string&)> chosen)
{
    toolkit_.showOpenPanel(panel, lifetime_.whileAlive([chosen = std::move(chosen)](std::optional<std::string> path) {
        if (path)
            chosen(*path);
    }));
}

void Grants::keepAccess(const std::string& path)
{
    toolkit_.startAccessing(path);
    granted_.push_back(path);
}

void Grants::choose()
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
    askForPath(panel, [this](const std::string& chosen) { projectChosen(chosen); });
}

// A large project takes seconds to copy: the copy runs off the main loop, the
// window shows it is working meanwhile, and the page opens the copy once it is
// complete. A window that goes stops the copy, which then leaves nothing.
void Grants::projectChosen(const std::string& chosen)
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
    toolkit_.runInBackground(std::move(copy),
                             lifetime_.whileAlive([this, outcome, chosen] { copyEnded(chosen, *outcome); }));
}

// The page opens the copy, or the chosen item itself when it could not be copied.
void Grants::copyEnded(const std::string& chosen, const CopyOutcome& copy)
{
    if (--copiesInProgress_ == 0)
        toolkit_.showWorking(false);
    const auto* failure = std::get_if<CopyFailure>(&copy);
    if (failure)
        Note("copie temporaire du projet impossible : " + failure->reason);
    toolkit_.evaluateScript(OpenPathScript(failure ? chosen : std::get<std::string>(copy)));
}

void Grants::chooseFolder(const std::string& path, const std::string& pour)
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
    askForPath(panel, [this, travail](const std::string& chosen) {
        toolkit_.evaluateScript(SetFolderScript(travail, chosen));
    });
}

std::string Grants::grantStartFolder(const std::string& path) const
{
    if (Exists(path))
        return path;
    std::string instead = Exists(places_.volumesFolder) ? places_.volumesFolder : places_.homeFolder;
    Note("volume \u00AB " + path + " \u00BB absent, ouverture sur " + instead);
    return instead;
}

void Grants::grant(const std::string& path)
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
    askForPath(panel, [this](const std::string& chosen) {
        keepAccess(chosen);
        toolkit_.evaluateScript(GrantedScript(chosen));
        direLesAutorises();
    });
}

void Grants::oublier(const std::string& path)
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

void Grants::direLesAutorises()
{
    std::vector<std::string> paths;
    std::copy_if(granted_.begin(), granted_.end(), std::back_inserter(paths),
                 [](const std::string& path) { return !path.empty(); });
    toolkit_.evaluateScript(AutorisesScript(paths));
}

}  // namespace mivra
