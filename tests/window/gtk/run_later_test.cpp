// Deferred blocks on the main loop: each runs once, after its delay, in the
// order of its due time, and the loop lets go of what it captured.

#include <chrono>
#include <memory>
#include <vector>

#include <glib.h>
#include <gtest/gtest.h>

#include "gtk_toolkit.h"

namespace mivra {
namespace {

using namespace std::chrono_literals;

void RunLoopFor(std::chrono::milliseconds duration)
{
    g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
    g_timeout_add_full(G_PRIORITY_LOW, static_cast<guint>(duration.count()),
                       [](gpointer data) {
                           g_main_loop_quit(static_cast<GMainLoop*>(data));
                           return G_SOURCE_REMOVE;
                       },
                       loop, nullptr);
    g_main_loop_run(loop);
}

TEST(RunLaterTest, BlocksRunOnceInDueOrderAndAreReleased)
{
    GtkToolkit toolkit(nullptr);
    std::vector<int> ran;
    auto captured = std::make_shared<int>(0);
    const gint64 start = g_get_monotonic_time();
    gint64 firstRanAt = 0;

    toolkit.runLater(120ms, [&ran, captured] { ran.push_back(2); });
    toolkit.runLater(40ms, [&] {
        ran.push_back(1);
        firstRanAt = g_get_monotonic_time();
    });
    EXPECT_TRUE(ran.empty());
    RunLoopFor(300ms);

    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_GE(firstRanAt - start, 40'000);
    EXPECT_EQ(captured.use_count(), 1);
}

}  // namespace
}  // namespace mivra
