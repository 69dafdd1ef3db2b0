#pragma once
// The folders of the session the window works with, as the desktop names them.

#include <filesystem>
#include <string>
#include <system_error>

namespace mivra {

struct Places {
    std::string temporaryFolder;
    std::string homeFolder;
    std::string desktopFolder;
    std::string volumesFolder;  // where removable volumes are mounted
    std::string downloadsFolder;
};

// Whether something is at the path; a path that cannot be read holds nothing.
inline bool Exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace mivra
