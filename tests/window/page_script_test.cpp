#include <glib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "page_script.h"

namespace mivra {
namespace {

TEST(EscapedPath, EscapesWhatWouldEndOrBreakADoubleQuotedLiteral)
{
    EXPECT_EQ(EscapedPath(R"(/a "b" \c)"), R"(/a \"b\" \\c)");
    EXPECT_EQ(EscapedPath("/a\nb"), "/a\\nb");
    EXPECT_EQ(EscapedPath("/a\rb"), "/a\\rb");
    // Backslashes are doubled before the others are added, never after.
    EXPECT_EQ(EscapedPath("\\\"\n"), "\\\\\\\"\\n");
}

TEST(EscapedPath, LeavesEverythingElseAlone)
{
    const std::string untouched = "/Vol/Cafe\xc3\xa9 l'\xe2\x80\xa8 tab\t \xf0\x9f\x8e\xac/Projet.fcpxmld";
    EXPECT_EQ(EscapedPath(untouched), untouched);
    EXPECT_EQ(EscapedPath(""), "");
}

TEST(EscapedPath, ReplacesInvalidBytesSoThePathStillReachesThePage)
{
    const std::string escaped = EscapedPath("/a/caf\xe9\"x");
    EXPECT_TRUE(g_utf8_validate(escaped.c_str(), -1, nullptr));
    EXPECT_EQ(escaped, "/a/caf\xef\xbf\xbd\\\"x");
}

TEST(PageScripts, PathCallbacks)
{
    EXPECT_EQ(OpenPathScript("/p/Projet A.fcpxmld"), R"(window.__openPath("/p/Projet A.fcpxmld"))");
    EXPECT_EQ(OpenPathScript("/p/\"q\""), R"(window.__openPath("/p/\"q\""))");
    EXPECT_EQ(SetFolderScript(true, "/w"), R"(window.__setTravail("/w"))");
    EXPECT_EQ(SetFolderScript(false, "/d\\e"), R"(window.__setFolder("/d\\e"))");
    EXPECT_EQ(GrantedScript("/media/u/Disque"), R"(window.__granted("/media/u/Disque"))");
}

TEST(PageScripts, HoverCallbacks)
{
    EXPECT_EQ(SurvolScript(true), "window.__survol && window.__survol(true)");
    EXPECT_EQ(SurvolScript(false), "window.__survol && window.__survol(false)");
}

TEST(PageScripts, GrantedListIsACompactJsonArray)
{
    EXPECT_EQ(AutorisesScript({}), "window.__autorises && window.__autorises([])");
    EXPECT_EQ(AutorisesScript({"/a", "/a", "/b c"}),
              R"(window.__autorises && window.__autorises(["/a","/a","/b c"]))");
    EXPECT_EQ(AutorisesScript({"/q\"\\", "/l\n\r", "/\xc3\xa9"}),
              R"(window.__autorises && window.__autorises(["/q\"\\","/l\n\r","/)"
              "\xc3\xa9"
              R"("]))");
}

TEST(PageScripts, AnInvalidPathDoesNotEmptyTheList)
{
    const std::string script = AutorisesScript({"/ok", "/caf\xe9", "/ok2"});
    EXPECT_EQ(script, "window.__autorises && window.__autorises([\"/ok\",\"/caf\xef\xbf\xbd\",\"/ok2\"])");
}

}  // namespace
}  // namespace mivra
