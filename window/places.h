#pragma once
// The folders of the session the window works with, as the desktop names them.

#include <string>

namespace mivra {

struct Places {
    std::string temporaryFolder;
    std::string homeFolder;
    std::string desktopFolder;
    std::string volumesFolder;  // where removable volumes are mounted
    std::string downloadsFolder;
};

}  // namespace mivra
