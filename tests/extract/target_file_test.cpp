#include "target_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <glib.h>
#include <vector>

namespace mivra {
namespace {

namespace fs = std::filesystem;

std::vector<std::byte> Bytes(std::size_t count, int seed) {
    std::vector<std::byte> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::byte>(i * 13 + seed);
    return bytes;
}

std::vector<std::byte> ReadAll(const fs::path& path) {
    std::vector<std::byte> bytes(fs::file_size(path));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    return bytes;
}

class TargetFileTest : public testing::Test {
protected:
    void SetUp() override {
        g_autofree char* made = g_dir_make_tmp("mivra-target-test-XXXXXX", nullptr);
        ASSERT_NE(made, nullptr);
        dir_ = made;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

// Small appends are held back and large ones written at once: the file must
// still hold every chunk in the order given, with the start rewritten last.
TEST_F(TargetFileTest, GatheredAndLargeAppendsKeepTheirOrder) {
    const std::string path = (dir_ / "out.wav").string();
    auto file = TargetFile::create(path);
    ASSERT_TRUE(file);
    std::vector<std::byte> expected;
    for (const std::size_t size : {44, 6000, 300000, 7, 700000, 700000, 1 << 20, 5}) {
        const auto chunk = Bytes(size, static_cast<int>(expected.size()));
        ASSERT_TRUE(file->append(chunk));
        expected.insert(expected.end(), chunk.begin(), chunk.end());
    }
    const auto start = Bytes(44, 99);
    ASSERT_TRUE(file->overwriteStart(start));
    ASSERT_TRUE(file->close());
    std::copy(start.begin(), start.end(), expected.begin());
    EXPECT_EQ(ReadAll(path), expected);
}

TEST_F(TargetFileTest, FailureOfAHeldBackWriteIsReported) {
    auto closed = TargetFile::create("/dev/full");
    ASSERT_TRUE(closed);
    EXPECT_TRUE(closed->append(Bytes(6, 0)));
    EXPECT_FALSE(closed->close());

    auto rewritten = TargetFile::create("/dev/full");
    ASSERT_TRUE(rewritten);
    EXPECT_TRUE(rewritten->append(Bytes(6, 0)));
    EXPECT_FALSE(rewritten->overwriteStart(Bytes(44, 0)));
    rewritten->discard();
}

}  // namespace
}  // namespace mivra
