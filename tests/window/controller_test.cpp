#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bridge.h"
#include "controller.h"
#include "page_script.h"
#include "project_copy.h"
#include "stderr_capture.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;
using Block = std::function<void()>;

const std::string kInterface = "http://127.0.0.1:8790/";

template <class T>
T Take(std::vector<T>& from, std::size_t index = 0)
{
    T taken = std::move(from.at(index));
    from.erase(from.begin() + static_cast<std::ptrdiff_t>(index));
    return taken;
}

// Records every call as "name argument" and keeps deferred blocks, background
// jobs, panel completions and dialog answers for the test to run.
struct FakeToolkit : Toolkit {
    Calls calls, scripts, loads;
    std::vector<std::pair<OpenPanelDescription, PanelCompletion>> panels;
    std::vector<std::pair<SavePanelDescription, PanelCompletion>> savePanels;
    std::vector<std::pair<std::chrono::milliseconds, Block>> deferred;
    std::vector<Block> background, alertsClosing;  // background: the work, then its completion
    std::vector<std::function<void(bool)>> questions;

    void buildWindow(const WindowDescription& d) override { calls.push_back("buildWindow " + d.iconPath); }
    void installMenu(const std::vector<MenuItem>& items) override
    {
        calls.push_back("installMenu " + std::to_string(items.size()));
    }
    void activate() override { calls.push_back("activate"); }
    bool loadUrl(const std::string& url) override  // as strict as the real toolkit
    {
        calls.push_back("loadUrl " + url);
        const bool valid = g_uri_is_valid(url.c_str(), G_URI_FLAGS_NONE, nullptr);
        if (valid)
            loads.push_back(url);
        return valid;
    }
    void reload() override { calls.push_back("reload"); }
    void evaluateScript(const std::string& s) override { calls.push_back("evaluateScript " + s), scripts.push_back(s); }
    void showOpenPanel(const OpenPanelDescription& d, PanelCompletion done) override
    {
        calls.push_back("showOpenPanel"), panels.emplace_back(d, std::move(done));
    }
    void showAlert(const std::string& message, Block closed) override
    {
        calls.push_back("showAlert " + message), alertsClosing.push_back(std::move(closed));
    }
    void showSavePanel(const SavePanelDescription& d, PanelCompletion done) override
    {
        calls.push_back("showSavePanel " + d.title + "|" + d.startFolder + "|" + d.name + "|" + d.prompt);
        savePanels.emplace_back(d, std::move(done));
    }
    void askToConfirm(const std::string& message, const std::string& confirm,
                      std::function<void(bool)> answered) override
    {
        calls.push_back("askToConfirm " + message + "|" + confirm), questions.push_back(std::move(answered));
    }
    void openInBrowser(const std::string& url) override { calls.push_back("openInBrowser " + url); }
    void openPrivacySettings() override { calls.push_back("openPrivacySettings"); }
    void runLater(std::chrono::milliseconds delay, Block block) override
    {
        calls.push_back("runLater " + std::to_string(delay.count())), deferred.emplace_back(delay, std::move(block));
    }
    void runInBackground(Block work, Block done) override
    {
        calls.push_back("runInBackground");
        background.push_back([work = std::move(work), done = std::move(done)] { work(), done(); });
    }
    void showWorking(bool working) override { calls.push_back(working ? "showWorking 1" : "showWorking 0"); }
    void startAccessing(const std::string& path) override { calls.push_back("startAccessing " + path); }
    void stopAccessing(const std::string& path) override { calls.push_back("stopAccessing " + path); }
    void minimise() override { calls.push_back("minimise"); }
    void toggleFullScreen() override { calls.push_back("toggleFullScreen"); }
    void quit() override { calls.push_back("quit"); }
    void editPage(MenuAction a) override { calls.push_back("editPage " + std::to_string(static_cast<int>(a))); }

    // Each runs the oldest pending block; false when none is pending.
    bool runNextDeferred() { return !deferred.empty() && (Take(deferred).second(), true); }
    bool finishNextBackground() { return !background.empty() && (Take(background)(), true); }
    // Completes a shown panel (the latest by default) with a choice or a cancel.
    void completePanel(std::optional<std::string> chosen, std::optional<std::size_t> index = {})
    {
        Take(panels, index.value_or(panels.size() - 1)).second(std::move(chosen));
    }
    const OpenPanelDescription& lastPanel() const { return panels.back().first; }
    std::size_t count(const std::string& call) const { return std::count(calls.begin(), calls.end(), call); }
};

// Files, Directories, Packages as items, Multiple selection, Creating folders.
std::string Switches(const OpenPanelDescription& d)
{
    std::string word = "-----";
    const bool on[] = {d.canChooseFiles, d.canChooseDirectories, d.packagesAreItems, d.allowsMultipleSelection,
                       d.canCreateDirectories};
    for (int i = 0; i < 5; ++i)
        if (on[i])
            word[i] = "FDPMC"[i];
    return word;
}

fs::path NewTemporaryFolder()
{
    g_autofree char* made = g_dir_make_tmp("mivra-window-test-XXXXXX", nullptr);
    return made;
}

std::string Read(const fs::path& file)
{
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

// A Controller on the fake toolkit; its folders are temporary.
class ControllerTest : public ::testing::Test {
protected:
    ~ControllerTest() override
    {
        std::error_code error;
        fs::remove_all(root_, error);
    }
    std::shared_ptr<Controller> make(LaunchSettings settings = {})
    {
        return Controller::Create(toolkit_, std::move(settings), places_);
    }
    std::string folder(const std::string& relative)  // created under the root
    {
        fs::create_directories(root_ / relative);
        return (root_ / relative).string();
    }
    std::string file(const std::string& relative, const std::string& content = "x")
    {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << content;
        return (root_ / relative).string();
    }

    fs::path root_ = NewTemporaryFolder();
    Places places_{folder("tmp"), folder("home"), folder("home/Desktop"), folder("volumes"), folder("home/Downloads")};
    FakeToolkit toolkit_;
};

TEST_F(ControllerTest, BuildOrdersTheCallsPassesTheIconAndLogsEvenAnUnparseableUrl)
{
    test::StderrCapture captured;
    make(LaunchSettings{kInterface, "", "/icons/m.png"})->build();
    EXPECT_EQ(toolkit_.calls, (Calls{"buildWindow /icons/m.png", "installMenu " + std::to_string(MenuTable().size()),
                                     "loadUrl " + kInterface, "runLater 1000", "activate"}));
    make(LaunchSettings{"http://[nope/", "", ""})->build();
    EXPECT_EQ(toolkit_.loads, (Calls{kInterface}));
    EXPECT_EQ(captured.text(),
              "[fenetre] fenetre ouverte sur " + kInterface + "\n[fenetre] fenetre ouverte sur http://[nope/\n");
}

TEST_F(ControllerTest, FailedLoadsAreRetried40TimesAfter300msAndTheBudgetIsNeverGivenBack)
{
    auto controller = make();
    controller->build();
    toolkit_.runNextDeferred();  // the launch second
    controller->navigationFailed();
    controller->navigationFailed();  // each failure spends its own reload
    controller->pageFinishedLoading(kInterface);
    controller->refresh();  // the user's reloads spend nothing
    controller->perform(MenuAction::Refresh);
    EXPECT_EQ(toolkit_.count("reload"), 2u);
    EXPECT_EQ(toolkit_.count("runLater 300"), 2u);
    for (int failure = 0; failure < 60; ++failure) {
        controller->navigationFailed();
        while (!toolkit_.deferred.empty()) {
            EXPECT_EQ(toolkit_.deferred.front().first, std::chrono::milliseconds(300));
            toolkit_.runNextDeferred();
        }
    }
    EXPECT_EQ(toolkit_.loads.size(), 41u);
    EXPECT_EQ(toolkit_.count("runLater 300"), 40u);
    make()->navigationFailed();  // a controller gone before its reload
    EXPECT_TRUE(toolkit_.runNextDeferred());
    EXPECT_EQ(toolkit_.loads.size(), 41u);
}

TEST_F(ControllerTest, TheUserReloadLoadsTheInterfaceWheneverTheViewHoldsNoPageOfIt)
{
    // Events before the reload (Failed, Crashed, the Interface, one of its Pages, Another site), and
    // whether WebKit's reload is enough.
    const std::pair<std::string, bool> cases[] = {{"", false},  {"F", false},  {"P", true},   {"IF", false},
                                                  {"FI", true}, {"IA", false}, {"ICI", true}, {"IC", false}};
    for (const auto& [events, reloads] : cases) {
        auto controller = make();
        for (const char event : events)
            if (event == 'F')
                controller->navigationFailed();
            else if (event == 'C')
                controller->webProcessEnded();
            else
                controller->pageFinishedLoading(event == 'I'   ? kInterface
                                                : event == 'P' ? kInterface + "projets"
                                                               : "https://example.org/");
        toolkit_.calls.clear();
        controller->perform(MenuAction::Refresh);
        EXPECT_EQ(toolkit_.calls, (Calls{reloads ? "reload" : "loadUrl " + kInterface})) << events;  // no budget
    }
}

TEST_F(ControllerTest, ADeadPageIsLoadedAtOnceOutsideTheBudgetThreeTimesAMinute)
{
    auto controller = make();
    for (int death = 0; death < 5; ++death)
        controller->webProcessEnded();
    EXPECT_EQ(toolkit_.calls, (Calls(3, "loadUrl " + kInterface)));
    EXPECT_TRUE(toolkit_.deferred.empty());
    controller->refresh();  // the user may still bring it back
    EXPECT_EQ(toolkit_.loads.size(), 4u);
}

TEST_F(ControllerTest, TheLaunchProjectWaitsForTheSecondAndTheFirstInterfaceLoadThenOpensOnce)
{
    const auto built = [&](const std::string& project) {
        toolkit_.scripts.clear();
        auto controller = make(LaunchSettings{kInterface, project, ""});
        controller->build();
        return controller;
    };
    // Second first: other pages' loads do not count.
    auto controller = built("-v");
    toolkit_.runNextDeferred();
    controller->pageFinishedLoading("");
    controller->pageFinishedLoading("https://example.org/");
    EXPECT_TRUE(toolkit_.scripts.empty());
    controller->pageFinishedLoading(kInterface + "accueil");
    controller->pageFinishedLoading(kInterface);
    EXPECT_EQ(toolkit_.scripts, (Calls{OpenPathScript("-v")}));
    // Load first.
    controller = built("relatif/Montage.fcpxmld");
    controller->pageFinishedLoading(kInterface);
    EXPECT_TRUE(toolkit_.scripts.empty());
    ASSERT_EQ(toolkit_.deferred.front().first, std::chrono::milliseconds(1000));
    toolkit_.runNextDeferred();
    EXPECT_EQ(toolkit_.scripts, (Calls{OpenPathScript("relatif/Montage.fcpxmld")}));
    // The controller gone before its second.
    built("/p/b.fcpxml").reset();
    EXPECT_TRUE(toolkit_.runNextDeferred());
    EXPECT_TRUE(toolkit_.scripts.empty());
    // Files handed over by other launches wait behind the launch project, then go at once.
    controller = built("/p/c.fcpxml");
    toolkit_.calls.clear();
    controller->openFile("/p/d.fcpxml");
    controller->presentAgain();
    controller->pageFinishedLoading(kInterface);
    EXPECT_EQ(toolkit_.calls, (Calls{"activate", "activate"}));
    toolkit_.runNextDeferred();
    controller->openFile("/nulle/part.fcpxml");
    EXPECT_EQ(toolkit_.scripts, (Calls{OpenPathScript("/p/c.fcpxml"), OpenPathScript("/p/d.fcpxml"),
                                       OpenPathScript("/nulle/part.fcpxml")}));
    controller = built("");
    controller->openFile("/p/e.fcpxml");
    toolkit_.runNextDeferred();
    controller->pageFinishedLoading(kInterface);
    EXPECT_EQ(toolkit_.scripts, (Calls{OpenPathScript("/p/e.fcpxml")}));
}

class ChooseTest : public ControllerTest {
protected:
    // The path the page was last asked to open.
    std::string opened() const
    {
        static const std::regex openPath(R"re(window\.__openPath\("(.*)"\))re");
        std::smatch match;
        EXPECT_TRUE(!toolkit_.scripts.empty() && std::regex_match(toolkit_.scripts.back(), match, openPath));
        return match.size() > 1 ? match[1].str() : "";
    }
    std::string choose(const std::string& chosen)
    {
        controller->choose();
        toolkit_.completePanel(chosen);
        toolkit_.finishNextBackground();
        return opened();
    }
    std::shared_ptr<Controller> controller = make();
};

TEST_F(ChooseTest, PanelStartsOnTheDesktopPreselectsTheDemoOnlyWhenThereAndCancelOrAControllerGoneDoesNothing)
{
    controller->choose();
    const OpenPanelDescription plain = toolkit_.lastPanel();
    EXPECT_EQ(Switches(plain), "FDP--");
    EXPECT_EQ(plain.startFolder, places_.desktopFolder);
    EXPECT_EQ(plain.preselectedName, std::nullopt);
    EXPECT_EQ(plain.title + "|" + plain.prompt, "Choisir un projet Final Cut|Analyser");
    folder("home/Desktop/Mivra Demo.fcpxmld");
    controller->perform(MenuAction::OpenDialog);
    EXPECT_EQ(toolkit_.lastPanel().preselectedName, "Mivra Demo.fcpxmld");
    toolkit_.completePanel(std::nullopt);
    controller.reset();
    toolkit_.completePanel(file("projets/a.fcpxml"));
    EXPECT_EQ(toolkit_.calls, (Calls{"showOpenPanel", "showOpenPanel"}));
    EXPECT_TRUE(toolkit_.background.empty());
}

TEST_F(ChooseTest, EachChoiceIsGrantedCopiedWholeAndOpenedFromItsOwnCopy)
{
    const std::string bundle = folder("projets/Projet A.fcpxmld");
    file("projets/Projet A.fcpxmld/Info.plist", "info");
    file("projets/Projet A.fcpxmld/Contents/x.fcpxml", "<fcpxml/>");
    const fs::path copy = choose(bundle);
    EXPECT_EQ(toolkit_.calls[1], "startAccessing " + bundle);
    EXPECT_EQ(copy.parent_path(), places_.temporaryFolder);
    EXPECT_TRUE(std::regex_match(copy.filename().string(),
                                 std::regex("Mivra-import-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-"
                                            "[0-9A-F]{12}-Projet A\\.fcpxmld")));
    EXPECT_EQ(Read(copy / "Info.plist") + Read(copy / "Contents/x.fcpxml"), "info<fcpxml/>");
    const std::string project = file("projets/a.fcpxml", "<fcpxml/>");
    const std::string first = choose(project), second = choose(project);
    EXPECT_NE(first, second);
    EXPECT_EQ(fs::path(second).filename().string().substr(49), "-a.fcpxml");
    EXPECT_EQ(Read(first) + Read(second), "<fcpxml/><fcpxml/>");
    controller->direLesAutorises();
    EXPECT_EQ(toolkit_.scripts.back(), AutorisesScript({bundle, project, project}));
}

TEST_F(ChooseTest, TheCopyRunsInTheBackgroundWhileTheWindowShowsItIsWorkingAndOpensOnceComplete)
{
    const std::string project = file("projets/a.fcpxml", "<fcpxml/>");
    for (int copy = 0; copy < 2; ++copy) {
        controller->choose();
        toolkit_.completePanel(project);
    }
    controller->direLesAutorises();  // granted at once, as before the copy
    EXPECT_EQ(toolkit_.scripts, (Calls{AutorisesScript({project, project})}));
    EXPECT_TRUE(fs::is_empty(places_.temporaryFolder));
    toolkit_.finishNextBackground();
    EXPECT_EQ(Read(opened()), "<fcpxml/>");
    EXPECT_EQ(toolkit_.count("showWorking 1") + toolkit_.count("showWorking 0"), 1u);  // one copy still runs
    toolkit_.finishNextBackground();
    EXPECT_EQ(toolkit_.calls.back(), "evaluateScript " + OpenPathScript(opened()));
    EXPECT_EQ(toolkit_.count("showWorking 0"), 1u);
    // A controller gone before the copy runs: nothing is copied or opened.
    controller->choose();
    toolkit_.completePanel(project);
    controller.reset();
    toolkit_.finishNextBackground();
    EXPECT_EQ(toolkit_.scripts.size(), 3u);
    EXPECT_EQ(std::distance(fs::directory_iterator(places_.temporaryFolder), fs::directory_iterator()), 2);
}

TEST_F(ChooseTest, ACopyStoppedOrFailingHalfwayLeavesNothingInTheTemporaryFolder)
{
    file("projets/Gros.fcpxmld/1.mov", std::string(3 << 20, 'x'));
    folder("projets/Gros.fcpxmld/vide");
    fs::create_symlink("/nulle/part", root_ / "projets/Gros.fcpxmld/lien");
    const std::string bundle = (root_ / "projets/Gros.fcpxmld").string();
    std::atomic<bool> stop = false;
    const CopyOutcome whole = CopyToTemporaryFolder(bundle, places_.temporaryFolder, stop);
    ASSERT_TRUE(std::holds_alternative<std::string>(whole));
    EXPECT_EQ(fs::file_size(fs::path(std::get<std::string>(whole)) / "1.mov"), 3u << 20);
    EXPECT_EQ(fs::read_symlink(fs::path(std::get<std::string>(whole)) / "lien"), "/nulle/part");
    fs::remove_all(std::get<std::string>(whole));
    stop = true;
    EXPECT_EQ(std::get<CopyFailure>(CopyToTemporaryFolder(bundle, places_.temporaryFolder, stop)).reason,
              "copy stopped");
    stop = false;
    // A pipe cannot be copied: the copy fails wherever it meets it.
    ASSERT_EQ(mkfifo((root_ / "projets/Gros.fcpxmld/tube").c_str(), 0600), 0);
    EXPECT_TRUE(std::holds_alternative<CopyFailure>(CopyToTemporaryFolder(bundle, places_.temporaryFolder, stop)));
    EXPECT_TRUE(fs::is_empty(places_.temporaryFolder));
}

TEST_F(ChooseTest, WhatCannotBeCopiedIsLoggedAndOpenedWhereItIs)
{
    file("projets/a.fcpxml");
    const std::string missing = (root_ / "projets/parti.fcpxmld").string();
    test::StderrCapture captured;
    choose(missing);
    EXPECT_EQ(toolkit_.scripts.back(), OpenPathScript(missing));
    controller->direLesAutorises();
    EXPECT_EQ(toolkit_.scripts.back(), AutorisesScript({missing}));
    // A folder holding the temporary folder is never copied into itself.
    for (const std::string& holder : {root_.string(), places_.temporaryFolder, root_.string() + "/./tmp/../"}) {
        choose(holder);
        EXPECT_EQ(toolkit_.scripts.back(), OpenPathScript(holder));
    }
    EXPECT_TRUE(fs::is_empty(places_.temporaryFolder));
    const std::string inside =
        "[fenetre] copie temporaire du projet impossible : the temporary folder lies inside the chosen item\n";
    EXPECT_EQ(captured.text(), "[fenetre] copie temporaire du projet impossible : No such file or directory\n" +
                                   inside + inside + inside);
}

TEST_F(ControllerTest, ADownloadIsSavedWhereTheUserSaysReplacingOnlyWhenConfirmedAndFailedOnesLeaveNothing)
{
    auto controller = make();
    Calls answers;  // "-" for no file
    const auto download = [&](const std::string& suggested) {
        controller->decideDownload(suggested,
                                   [&](std::optional<std::string> path) { answers.push_back(path.value_or("-")); });
        return toolkit_.calls.back();
    };
    const std::string panel = "showSavePanel Enregistrer le telechargement|" + places_.downloadsFolder + "|";
    // Only a name is taken from the page.
    const std::pair<std::string, std::string> names[] = {{"export.json", "export.json"}, {"../../.bashrc", ".bashrc"},
                                                         {"/etc/passwd", "passwd"},      {"", "telechargement"},
                                                         {"..", "telechargement"},       {"a/", "telechargement"}};
    for (const auto& [suggested, offered] : names) {
        EXPECT_EQ(download(suggested), panel + offered + "|Enregistrer");
        toolkit_.savePanels.back().second(std::nullopt);  // cancel: nothing to write
    }
    EXPECT_EQ(answers, Calls(6, "-"));
    answers.clear();
    const std::string fresh = places_.downloadsFolder + "/new.json", taken = file("home/Downloads/export.json");
    download("new.json");
    toolkit_.savePanels.back().second(fresh);
    download("export.json");
    toolkit_.savePanels.back().second(taken);
    EXPECT_EQ(
        toolkit_.calls.back(),
        "askToConfirm Un element nomme \u00AB export.json \u00BB existe deja. Voulez-vous le remplacer ?|Remplacer");
    toolkit_.questions.back()(false);  // back to the panel, same folder and name
    EXPECT_EQ(toolkit_.calls.back(), panel + "export.json|Enregistrer");
    toolkit_.savePanels.back().second(taken);
    toolkit_.questions.back()(true);
    EXPECT_EQ(answers, (Calls{fresh, taken}));
    // A controller gone meanwhile drops the download.
    download("late.json");
    controller.reset();
    toolkit_.savePanels.back().second(fresh);
    EXPECT_EQ(answers.back(), "-");
    controller = make();
    const std::string keptFolder = folder("home/Downloads/dossier");
    controller->downloadFailed(taken);
    controller->downloadFailed(keptFolder);
    EXPECT_FALSE(fs::exists(taken));
    EXPECT_TRUE(fs::is_directory(keptFolder));
}

TEST_F(ControllerTest, FolderPanelStartsOnlyInAnExistingFolderAndAnswersWithItsKind)
{
    auto controller = make();
    const std::string work = folder("work");
    for (const std::string& path : {work, file("work/a.txt"), work + "/absent", std::string()})
        controller->chooseFolder(path, "");
    EXPECT_EQ(Switches(toolkit_.panels[0].first) + toolkit_.panels[0].first.prompt, "-DP-CChoisir");
    EXPECT_EQ(toolkit_.panels[0].first.startFolder, work);
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_EQ(toolkit_.panels[i].first.startFolder, std::nullopt) << i;
    toolkit_.panels.clear();
    for (const char* pour : {"travail", "Travail", "destination", "travail"})
        controller->chooseFolder("", pour);
    toolkit_.completePanel("/w/\"t\"", 0);
    toolkit_.completePanel("/d\\1", 0);
    toolkit_.completePanel(std::nullopt, 0);
    controller.reset();
    toolkit_.completePanel("/w", 0);
    EXPECT_EQ(toolkit_.scripts, (Calls{R"(window.__setTravail("/w/\"t\""))", R"(window.__setFolder("/d\\1"))"}));
}

class GrantTest : public ControllerTest {
protected:
    void grantAndChoose(const std::string& chosen)
    {
        controller->grant(chosen);
        toolkit_.completePanel(chosen);
    }
    std::shared_ptr<Controller> controller = make();
};

TEST_F(GrantTest, PanelStartsOnWhatExistsElseOnTheVolumesFolderElseHomeWithALogLine)
{
    const std::string disk = folder("volumes/Disque"), aFile = file("volumes/Disque/a.mov");
    const std::string missing = places_.volumesFolder + "/Absent";
    test::StderrCapture captured;
    controller->grant(disk);
    const OpenPanelDescription& panel = toolkit_.lastPanel();
    EXPECT_EQ(Switches(panel), "-D---");
    EXPECT_EQ(panel.message + "|" + panel.prompt, "Selectionnez ce volume pour autoriser Mivra a le lire.|Autoriser");
    EXPECT_EQ(panel.startFolder, disk);
    controller->grant(aFile);
    EXPECT_EQ(toolkit_.lastPanel().startFolder, aFile);
    EXPECT_EQ(captured.text(), "");
    controller->grant(missing);
    EXPECT_EQ(toolkit_.lastPanel().startFolder, places_.volumesFolder);
    fs::remove_all(places_.volumesFolder);
    controller->grant(missing);
    EXPECT_EQ(toolkit_.lastPanel().startFolder, places_.homeFolder);
    const std::string absent = "[fenetre] volume \xc2\xab " + missing + " \xc2\xbb absent, ouverture sur ";
    EXPECT_EQ(captured.text(), absent + places_.volumesFolder + "\n" + absent + places_.homeFolder + "\n");
}

TEST_F(GrantTest, AGrantIsRecordedThenAnnouncedThenListedAndCancelLeavesNoTrace)
{
    const std::string disk = "/media/u/Disque \"1\"";
    controller->grant("/");
    toolkit_.completePanel(std::nullopt);
    grantAndChoose(disk);
    controller->grant("/");
    controller.reset();
    toolkit_.completePanel("/");
    EXPECT_EQ(toolkit_.calls, (Calls{"showOpenPanel", "showOpenPanel", "startAccessing " + disk,
                                     "evaluateScript " + GrantedScript(disk),
                                     "evaluateScript " + AutorisesScript({disk}), "showOpenPanel"}));
}

TEST_F(GrantTest, WithdrawalRemovesEveryExactMatchAndAlwaysReportsTheList)
{
    for (const char* disk : {"/media/u/A", "/media/u/B", "/media/u/A"})
        grantAndChoose(disk);
    toolkit_.calls.clear();
    test::StderrCapture captured;
    for (const char* near : {"/media/u/a", "/media/u/A/", "/media/u"})
        controller->oublier(near);
    EXPECT_EQ(toolkit_.calls,
              Calls(3, "evaluateScript " + AutorisesScript({"/media/u/A", "/media/u/B", "/media/u/A"})));
    toolkit_.calls.clear();
    controller->oublier("/media/u/A");
    EXPECT_EQ(toolkit_.calls, (Calls{"stopAccessing /media/u/A", "stopAccessing /media/u/A",
                                     "evaluateScript " + AutorisesScript({"/media/u/B"})}));
    EXPECT_EQ(captured.text(), "[fenetre] autorisation retiree : /media/u/A\n"
                               "[fenetre] autorisation retiree : /media/u/A\n");
}

// Their keys the page handles itself: only the menu's items reach this.
TEST_F(ControllerTest, TheMenusEditingItemsEditThePage)
{
    auto controller = make();
    for (int edit = static_cast<int>(MenuAction::Undo); edit <= static_cast<int>(MenuAction::SelectAll); ++edit)
        controller->perform(static_cast<MenuAction>(edit));
    EXPECT_EQ(toolkit_.calls, (Calls{"editPage 3", "editPage 4", "editPage 5", "editPage 6", "editPage 7"}));
}

TEST_F(ControllerTest, AFileInputGetsOneItemOrNothingAndOfThePageDialogsOnlyAnAlertIsShown)
{
    auto controller = make();
    Calls answers;
    const auto record = [&](std::optional<std::string> chosen) { answers.push_back(chosen.value_or("-")); };
    controller->runFileInput(record);
    controller->runFileInput(record);
    const OpenPanelDescription& panel = toolkit_.panels[0].first;
    EXPECT_EQ(Switches(panel) + panel.title + panel.message + panel.prompt, "FDP--");
    EXPECT_EQ(panel.startFolder, std::nullopt);
    toolkit_.completePanel("/p/Montage.fcpxmld", 0);
    toolkit_.completePanel(std::nullopt, 0);
    EXPECT_TRUE(toolkit_.scripts.empty());  // nothing granted
    // An alert is answered once closed; a confirm and a prompt are declined, leaving allowed, each at once.
    const auto dialog = [&](PageDialog kind, const std::string& message) {
        controller->runPageDialog(kind, message,
                                  [&, message](bool yes) { answers.push_back(message + (yes ? "+" : "-")); });
    };
    toolkit_.calls.clear();
    dialog(PageDialog::Alert, "Termine");
    EXPECT_EQ(answers.size(), 2u);
    toolkit_.alertsClosing.front()();
    dialog(PageDialog::Confirm, "Continuer ?");
    dialog(PageDialog::Prompt, "Nom ?");
    dialog(PageDialog::LeavePage, "Quitter ?");
    EXPECT_EQ(answers, (Calls{"/p/Montage.fcpxmld", "-", "Termine+", "Continuer ?-", "Nom ?-", "Quitter ?+"}));
    EXPECT_EQ(toolkit_.calls, (Calls{"showAlert Termine"}));
}

BridgeMessage Message(std::map<std::string, std::string> strings, std::set<std::string> nonStrings = {})
{
    return BridgeMessage{true, std::move(strings), std::move(nonStrings)};
}

class DispatchTest : public ControllerTest {
protected:
    // What the toolkit was asked for the message, a panel as "showOpenPanel <start folder>|<message>".
    std::string dispatch(const BridgeMessage& message)
    {
        toolkit_.calls.clear();
        toolkit_.panels.clear();
        Bridge(kInterface, places_.volumesFolder, controller).receive(message, kInterface);
        std::string asked;
        for (const std::string& call : toolkit_.calls)
            asked += (asked.empty() ? "" : "; ") + call;
        if (!toolkit_.panels.empty())
            asked += " " + toolkit_.lastPanel().startFolder.value_or("-") + "|" + toolkit_.lastPanel().message;
        return asked;
    }
    std::shared_ptr<Controller> controller = make();
};

TEST_F(DispatchTest, EachActionWithItsDefaults)
{
    const std::string disk = folder("volumes/Disque"), work = folder("work");
    const std::string travail = "Choisissez le dossier ou Mivra decoupera les regions. "
                                "Il y ecrit temporairement bien plus que la taille de l'AAF livre.";
    const std::string grant = "Selectionnez ce volume pour autoriser Mivra a le lire.";
    const std::string onVolumes = "showOpenPanel " + places_.volumesFolder + "|" + grant;
    test::StderrCapture captured;  // "grant" with no path opens on the volumes folder itself, not as a fallback
    const std::vector<std::pair<BridgeMessage, std::string>> cases = {
        {Message({{"action", "pick"}, {"path", "/ignored"}}), "showOpenPanel " + places_.desktopFolder + "|"},
        {Message({{"action", "grant"}}), onVolumes},
        {Message({{"action", "grant"}, {"path", ""}}), onVolumes},
        {Message({{"action", "grant"}, {"path", disk}}), "showOpenPanel " + disk + "|" + grant},
        {Message({{"action", "folder"}}), "showOpenPanel -|Choisissez le dossier de destination de l'AAF."},
        {Message({{"action", "folder"}, {"path", work}, {"pour", "travail"}}), "showOpenPanel " + work + "|" + travail},
        {Message({{"action", "ouvrir"}, {"url", "https://example.org/aide?x=1"}}),
         "openInBrowser https://example.org/aide?x=1"},
        {Message({{"action", "autorises"}}), "evaluateScript window.__autorises && window.__autorises([])"},
        {Message({{"action", "settings"}}, {"path", "url"}), "openPrivacySettings"},  // unread keys do not matter
        // Nothing at all; a key the action reads holding something other than a string voids the message.
        {BridgeMessage{false, {{"action", "pick"}}, {}}, ""},
        {Message({}), ""},
        {Message({{"path", "/x"}}), ""},
        {Message({}, {"action"}), ""},
        {Message({{"action", "oublier"}}), ""},
        {Message({{"action", "oublier"}, {"path", ""}}), ""},
        {Message({{"action", "grant"}}, {"path"}), ""},
        {Message({{"action", "folder"}, {"path", "/"}}, {"pour"}), ""},
        {Message({{"action", "ouvrir"}}, {"url"}), ""},
        {Message({{"action", "oublier"}}, {"path"}), ""},
        {Message({{"action", "ouvrir"}}), ""},
    };
    for (const auto& [message, expected] : cases)
        EXPECT_EQ(dispatch(message), expected) << expected;
    for (const char* action : {"Pick", "pick ", "inconnue", "AUTORISES"})
        EXPECT_EQ(dispatch(Message({{"action", action}})), "") << action;
    // Only URLs written with the https scheme are opened.
    for (const char* refused :
         {"", "http://example.org/", "HTTPS://example.org/", "Https://example.org/", "example.org", "//example.org/",
          "https//example.org", "javascript:alert(1)", "https:", "https://", "https:///chemin", "https:chemin"})
        EXPECT_EQ(dispatch(Message({{"action", "ouvrir"}, {"url", refused}})), "") << refused;
    EXPECT_EQ(captured.text(), "");
}

TEST_F(DispatchTest, MessagesAreHonouredOnlyFromPagesOfTheInterfaceOrigin)
{
    const auto honoured = [&](const std::string& interfaceUrl, const std::string& pageUri) {
        toolkit_.calls.clear();
        Bridge(interfaceUrl, places_.volumesFolder, controller).receive(Message({{"action", "settings"}}), pageUri);
        return toolkit_.count("openPrivacySettings") == 1;
    };
    for (const char* same :
         {"http://127.0.0.1:8790/", "http://127.0.0.1:8790/projets/3?x=1#y", "HTTP://127.0.0.1:8790"})
        EXPECT_TRUE(honoured(kInterface, same)) << same;
    for (const char* other :
         {"http://127.0.0.1:8791/", "http://127.0.0.1/", "https://127.0.0.1:8790/", "http://localhost:8790/",
          "https://example.org/", "about:blank", "file:///tmp/a.html", ""})
        EXPECT_FALSE(honoured(kInterface, other)) << other;
    // Default ports and the host's case make no difference.
    EXPECT_TRUE(honoured("https://Mivra.Example/app/", "https://mivra.example:443/other"));
    EXPECT_TRUE(honoured("http://mivra.example:80/", "http://MIVRA.example/x"));
    EXPECT_FALSE(honoured("http://mivra.example/", "http://mivra.example:8080/"));
    EXPECT_FALSE(honoured("http://%zz/", "http://%zz/"));
}

}  // namespace
}  // namespace mivra
