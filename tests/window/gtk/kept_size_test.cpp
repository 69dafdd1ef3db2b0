#include "kept_size.h"

#include <fstream>
#include <string>

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

namespace mivra {
namespace {

class KeptSizeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_autofree char* folder = g_dir_make_tmp("mivra-kept-size-XXXXXX", nullptr);
        ASSERT_NE(folder, nullptr);
        folder_ = folder;
        file_ = folder_ + "/mivra/window.ini";
    }

    void TearDown() override
    {
        g_remove(file_.c_str());
        g_rmdir((folder_ + "/mivra").c_str());
        g_rmdir(folder_.c_str());
    }

    void write(const std::string& text)
    {
        g_mkdir_with_parents((folder_ + "/mivra").c_str(), 0700);
        std::ofstream(file_) << text;
    }

    std::string folder_;
    std::string file_;
};

TEST_F(KeptSizeTest, SizeKeptInAMissingFolderComesBack)
{
    EXPECT_FALSE(LoadKeptSize(file_, "MivraMain"));
    KeepSize(file_, "MivraMain", {1280, 800});
    const auto size = LoadKeptSize(file_, "MivraMain");
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 1280);
    EXPECT_EQ(size->height, 800);
}

TEST_F(KeptSizeTest, GroupsAreKeptApart)
{
    KeepSize(file_, "Other", {950, 700});
    KeepSize(file_, "MivraMain", {1000, 640});
    KeepSize(file_, "MivraMain", {1100, 650});
    EXPECT_EQ(LoadKeptSize(file_, "Other")->width, 950);
    EXPECT_EQ(LoadKeptSize(file_, "MivraMain")->width, 1100);
    EXPECT_FALSE(LoadKeptSize(file_, "Absent"));
}

TEST_F(KeptSizeTest, DamagedFilesGiveNoSize)
{
    for (const char* text : {"[MivraMain]\nwidth=wide\nheight=700\n", "[MivraMain]\nwidth=900\n",
                             "[MivraMain]\nwidth=0\nheight=700\n", "[MivraMain]\nwidth=-900\nheight=700\n",
                             "[MivraMain]\nwidth=900\nheight=99999999\n", "not a key file \x01"}) {
        write(text);
        EXPECT_FALSE(LoadKeptSize(file_, "MivraMain")) << text;
    }
}

TEST(KeptSizeFileTest, LivesUnderTheUserStateFolder)
{
    g_autofree char* expected = g_build_filename(g_get_user_state_dir(), "mivra", "window.ini", nullptr);
    EXPECT_EQ(KeptSizeFile(), expected);
}

}  // namespace
}  // namespace mivra
