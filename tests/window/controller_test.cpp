#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "controller_fixture.h"
#include "page_script.h"
#include "stderr_capture.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

const std::string kInterface = "http://127.0.0.1:8790/";

std::string Read(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// ---- Building the window -------------------------------------------------

using BuildTest = test::ControllerTest;

TEST_F(BuildTest, BuildsTheWindowThenMenuLoadAndActivationThenLogs)
{
    test::StderrCapture captured;
    make(LaunchSettings{kInterface, "", "/icons/m.png"})->build();

    EXPECT_EQ(toolkit_.calls, (Calls{"buildWindow", "installMenu", "loadUrl " + kInterface, "activate"}));
    EXPECT_EQ(captured.text(), "[fenetre] fenetre ouverte sur " + kInterface + "\n");

    const WindowDescription& window = *toolkit_.window;
    EXPECT_EQ(window.title, "Mivra");
    EXPECT_EQ(std::pair(window.contentWidth, window.contentHeight), std::pair(1080, 740));
    EXPECT_EQ(std::pair(window.minimumWidth, window.minimumHeight), std::pair(900, 620));
    EXPECT_DOUBLE_EQ(window.background.red, 0.055);
    EXPECT_DOUBLE_EQ(window.background.green, 0.063);
    EXPECT_DOUBLE_EQ(window.background.blue, 0.082);
    EXPECT_DOUBLE_EQ(window.background.alpha, 1.0);
    EXPECT_EQ(std::pair(window.handleHeight, window.handleRightGap), std::pair(76, 140));
    EXPECT_EQ(window.frameName, "MivraMain");
    EXPECT_EQ(window.iconPath, "/icons/m.png");
    EXPECT_EQ(toolkit_.menu.size(), MenuTable().size());
}

TEST_F(BuildTest, ALaunchProjectIsScheduledBeforeActivation)
{
    make(LaunchSettings{kInterface, "/p/a.fcpxml", ""})->build();
    EXPECT_EQ(toolkit_.calls, (Calls{"buildWindow", "installMenu", "loadUrl " + kInterface, "runLater 1000", "activate"}));
}

TEST_F(BuildTest, AnUnparseableInterfaceUrlLoadsNothingButIsStillLogged)
{
    test::StderrCapture captured;
    auto controller = make(LaunchSettings{"http://[nope/", "", ""});
    controller->build();
    EXPECT_TRUE(toolkit_.loads.empty());
    EXPECT_TRUE(toolkit_.deferred.empty());
    EXPECT_EQ(captured.text(), "[fenetre] fenetre ouverte sur http://[nope/\n");
}

// ---- Loading and retrying -----------------------------------------------

using LoadingTest = test::ControllerTest;

TEST_F(LoadingTest, AServerThatNeverAnswersIsRequested41TimesEach300msAfterAFailure)
{
    auto controller = make();
    controller->build();
    for (int failure = 0; failure < 60; ++failure) {
        controller->navigationFailed();
        if (!toolkit_.deferred.empty()) {
            EXPECT_EQ(toolkit_.deferred.front().delay, std::chrono::milliseconds(300));
            toolkit_.runNextDeferred();
        }
    }
    EXPECT_EQ(toolkit_.loads.size(), 41u);
    EXPECT_EQ(controller->attempts(), 40);
    EXPECT_EQ(toolkit_.count("runLater 300"), 40u);
}

TEST_F(LoadingTest, EveryFailureSpendsItsOwnReloadAndSuccessGivesNothingBack)
{
    auto controller = make();
    controller->build();
    controller->navigationFailed();
    controller->navigationFailed();
    EXPECT_EQ(toolkit_.deferred.size(), 2u);
    while (toolkit_.runNextDeferred()) {
    }
    EXPECT_EQ(toolkit_.loads, (Calls{kInterface, kInterface, kInterface}));

    controller->pageFinishedLoading(kInterface);
    controller->navigationFailed();
    EXPECT_EQ(controller->attempts(), 3);
}

TEST_F(LoadingTest, RefreshReloadsWithoutLoadingOrSpendingTheBudget)
{
    auto controller = make();
    controller->refresh();
    controller->perform(MenuAction::Refresh);
    EXPECT_EQ(toolkit_.calls, (Calls{"reload", "reload"}));
    EXPECT_EQ(controller->attempts(), 0);
}

TEST_F(LoadingTest, APendingReloadDoesNotKeepTheControllerAlive)
{
    auto controller = make();
    controller->navigationFailed();
    std::weak_ptr<Controller> watched = controller;
    controller.reset();
    EXPECT_TRUE(watched.expired());
    EXPECT_TRUE(toolkit_.runNextDeferred());
    EXPECT_TRUE(toolkit_.loads.empty());
}

// ---- The launch project ---------------------------------------------------

class LaunchProjectTest : public test::ControllerTest {
protected:
    std::shared_ptr<Controller> built(const std::string& project)
    {
        auto controller = make(LaunchSettings{kInterface, project, ""});
        controller->build();
        return controller;
    }
    std::size_t opened(const std::string& path) const
    {
        return toolkit_.count("evaluateScript " + OpenPathScript(path));
    }
};

TEST_F(LaunchProjectTest, WaitsForTheFirstLoadOfTheInterfaceAfterTheSecond)
{
    auto controller = built("-v");
    toolkit_.runNextDeferred();
    EXPECT_TRUE(toolkit_.scripts.empty());

    controller->pageFinishedLoading("");
    controller->pageFinishedLoading("https://example.org/");
    EXPECT_TRUE(toolkit_.scripts.empty());

    controller->pageFinishedLoading(kInterface + "accueil");
    EXPECT_EQ(toolkit_.scripts, (Calls{OpenPathScript("-v")}));

    controller->pageFinishedLoading(kInterface);
    EXPECT_EQ(opened("-v"), 1u);
}

TEST_F(LaunchProjectTest, WaitsForTheSecondAfterAFastFirstLoad)
{
    auto controller = built("relatif/Montage.fcpxmld");
    controller->pageFinishedLoading(kInterface);
    EXPECT_TRUE(toolkit_.scripts.empty());
    ASSERT_EQ(toolkit_.deferred.front().delay, std::chrono::milliseconds(1000));
    toolkit_.runNextDeferred();
    EXPECT_EQ(toolkit_.scripts, (Calls{OpenPathScript("relatif/Montage.fcpxmld")}));
}

TEST_F(LaunchProjectTest, AServerThatStartsLateStillGetsTheProject)
{
    auto controller = built("/p/a.fcpxml");
    controller->navigationFailed();
    toolkit_.runNextDeferred();  // the second has passed
    toolkit_.runNextDeferred();  // the reload
    controller->pageFinishedLoading(kInterface);
    EXPECT_EQ(opened("/p/a.fcpxml"), 1u);
}

TEST_F(LaunchProjectTest, NothingHappensOnceTheControllerIsGone)
{
    built("/p/a.fcpxml").reset();
    EXPECT_TRUE(toolkit_.runNextDeferred());
    EXPECT_TRUE(toolkit_.scripts.empty());
}

// ---- Choosing a project -------------------------------------------------

class ChooseTest : public test::ControllerTest {
protected:
    const OpenPanelDescription& chooseAndShow()
    {
        controller->choose();
        return toolkit_.panels.back().description;
    }
    // The path of the copy the page was asked to open.
    std::string openedPath() const
    {
        static const std::regex openPath(R"re(window\.__openPath\("(.*)"\))re");
        std::smatch match;
        EXPECT_TRUE(!toolkit_.scripts.empty() && std::regex_match(toolkit_.scripts.back(), match, openPath));
        return match.size() > 1 ? match[1].str() : "";
    }

    std::shared_ptr<Controller> controller = make();
};

TEST_F(ChooseTest, PanelStartsOnTheDesktopAndPreselectsTheDemoOnlyWhenThere)
{
    const OpenPanelDescription plain = chooseAndShow();
    EXPECT_TRUE(plain.canChooseFiles);
    EXPECT_TRUE(plain.canChooseDirectories);
    EXPECT_TRUE(plain.packagesAreItems);
    EXPECT_FALSE(plain.allowsMultipleSelection);
    EXPECT_EQ(plain.startFolder, places_.desktopFolder);
    EXPECT_EQ(plain.preselectedName, std::nullopt);
    EXPECT_EQ(plain.title, "Choisir un projet Final Cut");
    EXPECT_EQ(plain.prompt, "Analyser");

    folder("home/Desktop/Mivra Demo.fcpxmld");
    EXPECT_EQ(chooseAndShow().preselectedName, "Mivra Demo.fcpxmld");
}

TEST_F(ChooseTest, AChosenBundleIsGrantedCopiedWholeAndOpenedFromTheCopy)
{
    const std::string bundle = folder("projets/Projet A.fcpxmld");
    file("projets/Projet A.fcpxmld/Info.plist", "info");
    file("projets/Projet A.fcpxmld/Contents/x.fcpxml", "<fcpxml/>");

    controller->choose();
    toolkit_.completePanel(bundle);

    EXPECT_EQ(toolkit_.calls[1], "startAccessing " + bundle);
    EXPECT_EQ(controller->granted(), (Calls{bundle}));
    const fs::path copy = openedPath();
    EXPECT_EQ(copy.parent_path(), places_.temporaryFolder);
    EXPECT_TRUE(std::regex_match(copy.filename().string(),
                                 std::regex("Mivra-import-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-"
                                            "[0-9A-F]{12}-Projet A\\.fcpxmld")));
    EXPECT_EQ(Read(copy / "Info.plist"), "info");
    EXPECT_EQ(Read(copy / "Contents/x.fcpxml"), "<fcpxml/>");
}

TEST_F(ChooseTest, ChoosingTwiceMakesTwoCopiesAndTwoGrants)
{
    const std::string project = file("projets/a.fcpxml", "<fcpxml/>");
    controller->choose();
    toolkit_.completePanel(project);
    const std::string first = openedPath();
    controller->choose();
    toolkit_.completePanel(project);
    const std::string second = openedPath();

    EXPECT_NE(first, second);
    EXPECT_EQ(fs::path(second).filename().string().substr(49), "-a.fcpxml");
    EXPECT_EQ(Read(first), "<fcpxml/>");
    EXPECT_EQ(Read(second), "<fcpxml/>");
    EXPECT_EQ(controller->granted(), (Calls{project, project}));
}

TEST_F(ChooseTest, AFailedCopyIsLoggedAndTheOriginalIsOpened)
{
    const std::string missing = (root_ / "projets/parti.fcpxmld").string();
    test::StderrCapture captured;
    controller->choose();
    toolkit_.completePanel(missing);

    EXPECT_EQ(toolkit_.scripts, (Calls{OpenPathScript(missing)}));
    EXPECT_EQ(controller->granted(), (Calls{missing}));
    EXPECT_EQ(captured.text(), "[fenetre] copie temporaire du projet impossible : No such file or directory\n");
}

TEST_F(ChooseTest, AFolderHoldingTheTemporaryFolderIsOpenedWhereItIs)
{
    file("projets/a.fcpxml");
    test::StderrCapture captured;
    for (const std::string& holder : {root_.string(), places_.temporaryFolder, root_.string() + "/./tmp/../"}) {
        controller->choose();
        toolkit_.completePanel(holder);
        EXPECT_EQ(toolkit_.scripts.back(), OpenPathScript(holder));
    }
    EXPECT_TRUE(fs::is_empty(places_.temporaryFolder));
    const std::string line =
        "[fenetre] copie temporaire du projet impossible : the temporary folder lies inside the chosen item\n";
    EXPECT_EQ(captured.text(), line + line + line);
}

TEST_F(ChooseTest, CancelOrAGoneControllerDoesNothing)
{
    const std::string project = file("projets/a.fcpxml");
    controller->choose();
    toolkit_.completePanel(std::nullopt);
    controller->choose();
    controller.reset();
    toolkit_.completePanel(project);

    EXPECT_EQ(toolkit_.calls, (Calls{"showOpenPanel", "showOpenPanel"}));
    EXPECT_TRUE(fs::is_empty(places_.temporaryFolder));
}

TEST_F(ChooseTest, FilesFromTheDesktopAndTheMenuTakeTheirWays)
{
    EXPECT_TRUE(controller->openFile("/nulle/part.fcpxml"));
    EXPECT_EQ(toolkit_.scripts, (Calls{OpenPathScript("/nulle/part.fcpxml")}));
    controller->perform(MenuAction::OpenDialog);
    EXPECT_EQ(toolkit_.panels.back().description.title, "Choisir un projet Final Cut");
}

// ---- Choosing a folder --------------------------------------------------

class FolderTest : public test::ControllerTest {
protected:
    std::shared_ptr<Controller> controller = make();
};

TEST_F(FolderTest, PanelChoosesOneFolderAndStartsOnlyInAnExistingDirectory)
{
    const std::string work = folder("work");
    const std::string aFile = file("work/a.txt");
    for (const std::string& path : {work, aFile, work + "/absent", std::string()})
        controller->chooseFolder(path, "");

    const OpenPanelDescription& first = toolkit_.panels[0].description;
    EXPECT_FALSE(first.canChooseFiles);
    EXPECT_TRUE(first.canChooseDirectories);
    EXPECT_FALSE(first.allowsMultipleSelection);
    EXPECT_TRUE(first.canCreateDirectories);
    EXPECT_EQ(first.prompt, "Choisir");
    EXPECT_EQ(first.startFolder, work);
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_EQ(toolkit_.panels[i].description.startFolder, std::nullopt) << i;
}

TEST_F(FolderTest, EachRequestAnswersWithItsOwnKind)
{
    controller->chooseFolder("", "travail");
    controller->chooseFolder("", "Travail");
    controller->chooseFolder("", "destination");
    toolkit_.completePanel(0, "/w/\"t\"");
    toolkit_.completePanel(0, "/d\\1");
    toolkit_.completePanel(0, std::nullopt);

    EXPECT_EQ(toolkit_.scripts, (Calls{R"(window.__setTravail("/w/\"t\""))", R"(window.__setFolder("/d\\1"))"}));
}

TEST_F(FolderTest, NothingIsSentOnceTheControllerIsGone)
{
    controller->chooseFolder("", "travail");
    controller.reset();
    toolkit_.completePanel("/w");
    EXPECT_TRUE(toolkit_.scripts.empty());
}

// ---- Grants --------------------------------------------------------------

class GrantTest : public test::ControllerTest {
protected:
    void grantAndChoose(const std::string& chosen)
    {
        controller->grant(chosen);
        toolkit_.completePanel(chosen);
    }

    std::shared_ptr<Controller> controller = make();
};

TEST_F(GrantTest, PanelStartsOnAnythingThatExistsWithoutALogLine)
{
    const std::string disk = folder("volumes/Disque");
    const std::string aFile = file("volumes/Disque/a.mov");
    test::StderrCapture captured;
    controller->grant(disk);
    controller->grant(aFile);

    const OpenPanelDescription& panel = toolkit_.panels[0].description;
    EXPECT_FALSE(panel.canChooseFiles);
    EXPECT_TRUE(panel.canChooseDirectories);
    EXPECT_FALSE(panel.allowsMultipleSelection);
    EXPECT_FALSE(panel.packagesAreItems);
    EXPECT_EQ(panel.startFolder, disk);
    EXPECT_EQ(panel.message, "Selectionnez ce volume pour autoriser Mivra a le lire.");
    EXPECT_EQ(panel.prompt, "Autoriser");
    EXPECT_EQ(toolkit_.panels[1].description.startFolder, aFile);
    EXPECT_EQ(captured.text(), "");
}

TEST_F(GrantTest, AMissingVolumeOpensOnTheVolumesFolderOrElseHome)
{
    const std::string missing = places_.volumesFolder + "/Absent";
    test::StderrCapture captured;
    controller->grant(missing);
    EXPECT_EQ(toolkit_.panels.back().description.startFolder, places_.volumesFolder);

    fs::remove(places_.volumesFolder);
    controller->grant(missing);
    EXPECT_EQ(toolkit_.panels.back().description.startFolder, places_.homeFolder);

    EXPECT_EQ(captured.text(),
              "[fenetre] volume \xc2\xab " + missing + " \xc2\xbb absent, ouverture sur " + places_.volumesFolder +
                  "\n[fenetre] volume \xc2\xab " + missing + " \xc2\xbb absent, ouverture sur " +
                  places_.homeFolder + "\n");
}

TEST_F(GrantTest, AGrantIsRecordedThenAnnouncedThenListed)
{
    grantAndChoose("/media/u/Disque \"1\"");
    EXPECT_EQ(toolkit_.calls, (Calls{
                                  "showOpenPanel",
                                  "startAccessing /media/u/Disque \"1\"",
                                  "evaluateScript " + GrantedScript("/media/u/Disque \"1\""),
                                  "evaluateScript " + AutorisesScript({"/media/u/Disque \"1\""}),
                              }));
}

TEST_F(GrantTest, CancelOrAGoneControllerLeavesNoTrace)
{
    controller->grant("/");
    toolkit_.completePanel(std::nullopt);
    controller->grant("/");
    controller.reset();
    toolkit_.completePanel("/");
    EXPECT_EQ(toolkit_.calls, (Calls{"showOpenPanel", "showOpenPanel"}));
}

TEST_F(GrantTest, WithdrawalRemovesEveryExactMatchAndAlwaysReportsTheList)
{
    grantAndChoose("/media/u/A");
    grantAndChoose("/media/u/B");
    grantAndChoose("/media/u/A");
    toolkit_.calls.clear();

    test::StderrCapture captured;
    for (const char* near : {"/media/u/a", "/media/u/A/", "/media/u"})
        controller->oublier(near);
    EXPECT_EQ(captured.text(), "");
    EXPECT_EQ(controller->granted(), (Calls{"/media/u/A", "/media/u/B", "/media/u/A"}));
    EXPECT_EQ(toolkit_.count("evaluateScript " + AutorisesScript(controller->granted())), 3u);

    toolkit_.calls.clear();
    controller->oublier("/media/u/A");
    EXPECT_EQ(toolkit_.calls, (Calls{
                                  "stopAccessing /media/u/A",
                                  "stopAccessing /media/u/A",
                                  "evaluateScript " + AutorisesScript({"/media/u/B"}),
                              }));
    EXPECT_EQ(captured.text(), "[fenetre] autorisation retiree : /media/u/A\n"
                               "[fenetre] autorisation retiree : /media/u/A\n");
}

TEST_F(GrantTest, AChosenProjectIsListedAndCanBeWithdrawn)
{
    const std::string project = file("projets/a.fcpxml");
    controller->choose();
    toolkit_.completePanel(project);
    grantAndChoose("/media/u/A");
    EXPECT_EQ(toolkit_.scripts.back(), AutorisesScript({project, "/media/u/A"}));

    controller->oublier(project);
    EXPECT_EQ(toolkit_.scripts.back(), AutorisesScript({"/media/u/A"}));
}

// ---- Menu commands and page dialogs ------------------------------------

using CommandTest = test::ControllerTest;

TEST_F(CommandTest, MenuActionsReachTheirCommands)
{
    auto controller = make();
    for (MenuAction action : {MenuAction::Hide, MenuAction::Quit, MenuAction::ToggleFullScreen, MenuAction::Undo,
                              MenuAction::Cut, MenuAction::Copy, MenuAction::Paste, MenuAction::SelectAll})
        controller->perform(action);
    const auto edit = [](MenuAction action) { return "editPage " + std::to_string(static_cast<int>(action)); };
    EXPECT_EQ(toolkit_.calls, (Calls{"minimise", "quit", "toggleFullScreen", edit(MenuAction::Undo),
                                     edit(MenuAction::Cut), edit(MenuAction::Copy), edit(MenuAction::Paste),
                                     edit(MenuAction::SelectAll)}));
}

TEST_F(CommandTest, AFileInputGetsOneItemOrNothingAndIsAnsweredOnce)
{
    auto controller = make();
    std::vector<std::optional<std::string>> answers;
    const auto record = [&](std::optional<std::string> chosen) { answers.push_back(chosen); };
    controller->runFileInput(record);
    controller->runFileInput(record);

    const OpenPanelDescription& panel = toolkit_.panels[0].description;
    EXPECT_TRUE(panel.canChooseFiles);
    EXPECT_TRUE(panel.canChooseDirectories);
    EXPECT_TRUE(panel.packagesAreItems);
    EXPECT_FALSE(panel.allowsMultipleSelection);
    EXPECT_FALSE(panel.canCreateDirectories);
    EXPECT_EQ(panel.startFolder, std::nullopt);
    EXPECT_EQ(panel.title + panel.message + panel.prompt, "");

    toolkit_.completePanel(0, "/p/Montage.fcpxmld");
    toolkit_.completePanel(0, std::nullopt);
    EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{"/p/Montage.fcpxmld", std::nullopt}));
    EXPECT_TRUE(toolkit_.scripts.empty());
    EXPECT_TRUE(controller->granted().empty());
}

TEST_F(CommandTest, AnAlertIsAnsweredWhenItCloses)
{
    auto controller = make();
    int answered = 0;
    controller->runAlert("Termine", [&] { ++answered; });
    EXPECT_EQ(toolkit_.calls, (Calls{"showAlert Termine"}));
    EXPECT_EQ(answered, 0);
    toolkit_.alertsClosing.front()();
    EXPECT_EQ(answered, 1);
}

}  // namespace
}  // namespace mivra
