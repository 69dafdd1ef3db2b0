#include "target_file.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

namespace mivra {
namespace {

namespace fs = std::filesystem;

const std::vector<std::byte> kBytes(100, std::byte{7});

class TargetFileOnDisk : public testing::Test {
protected:
    std::string at(const char* name) const { return (dir_ / name).string(); }

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
