#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "drop.h"
#include "page_script.h"
#include "stderr_capture.h"

namespace mivra {
namespace {

using Strings = std::vector<std::string>;

Drag Files(Strings paths)
{
    return Drag{std::move(paths), std::nullopt};
}

TEST(DroppedPath, OnlyAFirstFileWithOneOfTheFourSuffixesInAnyCaseCounts)
{
    for (const char* path : {"/p/Montage.FCPXMLD", "/p/a.fcpxmld", "/p/b.FcpXml", "/p/c.xml", "/p/d.aaf"})
        EXPECT_EQ(DroppedPath(Files({path, "/p/notes.txt"})), path) << path;
    for (const char* path : {"/p/rapport.aaf.txt", "/p/notes.txt", "/p/fcpxmld", "/p/xml", ""})
        EXPECT_EQ(DroppedPath(Files({path, "/p/montage.fcpxml"})), std::nullopt) << path;
    EXPECT_EQ(DroppedPath(Files({})), std::nullopt);

    test::StderrCapture captured;
    EXPECT_EQ(DroppedPath(Drag{{"/p/a.fcpxml"}, "liste illisible"}), std::nullopt);
    EXPECT_EQ(captured.text(), "[fenetre] depot ignore : liste illisible\n");
}

struct Receiver : DropTarget {
    void openPath(const std::string& path) override { opened.push_back(path); }
    Strings opened;
};

class DropWebViewTest : public ::testing::Test {
protected:
    std::shared_ptr<Receiver> receiver = std::make_shared<Receiver>();
    Strings scripts;
    DropWebView view{[this](const std::string& script) { scripts.push_back(script); }, receiver};
    const std::string yes = SurvolScript(true), no = SurvolScript(false);
};

TEST_F(DropWebViewTest, AcceptedDragHoversThenDropsOrLeaves)
{
    const Drag drag = Files({"/p/Montage.fcpxmld"});
    EXPECT_TRUE(view.draggingEntered(drag));
    EXPECT_TRUE(view.draggingUpdated(drag));
    EXPECT_TRUE(view.prepareForDragOperation(drag));
    EXPECT_EQ(scripts, (Strings{yes}));
    EXPECT_TRUE(view.performDragOperation(drag));
    EXPECT_EQ(scripts, (Strings{yes, no}));  // the hover ends before the page opens it
    EXPECT_EQ(receiver->opened, (Strings{"/p/Montage.fcpxmld"}));
    view.draggingEnded();
    EXPECT_EQ(scripts, (Strings{yes, no, no}));

    scripts.clear();
    EXPECT_TRUE(view.draggingEntered(Files({"/p/a.aaf"})));
    view.draggingExited();
    view.draggingEnded();
    EXPECT_EQ(scripts, (Strings{yes, no, no}));
    EXPECT_EQ(receiver->opened.size(), 1u);
}

TEST_F(DropWebViewTest, RefusedDragNeverSaysTrueAndADropWithTheTargetGoneIsRefused)
{
    const Drag drag = Files({"/p/notes.txt", "/p/montage.fcpxml"});
    EXPECT_FALSE(view.draggingEntered(drag));
    EXPECT_FALSE(view.draggingUpdated(drag));
    EXPECT_FALSE(view.prepareForDragOperation(drag));
    view.draggingExited();
    view.draggingEnded();
    EXPECT_FALSE(view.performDragOperation(Files({})));
    EXPECT_EQ(scripts, (Strings{no, no, no}));

    receiver.reset();
    EXPECT_FALSE(view.performDragOperation(Files({"/p/a.fcpxml"})));
    EXPECT_EQ(scripts.size(), 4u);
    EXPECT_EQ(scripts.back(), no);
}

}  // namespace
}  // namespace mivra
