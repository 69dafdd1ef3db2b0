#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "drop.h"
#include "page_script.h"
#include "stderr_capture.h"

namespace mivra {
namespace {

Drag Files(std::vector<std::string> paths)
{
    return Drag{std::move(paths), std::nullopt};
}

TEST(DroppedPath, AcceptsTheFourSuffixesInAnyCaseAndKeepsThePathAsGiven)
{
    for (const char* path : {"/p/Montage.FCPXMLD", "/p/a.fcpxmld", "/p/b.FcpXml", "/p/c.xml", "/p/d.aaf",
                             "/p/Export.aaf", "/p/notes.xml"})
        EXPECT_EQ(DroppedPath(Files({path})), path) << path;
}

TEST(DroppedPath, RefusesOtherNames)
{
    for (const char* path : {"/p/rapport.aaf.txt", "/p/notes.txt", "/p/fcpxmld", "/p/xml", ""})
        EXPECT_EQ(DroppedPath(Files({path})), std::nullopt) << path;
    EXPECT_EQ(DroppedPath(Files({})), std::nullopt);
}

TEST(DroppedPath, OnlyTheFirstFileCounts)
{
    EXPECT_EQ(DroppedPath(Files({"/p/notes.txt", "/p/montage.fcpxml"})), std::nullopt);
    EXPECT_EQ(DroppedPath(Files({"/p/montage.fcpxml", "/p/notes.txt", "/p/b.aaf"})), "/p/montage.fcpxml");
}

TEST(DroppedPath, ADragThatCouldNotBeReadIsRefusedAndLogged)
{
    test::StderrCapture captured;
    EXPECT_EQ(DroppedPath(Drag{{"/p/a.fcpxml"}, "liste illisible"}), std::nullopt);
    EXPECT_EQ(captured.text(), "[fenetre] depot ignore : liste illisible\n");
}

class Receiver : public DropTarget {
public:
    void openPath(const std::string& path) override { opened.push_back(path); }
    std::vector<std::string> opened;
};

class DropWebViewTest : public ::testing::Test {
protected:
    std::shared_ptr<Receiver> receiver = std::make_shared<Receiver>();
    std::vector<std::string> scripts;
    DropWebView view{[this](const std::string& script) { scripts.push_back(script); }, receiver};
    const std::string yes = SurvolScript(true);
    const std::string no = SurvolScript(false);
};

TEST_F(DropWebViewTest, AcceptedDragThatIsDropped)
{
    const Drag drag = Files({"/p/Montage.fcpxmld"});
    EXPECT_TRUE(view.draggingEntered(drag));
    EXPECT_TRUE(view.draggingUpdated(drag));
    EXPECT_TRUE(view.prepareForDragOperation(drag));
    EXPECT_EQ(scripts, (std::vector<std::string>{yes}));

    EXPECT_TRUE(view.performDragOperation(drag));
    EXPECT_EQ(scripts, (std::vector<std::string>{yes, no}));
    EXPECT_EQ(receiver->opened, (std::vector<std::string>{"/p/Montage.fcpxmld"}));

    view.draggingEnded();
    EXPECT_EQ(scripts, (std::vector<std::string>{yes, no, no}));
}

TEST_F(DropWebViewTest, AcceptedDragThatLeaves)
{
    const Drag drag = Files({"/p/a.aaf"});
    EXPECT_TRUE(view.draggingEntered(drag));
    view.draggingExited();
    view.draggingEnded();
    EXPECT_EQ(scripts, (std::vector<std::string>{yes, no, no}));
    EXPECT_TRUE(receiver->opened.empty());
}

TEST_F(DropWebViewTest, RefusedDragNeverSaysTrue)
{
    const Drag drag = Files({"/p/notes.txt", "/p/montage.fcpxml"});
    EXPECT_FALSE(view.draggingEntered(drag));
    EXPECT_FALSE(view.draggingUpdated(drag));
    EXPECT_FALSE(view.prepareForDragOperation(drag));
    view.draggingExited();
    view.draggingEnded();
    EXPECT_EQ(scripts, (std::vector<std::string>{no, no}));

    EXPECT_FALSE(view.performDragOperation(Files({})));
    EXPECT_EQ(scripts.back(), no);
    EXPECT_TRUE(receiver->opened.empty());
}

TEST_F(DropWebViewTest, DropWithTheTargetGoneIsRefusedAfterTheFalse)
{
    receiver.reset();
    EXPECT_FALSE(view.performDragOperation(Files({"/p/a.fcpxml"})));
    EXPECT_EQ(scripts, (std::vector<std::string>{no}));
}

}  // namespace
}  // namespace mivra
