#pragma once
// A folder of its own for one test, removed with all it holds.

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include <glib.h>

namespace mivra {

class ScratchFolder {
public:
    explicit ScratchFolder(const char* pattern) : path_(Made(pattern)) {}
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    static std::filesystem::path Made(const char* pattern)
    {
        g_autofree char* made = g_dir_make_tmp(pattern, nullptr);
        if (!made)
            throw std::runtime_error("no temporary folder");
        return made;
    }

    std::filesystem::path path_;
};

}  // namespace mivra
