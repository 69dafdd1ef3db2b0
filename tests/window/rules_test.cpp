// The core's rules that need no Controller: the texts the window writes to the
// page, launch arguments, panels, the handle, drops, the dead page's rate and
// the window's size.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drop.h"
#include "page_script.h"
#include "rate_limit.h"
#include "settings.h"
#include "stderr_capture.h"
#include "toolkit.h"
#include "window_size.h"

namespace mivra {
namespace {

using namespace std::chrono_literals;

TEST(PageScripts, PathsAreEscapedForADoubleQuotedLiteralAndStayValidUtf8)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"(/a "b" \c)", R"(/a \"b\" \\c)"},
        {"/a\nb\rc", "/a\\nb\\rc"},
        {"\\\"\n", "\\\\\\\"\\n"},  // backslashes doubled first, never after
        {"/Vol/Cafe\xc3\xa9 l'\xe2\x80\xa8 tab\t \xf0\x9f\x8e\xac/P.fcpxmld",
         "/Vol/Cafe\xc3\xa9 l'\xe2\x80\xa8 tab\t \xf0\x9f\x8e\xac/P.fcpxmld"},
        {"", ""},
        {"/a/caf\xe9\"x", "/a/caf\xe9\\\"x"},  // other bytes as they are: the toolkit makes the script text
    };
    for (const auto& [path, escaped] : cases) {
        EXPECT_EQ(EscapedPath(path), escaped) << path;
        EXPECT_EQ(OpenPathScript(path), "window.__openPath(\"" + escaped + "\")");
    }
    // The callbacks' names are the page's (the end-to-end tests see __openPath and __survol arrive).
    EXPECT_EQ(SetFolderScript(true, "/w") + SetFolderScript(false, "/d") + GrantedScript("/g"),
              R"(window.__setTravail("/w")window.__setFolder("/d")window.__granted("/g"))");
    EXPECT_EQ(AutorisesScript({"/a", "/a", "/q\"\\", "/l\n\r", "/\xc3\xa9", "/caf\xe9"}),
              "window.__autorises && window.__autorises([\"/a\",\"/a\",\"/q\\\"\\\\\",\"/l\\n\\r\",\"/\xc3\xa9\","
              "\"/caf\xef\xbf\xbd\"])");
}

TEST(LaunchSettings, UrlOrProjectThenIconAndAnEmptyArgumentCountsAsNotGiven)
{
    const auto read = [](const std::vector<std::string>& arguments) {
        const LaunchSettings s = ReadLaunchSettings(arguments);
        return s.url + "|" + s.projetAuLancement + "|" + s.icon;
    };
    const std::string url = "http://127.0.0.1:8790/";
    EXPECT_EQ(read({}), url + "||");
    EXPECT_EQ(read({"http://localhost:9000/x"}), "http://localhost:9000/x||");
    EXPECT_EQ(read({"https://example.org/", "/icons/m.png"}), "https://example.org/||/icons/m.png");
    // Only a lower-case http:// or https:// prefix makes a URL.
    for (const char* project : {"HTTP://localhost/", "Https://example.org/", "http:/one-slash", "ftp://host/",
                                "/home/u/Montage.fcpxmld", "-v", "--help"})
        EXPECT_EQ(read({project, "/i.png"}), url + "|" + project + "|/i.png");
    EXPECT_EQ(read({"", "/icons/m.png", "third", "fourth"}), url + "||/icons/m.png");
    EXPECT_EQ(read({"/p/caf\xc3\xa9.fcpxml", ""}), url + "|/p/caf\xc3\xa9.fcpxml|");
}

TEST(PanelRule, PanelsForFilesEnterPlainFoldersAndTakePackagesWholeFolderPanelsTakeFolders)
{
    OpenPanelDescription project, packagesAsFolders, folders;
    project.canChooseFiles = packagesAsFolders.canChooseFiles = true;
    packagesAsFolders.packagesAreItems = false;
    std::string activations;  // Choose or Enter a file, a plain folder (a typed "~/"), a package; each panel in turn
    for (const auto& panel : {project, packagesAsFolders, folders}) {
        activations += activations.empty() ? "" : "/";
        for (const auto& [folder, package] : {std::pair{false, false}, {true, false}, {true, true}})
            activations += "CE"[static_cast<int>(ActivationOf(panel, folder, package))];
    }
    EXPECT_EQ(activations, "CEC/CEE/CCC");
}

using Strings = std::vector<std::string>;

Drag Files(Strings paths)
{
    return Drag{std::move(paths), std::nullopt};
}

// The path a drop hands on, "!" and the reason a drag could not be read, or "-".
std::string Shown(const DropVerdict& verdict)
{
    return verdict.path.value_or(verdict.reason ? "!" + *verdict.reason : "-");
}

TEST(DroppedPath, OnlyAFirstFileWithOneOfTheFourSuffixesInAnyCaseCountsAndAnUnreadableDragSaysWhy)
{
    for (const char* path : {"/p/Montage.FCPXMLD", "/p/a.fcpxmld", "/p/b.FcpXml", "/p/c.xml", "/p/d.aaf"})
        EXPECT_EQ(Shown(DroppedPath(Files({path, "/p/notes.txt"}))), path);
    for (const char* path : {"/p/rapport.aaf.txt", "/p/notes.txt", "/p/fcpxmld", "/p/xml", ""})
        EXPECT_EQ(Shown(DroppedPath(Files({path, "/p/montage.fcpxml"}))), "-") << path;
    EXPECT_EQ(Shown(DroppedPath(Files({}))), "-");
    EXPECT_EQ(Shown(DroppedPath(Drag{{"/p/a.fcpxml"}, "liste illisible"})), "!liste illisible");
}

// The page's hover callbacks ("+" shown, "-" ended) and the paths opened, in order.
struct Receiver : DropTarget {
    explicit Receiver(std::string& seen) : seen(seen) {}
    void openPath(const std::string& path) override { seen += " " + path; }
    std::string& seen;
};

TEST(DropWebView, ThePageHearsEachHoverChangeOnceAndAnAcceptedDropReachesTheTargetWhileItLives)
{
    std::string seen;
    auto target = std::make_shared<Receiver>(seen);
    DropWebView view(
        [&](const std::string& script) {
            seen += script == SurvolScript(true) ? "+" : script == SurvolScript(false) ? "-" : "?";
        },
        target);
    test::StderrCapture captured;
    const auto drag = [&](const Drag& drag, bool drop) {  // whether it was accepted, then taken or left
        seen += "|";
        const bool accepted = view.dragEntered(drag);
        const bool taken = drop ? view.dropped() : (view.dragLeft(), false);
        return std::string{"ny"[accepted], "ny"[taken]};
    };
    EXPECT_EQ(drag(Files({"/p/Montage.fcpxmld"}), true), "yy");
    EXPECT_EQ(drag(Files({"/p/a.aaf"}), false), "yn");
    EXPECT_EQ(drag(Files({"/p/notes.txt", "/p/montage.fcpxml"}), false), "nn");
    EXPECT_EQ(drag(Drag{{"/p/a.fcpxml"}, "liste illisible"}, true), "nn");  // dropped though refused
    target.reset();
    EXPECT_EQ(drag(Files({"/p/a.fcpxml"}), true), "yn");
    EXPECT_EQ(seen, "|+- /p/Montage.fcpxmld|+-|-|-|+-");  // the hover ends before the page opens the path
    EXPECT_EQ(captured.text(), "[fenetre] depot ignore : liste illisible\n");
}

TEST(RateLimitTest, AtMostCountInAnySpanAndRefusalsAreNotCounted)
{
    struct Case {
        std::string name;
        std::vector<int> seconds;  // when each event comes, from a common origin
        std::string allowed;       // 'y' or 'n' per event
    };
    const std::vector<Case> cases = {
        {"three at once, the fourth refused", {0, 0, 0, 0}, "yyyn"},
        {"the oldest leaves the span exactly a minute later", {0, 1, 2, 59, 60, 60, 61, 62}, "yyynynyy"},
        {"refusals do not keep the span full", {0, 10, 20, 30, 40, 50, 60, 70}, "yyynnnyy"},
        {"spread out, always allowed", {0, 30, 60, 90, 120, 150}, "yyyyyy"},
    };
    for (const Case& c : cases) {
        RateLimit limit(3, 1min);
        const RateLimit::Clock::time_point origin{};
        std::string got;
        for (int second : c.seconds)
            got += limit.allow(origin + std::chrono::seconds(second)) ? 'y' : 'n';
        EXPECT_EQ(got, c.allowed) << c.name;
    }
}

TEST(CentredOrigin, CentresOnTheWholeScreenOfItsMonitorOrTheOriginRoundingDown)
{
    EXPECT_EQ(CentredOrigin(Rectangle{1920, 0, 1281, 1024}, 1080, 740), (Point{2020, 142}));  // a second monitor
    EXPECT_EQ(CentredOrigin(std::nullopt, 1081, 740), (Point{-541, -370}));
}

TEST(FitInto, EachSideShrinksToTheAreaAndNoUsableAreaChangesNothing)
{
    struct Case {
        Size wanted;
        std::optional<Size> area;
        Size fitted;
    };
    for (const Case& c : std::vector<Case>{
             {{900, 620}, Size{960, 540}, {900, 540}},  // a 1920 x 1080 screen at twice the scale
             {{1280, 840}, Size{960, 540}, {960, 540}},
             {{1080, 740}, Size{1920, 1050}, {1080, 740}},
             {{1080, 740}, Size{1080, 740}, {1080, 740}},
             {{1080, 740}, std::nullopt, {1080, 740}},
             {{1080, 740}, Size{0, 0}, {1080, 740}},  // a monitor that reports no area yet
             {{1080, 740}, Size{800, -1}, {1080, 740}},
         })
        EXPECT_EQ(FitInto(c.wanted, c.area), c.fitted) << c.wanted.width << "x" << c.wanted.height;
}

TEST(SizeKeeping, OnlyTheLastSizeOfABurstIsWrittenOnceItSettlesOrAtCloseAndTheKeptOneNeverAgain)
{
    SizeKeeping keeping(Size{1080, 740});
    EXPECT_EQ(keeping.closing(), std::nullopt);  // never resized
    const auto first = keeping.resized({1100, 750}), last = keeping.resized({1280, 840});
    EXPECT_EQ(keeping.quietPeriodEnded(first), std::nullopt);
    EXPECT_EQ(keeping.quietPeriodEnded(last), (Size{1280, 840}));
    EXPECT_EQ(keeping.quietPeriodEnded(last), std::nullopt);  // written already
    EXPECT_EQ(keeping.closing(), std::nullopt);
    EXPECT_EQ(keeping.quietPeriodEnded(keeping.resized({1280, 840})), std::nullopt);  // back to the kept one
    keeping.resized({1000, 700});
    EXPECT_EQ(keeping.closing(), (Size{1000, 700}));  // closed within the quiet period
    EXPECT_EQ(keeping.closing(), std::nullopt);
    SizeKeeping firstRun(std::nullopt);
    EXPECT_EQ(firstRun.quietPeriodEnded(firstRun.resized({1080, 740})), (Size{1080, 740}));
}

}  // namespace
}  // namespace mivra
