#pragma once
// A folder of its own for one test, removed with all it holds.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace mivra {

class ScratchFolder {
public:
    ScratchFolder() : path_(Made()) {}
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    static std::filesystem::path Made()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "mivra-extract-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::filesystem::filesystem_error("no temporary folder",
                                                    std::error_code(errno, std::generic_category()));
        return pattern;
    }

    std::filesystem::path path_;
};

}  // namespace mivra
