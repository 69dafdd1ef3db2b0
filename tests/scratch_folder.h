#pragma once
// A folder of its own for one test, removed with all it holds.

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace mivra {

class ScratchFolder {
public:
    ScratchFolder() : path_(std::filesystem::temp_directory_path() / "mivra-test-XXXXXX")
    {
        std::string pattern = path_.string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("no temporary folder");
        path_ = pattern;
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_, ignored_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::error_code ignored_;
};

}  // namespace mivra
