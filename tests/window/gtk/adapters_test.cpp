// The GTK adapters' own rules, run without a display: script messages, the
// panels' package rule and blocks run later or in the background.

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <jsc/jsc.h>

#include "bridge_channel.h"
#include "gtk_toolkit.h"
#include "open_panel.h"
#include "scratch_folder.h"

namespace mivra {
namespace {

using namespace std::chrono_literals;
// "{key=value ...} [keys of other values]", or "-" for no object, "-!" for one that carries keys anyway.
std::string Shown(const BridgeMessage& message)
{
    if (!message.isObject)
        return message.strings.empty() && message.nonStrings.empty() ? "-" : "-!";
    std::string text = "{";
    for (const auto& [key, value] : message.strings)
        text += " " + key + "=" + value;
    text += " } [";
    for (const std::string& key : message.nonStrings)
        text += " " + key;
    return text + " ]";
}

TEST(ScriptMessageTest, StringKeysAreReadOtherValuesAndStringsHoldingANulAreSetApart)
{
    g_autoptr(JSCContext) context = jsc_context_new();
    const auto read = [&](const char* script) {
        g_autoptr(JSCValue) body = jsc_context_evaluate(context, script, -1);
        return MessageFromValue(body);
    };
    const std::pair<const char*, std::string> objects[] = {
        {"({action: 'folder', path: '/tmp/a \"b\"', pour: 'travail', url: 'https://x.fr', other: 'z'})",
         "{ action=folder path=/tmp/a \"b\" pour=travail url=https://x.fr } [ ]"},
        {"({action: 'grant', path: 3, pour: null, url: ['https://x.fr']})", "{ action=grant } [ path pour url ]"},
        {"({action: 'autorises\\u0000x', url: 'https://x.fr/\\u0000evil'})", "{ } [ action url ]"},
        {"({})", "{ } [ ]"}};
    for (const auto& [body, shown] : objects)
        EXPECT_EQ(Shown(read(body)), shown) << body;
    for (const char* body :
         {"'pick'", "42", "null", "undefined", "true", "(() => { const a = ['x']; a.action = 'pick'; return a; })()"})
        EXPECT_EQ(Shown(read(body)), "-") << body;
}

TEST(OpenPanelTest, OnlyFoldersNamedAsProjectsAreItems)
{
    const ScratchFolder scratch;
    const std::string root = scratch.path().string();
    g_mkdir((root + "/Projet A.FCPXMLD").c_str(), 0700);
    g_mkdir((root + "/plain").c_str(), 0700);
    g_file_set_contents((root + "/file.fcpxmld").c_str(), "x", -1, nullptr);
    for (const auto& [name, item] : std::vector<std::pair<std::string, bool>>{
             {"/Projet A.FCPXMLD", true}, {"/plain", false}, {"/file.fcpxmld", false}, {"/missing.fcpxmld", false}}) {
        g_autoptr(GFile) file = g_file_new_for_path((root + name).c_str());
        EXPECT_EQ(IsPackageItem(file), item) << name;
    }
}

TEST(GtkToolkitBlocksTest, ALaterBlockRunsOnceAndIsReleasedBackgroundWorkRunsOffTheMainThreadItsEndOnIt)
{
    GtkToolkit toolkit(nullptr);
    GThread* const main = g_thread_self();
    GThread* worker = nullptr;
    GThread* finisher = nullptr;
    bool waited = false;
    auto captured = std::make_shared<int>(0);
    toolkit.runLater(40ms, [captured] { ++*captured; });
    toolkit.runLater(200ms, [&] { waited = true; });
    toolkit.runInBackground([&] { worker = g_thread_self(); }, [&] { finisher = g_thread_self(); });
    while (!waited || !finisher)
        g_main_context_iteration(nullptr, TRUE);
    EXPECT_EQ(*captured, 1);
    EXPECT_EQ(captured.use_count(), 1);  // a block kept after it ran would hold it
    EXPECT_NE(worker, main);
    EXPECT_EQ(finisher, main);
}

}  // namespace
}  // namespace mivra
