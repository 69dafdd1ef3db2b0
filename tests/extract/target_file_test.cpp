#include "pcm24.h"
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

std::int32_t Value24(const std::byte* bytes)
{
    const auto bits = std::to_integer<std::uint32_t>(bytes[0]) | std::to_integer<std::uint32_t>(bytes[1]) << 8 |
                      std::to_integer<std::uint32_t>(bytes[2]) << 16;
    return static_cast<std::int32_t>(bits << 8) >> 8;
}

// Whole groups of four samples are packed as words and the rest one by one:
// packing every prefix sends each sample through both paths.
TEST(PackSamples24, RoundsToNearestAndSaturatesAtEveryPosition)
{
    // Samples and the 24-bit values they pack to, in turn: rounding both ways, then saturation at both ends.
    const std::vector<std::int32_t> samples = {0,         256,       -256,       0x7F,       0x80,       -0x80,
                                               -0x81,     1480,      -1480,      0x01020380, 0x7FFFFF00, 0x7FFFFF80,
                                               INT32_MAX, INT32_MIN, 0x123456FF, -0x55AA55AA};
    const std::int32_t packed24[] = {0,  1,        -1,       0,        1,        0,         -1,       6,
                                     -6, 0x010204, 0x7FFFFF, 0x7FFFFF, 0x7FFFFF, -0x800000, 0x123457, -0x55AA56};
    for (std::size_t length = 0; length <= samples.size(); ++length) {
        std::vector<std::byte> packed(length * 3);
        PackSamples24(std::span(samples).first(length), packed.data());
        for (std::size_t i = 0; i < length; ++i)
            EXPECT_EQ(Value24(&packed[3 * i]), packed24[i]) << length;
    }
}

TEST(TargetFile, FailureOfAHeldBackWriteIsReported)
{
    const std::vector<std::byte> bytes(44);
    auto closed = TargetFile::create("/dev/full");
    ASSERT_TRUE(closed && closed->append(std::span(bytes).first(6)));
    EXPECT_FALSE(closed->close());
    auto rewritten = TargetFile::create("/dev/full");
    ASSERT_TRUE(rewritten && rewritten->append(std::span(bytes).first(6)));
    EXPECT_FALSE(rewritten->overwriteStart(bytes));
    rewritten->discard();
}

}  // namespace
}  // namespace mivra
