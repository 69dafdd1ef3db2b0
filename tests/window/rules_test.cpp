// The core's rules that need no Controller: the texts the window writes to the
// page, panels and drops.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drop.h"
#include "page_script.h"
#include "toolkit.h"
#include "zoom_level.h"

namespace mivra {
namespace {

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

// What the key file holds may be hand-edited or cut short.
TEST(KeptZoom, OnlyAWholeNumberWithinTheStepsIsAZoomAnythingElseThePagesOwnSize)
{
    const std::pair<std::string, double> rows[] = {
        {"1.5", 1.5}, {"0.5", 0.5}, {"3", 3},    {"1.3", 1.3}, {"", 1},    {"1,5", 1},  {"1.5x", 1},
        {" 2", 1},    {"0.49", 1},  {"3.01", 1}, {"nan", 1},   {"inf", 1}, {"-1.5", 1}, {"1e308", 1},
    };
    for (const auto& [kept, zoom] : rows)
        EXPECT_EQ(KeptZoom(kept), zoom) << kept;
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
struct Receiver {
    explicit Receiver(std::string& seen) : seen(seen) {}
    void openPath(const std::string& path) { seen += " " + path; }
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
        [weak = std::weak_ptr(target)](const std::string& path) {
            const auto receiver = weak.lock();
            if (receiver)
                receiver->openPath(path);
            return receiver != nullptr;
        });
    testing::internal::CaptureStderr();
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
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[fenetre] depot ignore : liste illisible\n");
}

}  // namespace
}  // namespace mivra
