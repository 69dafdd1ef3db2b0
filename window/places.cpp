#include <glib.h>

#include <array>
#include <filesystem>
#include <string>

#include "controller.h"

namespace mivra {

namespace {

std::string DesktopFolder(const std::string& home)
{
    const char* desktop = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
    return desktop != nullptr ? desktop : (std::filesystem::path(home) / "Desktop").string();
}

// Where the desktop mounts removable volumes: per user under udisks2, else /media.
std::string VolumesFolder()
{
    const std::string user = g_get_user_name();
    const std::array<std::string, 3> candidates = {"/run/media/" + user, "/media/" + user, "/media"};
    for (const std::string& folder : candidates) {
        std::error_code error;
        if (std::filesystem::is_directory(folder, error))
            return folder;
    }
    return "/media";
}

}  // namespace

Places Places::FromSystem()
{
    const std::string home = g_get_home_dir();
    return Places{g_get_tmp_dir(), home, DesktopFolder(home), VolumesFolder()};
}

}  // namespace mivra
