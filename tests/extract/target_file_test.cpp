#include "target_file.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/resource.h>

namespace mivra {
namespace {

namespace fs = std::filesystem;

const std::vector<std::byte> kBytes(100, std::byte{7});

std::string Contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class TargetFileOnDisk : public testing::Test {
protected:
    std::string at(const char* name) const { return (dir_ / name).string(); }
    void put(const char* name, const char* contents) const { std::ofstream(dir_ / name) << contents; }

    ScratchFolder scratch_;
    const fs::path dir_ = scratch_.path();
};

// The file stays taken after close, until its TargetFile goes.
TEST_F(TargetFileOnDisk, ASecondWriterIsRefusedWithoutEmptyingTheFile)
{
    auto first = TargetFile::create(at("out.wav"));
    ASSERT_TRUE(first && first->append(kBytes) && first->close());
    EXPECT_FALSE(TargetFile::create(at("out.wav")));
    fs::create_symlink("out.wav", dir_ / "link.wav");
    EXPECT_FALSE(TargetFile::create(at("link.wav")));
    EXPECT_EQ(fs::file_size(at("out.wav")), kBytes.size());
    first.reset();
    EXPECT_TRUE(TargetFile::create(at("out.wav")));
    EXPECT_EQ(fs::file_size(at("out.wav")), 0u);
}

// Whatever now stands at the path is left alone; the file written is removed
// where it was opened, or emptied where it went.
TEST_F(TargetFileOnDisk, DiscardLeavesWhatTookThePathAndEmptiesTheFileWritten)
{
    struct Case {
        const char* label;
        const char* linkTo;
        std::function<void()> change;
        const char* foreign;  // holds "foreign" afterwards
        const char* moved;    // where the file written went, empty afterwards
    };
    const auto relink = [&](const char* to) {
        fs::remove(dir_ / "link.wav");
        fs::create_symlink(to, dir_ / "link.wav");
    };
    for (const Case& c :
         {Case{"replaced", "out.wav", [&] { fs::rename(at("out.wav"), at("moved.wav")), put("out.wav", "foreign"); },
               "out.wav", "moved.wav"},
          Case{"link turned", "out.wav", [&] { put("other.wav", "foreign"), relink("other.wav"); }, "other.wav",
               nullptr},
          Case{"folder renamed", "sub/out.wav", [&] { fs::rename(dir_ / "sub", dir_ / "gone"); }, nullptr,
               "gone/out.wav"}}) {
        fs::create_directory(dir_ / "sub");
        relink(c.linkTo);
        auto target = TargetFile::create(at("link.wav"));
        ASSERT_TRUE(target && target->append(kBytes) && target->close());
        c.change();
        EXPECT_FALSE(target->stillAtPath()) << c.label;
        target->discard();
        EXPECT_TRUE(fs::is_symlink(dir_ / "link.wav")) << c.label;
        if (c.foreign) {
            EXPECT_EQ(Contents(dir_ / c.foreign), "foreign") << c.label;
        }
        if (c.moved) {
            EXPECT_TRUE(fs::exists(dir_ / c.moved) && fs::file_size(dir_ / c.moved) == 0) << c.label;
        } else {
            EXPECT_FALSE(fs::exists(at("out.wav"))) << c.label;
        }
        for (const auto& entry : fs::directory_iterator(dir_))
            fs::remove_all(entry.path());
    }
}

// Each signal removes the file the link names and then ends the process as
// that signal does.
TEST_F(TargetFileOnDisk, TerminatingSignalsRemoveTheTargetThenEndTheProcess)
{
    fs::create_symlink("out.wav", dir_ / "link.wav");
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        const auto writeThenReceive = [&] {
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            RemoveTargetOnTerminatingSignals();
            auto target = TargetFile::create(at("link.wav"));
            if (target && target->append(kBytes) && target->close())
                std::raise(signal);
        };
        EXPECT_EXIT(writeThenReceive(), testing::KilledBySignal(signal), "") << signal;
        EXPECT_FALSE(fs::exists(at("out.wav"))) << signal;
        EXPECT_TRUE(fs::is_symlink(at("link.wav"))) << signal;
    }
}

}  // namespace
}  // namespace mivra
