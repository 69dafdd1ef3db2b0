#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "bridge.h"
#include "controller.h"
#include "page_script.h"
#include "project_copy.h"
#include "scratch_folder.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;
using Block = std::function<void()>;

const std::string kInterface = "http://127.0.0.1:8790/";
const std::string kGrantMessage = "Selectionnez ce volume pour autoriser Mivra a le lire.";

// Files, Directories, Packages as items, Creating folders; then
// start folder, preselected name, title, message and prompt ("-" for none).
std::string Shown(const OpenPanelDescription& d)
{
    std::string switches = "----";
    const bool on[] = {d.canChooseFiles, d.canChooseDirectories, d.packagesAreItems, d.canCreateDirectories};
    for (int i = 0; i < 4; ++i)
        if (on[i])
            switches[i] = "FDPC"[i];
    return switches + "|" + d.startFolder.value_or("-") + "|" + d.preselectedName.value_or("-") + "|" + d.title + "|" +
           d.message + "|" + d.prompt;
}

// A block the toolkit runs once its delay has passed.
struct Deferred {
    std::chrono::milliseconds due;
    Block block;
    void operator()() const { block(); }
};

// Records every call as "name argument" and keeps what the toolkit would run
// later (deferred and background blocks, panel and dialog answers) for the
// test to run.
struct FakeToolkit : Toolkit {
    Calls calls;
    std::vector<Deferred> deferred;
    std::chrono::milliseconds now{0};
    std::vector<Block> background;                   // the work, then its completion
    std::vector<PanelCompletion> panels;             // open and save panels
    std::vector<std::function<void(bool)>> answers;  // an alert's closing, a question's answer

    void buildWindow(const WindowDescription& d) override { calls.push_back("buildWindow " + d.iconPath); }
    void installMenu(const std::vector<MenuItem>&) override { calls.push_back("installMenu"); }
    void activate() override { calls.push_back("activate"); }
    void loadUrl(const std::string& url) override { calls.push_back("loadUrl " + url); }
    void reload() override { calls.push_back("reload"); }
    void replaceWebView(bool accelerated) override { calls.push_back("replaceWebView " + std::to_string(accelerated)); }
    void showFailure(const FailureView& f) override
    {
        calls.push_back("showFailure " + f.title + "|" + f.explanation + "|" + f.retry + "|" + f.hint);
    }
    void setZoom(double zoom) override { calls.push_back("setZoom " + (std::ostringstream() << zoom).str()); }
    std::string keptZoom() override { return "1.5"; }
    void evaluateScript(const std::string& script) override { calls.push_back("evaluateScript " + script); }
    void showOpenPanel(const OpenPanelDescription& d, PanelCompletion done) override
    {
        calls.push_back("showOpenPanel " + Shown(d));
        panels.push_back(std::move(done));
    }
    void showAlert(const std::string& title, const std::string& message, Block closed) override
    {
        calls.push_back("showAlert " + title + "|" + message);
        answers.push_back([closed = std::move(closed)](bool) { closed(); });
    }
    void showSavePanel(const SavePanelDescription& d, PanelCompletion done) override
    {
        calls.push_back("showSavePanel " + d.title + "|" + d.startFolder + "|" + d.name + "|" + d.prompt);
        panels.push_back(std::move(done));
    }
    void askToConfirm(const std::string& message, const std::string& confirm,
                      std::function<void(bool)> answered) override
    {
        calls.push_back("askToConfirm " + message + "|" + confirm);
        answers.push_back(std::move(answered));
    }
    void openInBrowser(const std::string& url) override { calls.push_back("openInBrowser " + url); }
    void openPrivacySettings() override { calls.push_back("openPrivacySettings"); }
    void runLater(std::chrono::milliseconds delay, Block block) override
    {
        calls.push_back("runLater " + std::to_string(delay.count()));
        deferred.push_back({now + delay, std::move(block)});
    }
    // Time passes: each block due by then runs, the soonest first.
    void pass(std::chrono::milliseconds span)
    {
        now += span;
        for (;;) {
            const auto next = std::min_element(deferred.begin(), deferred.end(),
                                               [](const Deferred& a, const Deferred& b) { return a.due < b.due; });
            if (next == deferred.end() || next->due > now)
                return;
            const Deferred due = std::move(*next);
            deferred.erase(next);
            due();
        }
    }
    void runInBackground(Block work, Block done) override
    {
        calls.push_back("runInBackground");
        background.push_back([work = std::move(work), done = std::move(done)] {
            work();
            done();
        });
    }
    void showWorking(bool working) override { calls.push_back("showWorking " + std::to_string(working)); }
    void startAccessing(const std::string& path) override { calls.push_back("startAccessing " + path); }
    void stopAccessing(const std::string& path) override { calls.push_back("stopAccessing " + path); }
    void minimise() override { calls.push_back("minimise"); }
    void toggleFullScreen() override { calls.push_back("toggleFullScreen"); }
    void quit() override { calls.push_back("quit"); }
    void editPage(MenuAction a) override { calls.push_back("editPage " + std::to_string(static_cast<int>(a))); }

    std::size_t count(const std::string& call) const { return std::count(calls.begin(), calls.end(), call); }
};

// Runs the oldest pending block or answer with the arguments; false when none is pending.
template <class Pending, class... Arguments>
bool RunOldest(std::vector<Pending>& pending, Arguments&&... arguments)
{
    if (pending.empty())
        return false;
    Pending oldest = std::move(pending.front());
    pending.erase(pending.begin());
    oldest(std::forward<Arguments>(arguments)...);
    return true;
}

// Each entry of the item by its path inside it: a folder "/", a link its
// target, a file its content (a large one its size).
std::map<std::string, std::string> Tree(const fs::path& item)
{
    const auto shown = [](const fs::path& entry) {
        if (fs::is_symlink(entry))
            return "-> " + fs::read_symlink(entry).string();
        if (fs::is_directory(entry))
            return std::string("/");
        if (fs::file_size(entry) > 64)
            return std::to_string(fs::file_size(entry)) + " bytes";
        std::stringstream content;
        content << std::ifstream(entry).rdbuf();
        return content.str();
    };
    std::map<std::string, std::string> tree{{".", shown(item)}};
    if (fs::is_directory(item) && !fs::is_symlink(item))
        for (const auto& entry : fs::recursive_directory_iterator(item))
            tree[fs::relative(entry.path(), item).string()] = shown(entry.path());
    return tree;
}

// The path the page was asked to open by the call.
std::string OpenedPath(const std::string& call)
{
    static const std::regex openPath(R"re(evaluateScript window\.__openPath\("(.*)"\))re");
    std::smatch match;
    return std::regex_match(call, match, openPath) ? match[1].str() : "not opened: " + call;
}

std::string InParentheses(const std::string& text)
{
    return "(" + text + ")";
}

// A Controller on the fake toolkit; its folders are temporary.
class ControllerTest : public ::testing::Test {
protected:
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

    ScratchFolder scratch_;
    const fs::path& root_ = scratch_.path();
    Places places_{folder("tmp"), folder("home"), folder("home/Desktop"), folder("volumes"), folder("home/Downloads")};
    FakeToolkit toolkit_;
    std::shared_ptr<Controller> controller = make();
};

// When the window reloads is the trace table's.
TEST_F(ControllerTest, TheFailureShowsOnceAfter40ReloadsTheUsersSpendingNoneAndAReloadOutlivingItsControllerDoesNothing)
{
    controller->refresh();
    controller->perform(MenuAction::Refresh);
    testing::internal::CaptureStderr();
    for (int failure = 0; failure < 60; ++failure) {
        controller->navigationFailed(kInterface);
        while (RunOldest(toolkit_.deferred)) {}
    }
    const std::string failure = toolkit_.calls.back();
    EXPECT_EQ(toolkit_.count(failure), 1u);
    EXPECT_EQ(toolkit_.count("runLater 300"), 40u);
    EXPECT_EQ(failure, "showFailure Le serveur local ne repond pas|Mivra n'a pas pu charger son interface : aucun "
                       "serveur ne repond a l'adresse http://127.0.0.1:8790/.|Reessayer|Ou appuyez sur Ctrl+R.");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[fenetre] page d'echec affichee : le serveur local ne repond pas\n");
    toolkit_.calls.clear();
    make()->navigationFailed(kInterface);  // a controller gone before its reload
    EXPECT_TRUE(RunOldest(toolkit_.deferred));
    EXPECT_EQ(toolkit_.calls, (Calls{"runLater 300"}));
}

TEST_F(ControllerTest, WhatTheWindowDoesAsPagesLoadFailOrDieAndWhenTheLaunchProjectOpens)
{
    // Events: a load of the Interface, one of its Pages, Another site or an Empty address finishes; one of
    // the interface Fails, one of another site fails (X); the page's process Crashes; the user Reloads; the
    // launch Second passes; a file h is Handed over by another launch; the user follows a Mail link, a script
    // goes to one (m); the view is about to load the interface (N). After each, what the window did: load the
    // interface (l), reload the page (r), wait to load it again (w), come forward (a), show the failure (n),
    // hand an address to the desktop (o), let the view go (+) or stop it (-), open a path (in brackets),
    // replace the view by a fresh one (v), one without acceleration (u).
    // Nine minutes (9) or one (1) pass.
    const auto repeated = [](const std::string& part, int times) {
        std::string whole;
        while (times-- > 0)
            whole += part;
        return whole;
    };
    const std::tuple<std::string, std::string, std::string> rows[] = {
        // WebKit's reload only when the view holds a page of the interface; the user's spend no budget.
        {"", "R", "Rl"},
        {"", "FR", "FwRl"},
        {"", "PR", "PRr"},
        {"", "IFR", "IFwRl"},
        {"", "FIR", "FwIRr"},
        {"", "IAR", "IARl"},
        {"", "ICIR", "IClIRr"},
        {"", "ICR", "IClRl"},
        // Another site's failure leaves the page; only the desktop opens what no web view shows.
        {"", "IXR", "IXRr"},
        {"", "MmN", "M-om-N+"},
        // A dead page: at once, outside the budget, three times a minute; then once without acceleration,
        // then the failure in the window's widgets, whose "Reessayer" starts over with a fresh view.
        {"", "CCCCCCR", "ClClClCulCnCRvl"},
        {"", "CCCCICR", "ClClClCulICnRul"},   // acceleration stays off once a page loaded without it
        {"", "FCCCCCSS", "FwClClClCulCnSS"},  // a reload still waiting leaves the failure shown
        // The budget is not given back when the interface loads; starting over from the failure renews it.
        {"", repeated("IF", 41), repeated("IFw", 40) + "IFn"},
        {"", repeated("F", 41) + "RF", repeated("Fw", 40) + "FnRvlFw"},
        // An interface loaded ten minutes without a failure earns it back; nine, or a failure meanwhile, do not.
        {"", repeated("F", 40) + "I91F", repeated("Fw", 40) + "I9" + repeated("l", 40) + "1Fw"},
        {"", repeated("F", 39) + "I9F1F", repeated("Fw", 39) + "I9" + repeated("l", 39) + "Fw1lFn"},
        // The launch project waits for the second and the interface's first load, then opens once.
        {"-v", "SAEPI", "SAEP(-v)I"},
        {"relatif/M.fcpxmld", "IS", "IS(relatif/M.fcpxmld)"},
        {"c", "HISH", "HaIS(c)(h)Ha(h)"},  // files handed over wait behind it, then go at once
        {"", "HSI", "HaSI(h)"},
    };
    for (const auto& [project, events, expected] : rows) {
        toolkit_.deferred.clear();
        controller = make(LaunchSettings{kInterface, project, ""});
        controller->build();
        toolkit_.calls.clear();
        std::string trace;
        for (const char event : events) {
            trace += event;
            if (event == 'F' || event == 'X')
                controller->navigationFailed(event == 'F' ? kInterface : "https://example.org/");
            else if (event == 'C')
                controller->webProcessEnded(PageProcessEnd::Crashed);
            else if (event == 'R')
                controller->perform(MenuAction::Refresh);
            else if (event == 'S')
                RunOldest(toolkit_.deferred);
            else if (event == 'H')
                controller->openFile("h");
            else if (event == '9' || event == '1')
                toolkit_.pass(std::chrono::minutes(event - '0'));
            else if (event == 'M' || event == 'm' || event == 'N')
                trace += controller->navigationRequested(event == 'N' ? kInterface : "mailto:a@b.fr", event == 'M')
                             ? "+"
                             : "-";
            else
                controller->pageFinishedLoading(event == 'I'   ? kInterface
                                                : event == 'P' ? kInterface + "accueil"
                                                : event == 'A' ? "https://example.org/"
                                                               : "");
            for (const std::string& call : std::exchange(toolkit_.calls, {}))
                trace += call.starts_with("loadUrl ")            ? "l"
                         : call == "reload"                      ? "r"
                         : call == "runLater 300"                ? "w"
                         : call == "runLater 600000"             ? ""  // the ten minutes, let pass by 9 and 1
                         : call == "activate"                    ? "a"
                         : call.starts_with("showFailure ")      ? "n"
                         : call == "replaceWebView 1"            ? "v"
                         : call == "replaceWebView 0"            ? "u"
                         : call == "openInBrowser mailto:a@b.fr" ? "o"
                                                                 : InParentheses(OpenedPath(call));
        }
        EXPECT_EQ(trace, expected) << project << " " << events;
    }
    controller->presentAgain();  // another launch with nothing to open
    EXPECT_EQ(toolkit_.calls, (Calls{"activate"}));
    // A rendering the user chose by a variable stands: no retry without acceleration.
    controller = make(LaunchSettings{kInterface, "", "", true});
    for (int death = 0; death < 5; ++death)
        controller->webProcessEnded(PageProcessEnd::Crashed);
    EXPECT_EQ(toolkit_.count("replaceWebView 0"), 0u);
    EXPECT_TRUE(toolkit_.calls.back().starts_with("showFailure "));
}

TEST_F(ControllerTest, EachChoiceIsGrantedAtOnceThenCopiedWholeInTheBackgroundAndOpenedFromItsCopy)
{
    file("projets/Projet A.fcpxmld/Info.plist", "info");
    file("projets/Projet A.fcpxmld/Contents/x.fcpxml", "<fcpxml/>");
    file("projets/Projet A.fcpxmld/1.mov", std::string((1 << 20) + 1, 'x'));  // more than one block
    folder("projets/Projet A.fcpxmld/vide");
    fs::create_symlink("/nulle/part", root_ / "projets/Projet A.fcpxmld/lien");
    file("projets/a.fcpxml", "<fcpxml/>");
    folder("projets/Tube.fcpxmld");
    ASSERT_EQ(mkfifo((root_ / "projets/Tube.fcpxmld/tube").c_str(), 0600), 0);
    const std::string inside = "the temporary folder lies inside the chosen item";
    // What is chosen, and why it is opened where it is rather than from a copy.
    const std::pair<std::string, std::string> rows[] = {
        {"projets/Projet A.fcpxmld", ""},
        {"projets/a.fcpxml", ""},
        {"projets/a.fcpxml", ""},  // each choice has a copy of its own
        {"projets/parti.fcpxmld", "No such file or directory"},
        {"projets/Tube.fcpxmld", "Operation not supported"},  // a pipe cannot be copied
        {"", inside},  // a folder holding the temporary folder is never copied into itself
        {"tmp", inside},
        {"./tmp/../", inside},
    };
    Calls chosen;
    std::string logs;
    for (const auto& [relative, reason] : rows) {
        chosen.push_back((root_ / relative).string());
        controller->perform(MenuAction::OpenDialog);
        RunOldest(toolkit_.panels, chosen.back());
        if (!reason.empty())
            logs += "[fenetre] copie temporaire du projet impossible : " + reason + "\n";
    }
    controller->direLesAutorises();
    EXPECT_EQ(toolkit_.calls.back(), "evaluateScript " + AutorisesScript(chosen));  // granted at once
    EXPECT_TRUE(fs::is_empty(places_.temporaryFolder));
    EXPECT_EQ(toolkit_.count("showWorking 1"), 1u);
    toolkit_.calls.clear();
    testing::internal::CaptureStderr();
    Calls opened;
    while (RunOldest(toolkit_.background)) {
        EXPECT_EQ(toolkit_.count("showWorking 0"), toolkit_.background.empty() ? 1u : 0u);  // after the last copy
        opened.push_back(OpenedPath(toolkit_.calls.back()));
    }
    const std::regex copyName("Mivra-import-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}-");
    for (std::size_t row = 0; row < opened.size(); ++row) {
        const fs::path path = opened[row];
        if (!rows[row].second.empty()) {
            EXPECT_EQ(path, chosen[row]);
            continue;
        }
        const std::string name = path.filename().string();
        EXPECT_EQ(path.parent_path(), places_.temporaryFolder);
        EXPECT_TRUE(std::regex_match(name.substr(0, 50), copyName)) << name;
        EXPECT_EQ(name.substr(50), fs::path(chosen[row]).filename().string());
        EXPECT_EQ(Tree(path), Tree(chosen[row])) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(places_.temporaryFolder), fs::directory_iterator()), 3);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), logs);
    // A window that goes stops the copies: one not yet begun copies nothing.
    std::atomic<bool> stop = true;
    EXPECT_EQ(std::get<CopyFailure>(CopyToTemporaryFolder(chosen[0], places_.temporaryFolder, stop)).reason,
              "copy stopped");
    controller->perform(MenuAction::OpenDialog);
    RunOldest(toolkit_.panels, chosen[0]);
    controller.reset();
    toolkit_.calls.clear();
    RunOldest(toolkit_.background);
    EXPECT_EQ(toolkit_.calls, Calls{});
    EXPECT_EQ(std::distance(fs::directory_iterator(places_.temporaryFolder), fs::directory_iterator()), 3);
}

TEST_F(ControllerTest, AnAnsweredPanelGrantsOrSetsItsFolderAndACancelOrAControllerGoneDoesNothing)
{
    const std::string disk = "/media/u/Disque \"1\"";
    const struct {
        std::function<void()> show;
        std::optional<std::string> chosen;
        Calls expected;
    } rows[] = {
        {[&] { controller->grant("/"); },
         disk,
         {"startAccessing " + disk, "evaluateScript " + GrantedScript(disk),
          "evaluateScript " + AutorisesScript({disk})}},
        {[&] { controller->grant("/"); }, std::nullopt, {}},
        {[&] { controller->chooseFolder("", "travail"); }, "/w", {R"(evaluateScript window.__setTravail("/w"))"}},
        {[&] { controller->chooseFolder("", "Travail"); }, "/d", {R"(evaluateScript window.__setFolder("/d"))"}},
        {[&] { controller->chooseFolder("", "travail"); }, std::nullopt, {}},
        {[&] { controller->choose(); }, std::nullopt, {}},
    };
    for (const auto& row : rows) {
        row.show();
        toolkit_.calls.clear();
        RunOldest(toolkit_.panels, row.chosen);
        EXPECT_EQ(toolkit_.calls, row.expected) << row.chosen.value_or("cancelled");
    }
    controller->grant("/");
    controller->chooseFolder("", "travail");
    controller->choose();
    controller.reset();
    toolkit_.calls.clear();
    while (RunOldest(toolkit_.panels, "/nulle/part")) {}
    EXPECT_EQ(toolkit_.calls, Calls{});
}

TEST_F(ControllerTest, WithdrawalRemovesEveryExactMatchAndAlwaysReportsTheList)
{
    for (const char* disk : {"/media/u/A", "/media/u/B", "/media/u/A"}) {
        controller->grant(disk);
        RunOldest(toolkit_.panels, disk);
    }
    toolkit_.calls.clear();
    testing::internal::CaptureStderr();
    for (const char* near : {"/media/u/a", "/media/u/A/", "/media/u"})
        controller->oublier(near);
    EXPECT_EQ(toolkit_.calls,
              Calls(3, "evaluateScript " + AutorisesScript({"/media/u/A", "/media/u/B", "/media/u/A"})));
    toolkit_.calls.clear();
    controller->oublier("/media/u/A");
    EXPECT_EQ(toolkit_.calls, (Calls{"stopAccessing /media/u/A", "stopAccessing /media/u/A",
                                     "evaluateScript " + AutorisesScript({"/media/u/B"})}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[fenetre] autorisation retiree : /media/u/A\n"
                                                      "[fenetre] autorisation retiree : /media/u/A\n");
}

TEST_F(ControllerTest, ADownloadIsSavedWhereTheUserSaysReplacingOnlyWhenConfirmedAndFailedOnesLeaveNothing)
{
    std::vector<std::optional<std::string>> answers;
    const auto download = [&](const std::string& suggested) {
        controller->decideDownload(suggested, [&](std::optional<std::string> path) { answers.push_back(path); });
        return toolkit_.calls.back();
    };
    const std::string panel = "showSavePanel Enregistrer le telechargement|" + places_.downloadsFolder + "|";
    // Only a name is taken from the page.
    const std::pair<std::string, std::string> names[] = {{"export.json", "export.json"}, {"../../.bashrc", ".bashrc"},
                                                         {"/etc/passwd", "passwd"},      {"", "telechargement"},
                                                         {"..", "telechargement"},       {"a/", "telechargement"}};
    for (const auto& [suggested, offered] : names) {
        EXPECT_EQ(download(suggested), panel + offered + "|Enregistrer");
        RunOldest(toolkit_.panels, std::nullopt);  // cancel: nothing to write
    }
    EXPECT_EQ(answers, decltype(answers)(6));
    answers.clear();
    const std::string fresh = places_.downloadsFolder + "/new.json", taken = file("home/Downloads/export.json");
    download("new.json");
    RunOldest(toolkit_.panels, fresh);
    download("export.json");
    RunOldest(toolkit_.panels, taken);
    EXPECT_EQ(
        toolkit_.calls.back(),
        "askToConfirm Un element nomme \u00AB export.json \u00BB existe deja. Voulez-vous le remplacer ?|Remplacer");
    RunOldest(toolkit_.answers, false);  // back to the panel, same folder and name
    EXPECT_EQ(toolkit_.calls.back(), panel + "export.json|Enregistrer");
    RunOldest(toolkit_.panels, taken);
    RunOldest(toolkit_.answers, true);
    // Each is written to a temporary file of its own beside the name chosen, which keeps its file meanwhile.
    ASSERT_EQ(answers.size(), 2u);
    for (const auto& answer : answers) {
        ASSERT_TRUE(answer);
        const fs::path written = *answer;
        EXPECT_EQ(written.parent_path(), places_.downloadsFolder);
        EXPECT_TRUE(written.filename().string().starts_with(".Mivra-telechargement-")) << written;
        std::ofstream(written) << "nouveau";
    }
    const auto inDownloads = [&] {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(places_.downloadsFolder))
            files[entry.path().filename()] = Tree(entry.path())["."];
        return files;
    };
    using Files = std::map<std::string, std::string>;
    controller->downloadFailed(*answers[1]);  // the replacing one fails: the old file stays
    controller->downloadFinished(*answers[0]);
    EXPECT_EQ(inDownloads(), (Files{{"new.json", "nouveau"}, {"export.json", "x"}}));
    download("export.json");
    RunOldest(toolkit_.panels, taken);
    RunOldest(toolkit_.answers, true);
    ASSERT_TRUE(answers.back());
    std::ofstream(*answers.back()) << "nouveau";
    controller->downloadFinished(*answers.back());
    // A controller gone meanwhile drops the download, and one still running leaves nothing.
    download("late.json");
    RunOldest(toolkit_.panels, places_.downloadsFolder + "/late.json");
    download("late.json");
    controller.reset();
    RunOldest(toolkit_.panels, fresh);
    EXPECT_EQ(answers.back(), std::nullopt);
    make()->downloadFailed(taken);  // only its own temporary files are removed
    EXPECT_EQ(inDownloads(), (Files{{"new.json", "nouveau"}, {"export.json", "nouveau"}}));
}

// The zoom kept at the last run comes back at launch; the zoom keys step between a browser's levels, up to 3
// and down to 0.5.
TEST_F(ControllerTest, TheZoomKeysStepTheZoomFromTheOneKept)
{
    controller->build();
    std::erase_if(toolkit_.calls, [](const std::string& call) { return !call.starts_with("setZoom "); });
    std::string zooms;
    for (const char key : std::string("++++++++-0-----"))
        controller->perform(key == '+' ? MenuAction::ZoomIn : key == '-' ? MenuAction::ZoomOut : MenuAction::ZoomReset);
    for (const std::string& call : toolkit_.calls)
        zooms += call.substr(std::string("setZoom ").size()) + " ";
    EXPECT_EQ(zooms, "1.5 1.75 2 2.5 3 3 3 3 3 2.5 1 0.9 0.8 0.67 0.5 0.5 ");
}

TEST_F(ControllerTest, AFileInputGetsOneItemOrNothingAndOfThePageDialogsOnlyAnAlertIsShown)
{
    Calls answers;
    for (int input = 0; input < 2; ++input)
        controller->runFileInput([&](std::optional<std::string> chosen) { answers.push_back(chosen.value_or("-")); });
    RunOldest(toolkit_.panels, "/p/Montage.fcpxmld");
    RunOldest(toolkit_.panels, std::nullopt);
    // A confirm and a prompt are declined and leaving is allowed, each at once; an alert is answered once closed.
    const std::pair<PageDialog, std::string> dialogs[] = {{PageDialog::Alert, "Termine\n3 fichiers"},
                                                          {PageDialog::Confirm, "Continuer ?"},
                                                          {PageDialog::Prompt, "Nom ?"},
                                                          {PageDialog::LeavePage, "Quitter ?"}};
    for (const auto& [dialog, message] : dialogs)
        controller->runPageDialog(dialog, message,
                                  [&, shown = message](bool yes) { answers.push_back(shown + (yes ? "+" : "-")); });
    RunOldest(toolkit_.answers, false);
    EXPECT_EQ(answers,
              (Calls{"/p/Montage.fcpxmld", "-", "Continuer ?-", "Nom ?-", "Quitter ?+", "Termine\n3 fichiers+"}));
    // Each titled by the text it shows first.
    const std::string input = "showOpenPanel FDP-|-|-|Choisir un fichier||";
    EXPECT_EQ(toolkit_.calls, (Calls{input, input, "showAlert Termine|Termine\n3 fichiers"}));
}

BridgeMessage Message(std::map<std::string, std::string> strings, std::set<std::string> nonStrings = {})
{
    return BridgeMessage{true, std::move(strings), std::move(nonStrings)};
}

TEST_F(ControllerTest, EachMessageRunsItsActionWithItsDefaultsAndPanel)
{
    const std::string disk = folder("volumes/Disque"), aFile = file("volumes/Disque/a.mov"), work = folder("work");
    const std::string missing = places_.volumesFolder + "/Absent";
    const std::string travail = "Choisissez le dossier ou Mivra decoupera les regions. "
                                "Il y ecrit temporairement bien plus que la taille de l'AAF livre.";
    const std::string destination = "Choisissez le dossier de destination de l'AAF.";
    const auto pick = [&](const std::string& preselected) {
        return "showOpenPanel FDP-|" + places_.desktopFolder + "|" + preselected +
               "|Choisir un projet Final Cut||Analyser";
    };
    const auto grant = [](const std::string& start) {
        return "showOpenPanel -D--|" + start + "|-|Autoriser un volume|" + kGrantMessage + "|Autoriser";
    };
    const auto chooseFolder = [&](const std::string& start, const std::string& message) {
        const std::string title = message == travail ? "travail" : "destination";
        return "showOpenPanel -DPC|" + start + "|-|Choisir le dossier de " + title + "|" + message + "|Choisir";
    };
    const auto dispatch = [&](const BridgeMessage& message) {
        toolkit_.calls.clear();
        Bridge(kInterface, controller->bridgeOperations()).receive(message, kInterface);
        std::string asked;
        for (const std::string& call : toolkit_.calls)
            asked += (asked.empty() ? "" : "; ") + call;
        return asked;
    };
    testing::internal::CaptureStderr();
    const std::vector<std::pair<BridgeMessage, std::string>> cases = {
        {Message({{"action", "pick"}, {"path", "/ignored"}}), pick("-")},
        // No path: the volumes folder itself, not as a fallback.
        {Message({{"action", "grant"}}), grant(places_.volumesFolder)},
        {Message({{"action", "grant"}, {"path", ""}}), grant(places_.volumesFolder)},
        {Message({{"action", "grant"}, {"path", disk}}), grant(disk)},
        {Message({{"action", "grant"}, {"path", aFile}}), grant(aFile)},
        {Message({{"action", "grant"}, {"path", missing}}), grant(places_.volumesFolder)},  // logged
        {Message({{"action", "folder"}}), chooseFolder("-", destination)},
        {Message({{"action", "folder"}, {"path", work}, {"pour", "travail"}}), chooseFolder(work, travail)},
        // Only an existing folder is where a folder panel starts.
        {Message({{"action", "folder"}, {"path", aFile}, {"pour", "destination"}}), chooseFolder("-", destination)},
        {Message({{"action", "folder"}, {"path", missing}}), chooseFolder("-", destination)},
        {Message({{"action", "ouvrir"}, {"url", "https://example.org/aide?x=1"}}),
         "openInBrowser https://example.org/aide?x=1"},
        {Message({{"action", "autorises"}}), "evaluateScript window.__autorises && window.__autorises([])"},
        {Message({{"action", "oublier"}, {"path", "/x"}}), "evaluateScript " + AutorisesScript({})},
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
    // The demo project is preselected once it is there; with no volumes folder, a grant opens on the home folder.
    folder("home/Desktop/Mivra Demo.fcpxmld");
    EXPECT_EQ(dispatch(Message({{"action", "pick"}})), pick("Mivra Demo.fcpxmld"));
    fs::remove_all(places_.volumesFolder);
    EXPECT_EQ(dispatch(Message({{"action", "grant"}, {"path", missing}})), grant(places_.homeFolder));
    const std::string absent = "[fenetre] volume \xc2\xab " + missing + " \xc2\xbb absent, ouverture sur ";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              absent + places_.volumesFolder + "\n" + absent + places_.homeFolder + "\n");
}

TEST_F(ControllerTest, MessagesAreHonouredOnlyFromPagesOfTheInterfaceOrigin)
{
    const auto honoured = [&](const std::string& interfaceUrl, const std::string& pageUri) {
        toolkit_.calls.clear();
        Bridge(interfaceUrl, controller->bridgeOperations()).receive(Message({{"action", "settings"}}), pageUri);
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

// The toolkit may signal while the window goes: nothing reaches the Controller then, and what waits for an
// answer gets the one that drops it.
TEST_F(ControllerTest, TheToolkitsEventsDoNothingOnceTheControllerIsGone)
{
    const ToolkitEvents events = controller->toolkitEvents();
    controller.reset();
    std::optional<std::string> destination = "not answered";
    events.downloads.decide("a.json", [&](std::optional<std::string> path) { destination = std::move(path); });
    EXPECT_EQ(destination, std::nullopt);
    EXPECT_TRUE(events.webView.navigationRequested("mailto:a@b.fr", true));
    EXPECT_FALSE(events.dropped("/p/a.fcpxml"));
    events.webView.message(Message({{"action", "settings"}}), kInterface);
    events.webView.navigationFailed(kInterface);
    events.menu(MenuAction::Quit);
    EXPECT_EQ(toolkit_.calls, Calls{});
}

}  // namespace
}  // namespace mivra
