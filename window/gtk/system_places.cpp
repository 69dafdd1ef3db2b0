#include "system_places.h"

#include <glib.h>

#include <array>
#include <filesystem>
#include <string>

namespace mivra {

namespace {

std::string DesktopFolder(const std::string& home)
{
    const char* desktop = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
    return desktop != nullptr ? desktop : (std::filesystem::path(home) / "Desktop").string();
}

// Where the desktop puts downloads, or the home folder when there is none.
std::string DownloadsFolder(const std::string& home)
{
    const char* downloads = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
    std::error_code error;
    return downloads != nullptr && std::filesystem::is_directory(downloads, error) ? downloads : home;
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

Places SystemPlaces()
{
    const std::string home = g_get_home_dir();
    return Places{g_get_tmp_dir(), home, DesktopFolder(home), VolumesFolder(), DownloadsFolder(home)};
}

}  // namespace mivra
