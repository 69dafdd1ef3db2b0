#include "kept_size.h"

#include <glib.h>
#include <glib/gstdio.h>

namespace mivra {
namespace {

constexpr const char* kWidthKey = "width";
constexpr const char* kHeightKey = "height";
// Larger than any screen: a value beyond this is a damaged file, not a size.
constexpr int kLargestSide = 32768;

bool Usable(int side)
{
    return side > 0 && side <= kLargestSide;
}

}  // namespace

std::string KeptSizeFile()
{
    g_autofree char* file = g_build_filename(g_get_user_state_dir(), "mivra", "window.ini", nullptr);
    return file;
}

std::optional<Size> LoadKeptSize(const std::string& file, const std::string& group)
{
    g_autoptr(GKeyFile) keys = g_key_file_new();
    if (!g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, nullptr))
        return std::nullopt;
    g_autoptr(GError) widthError = nullptr;
    g_autoptr(GError) heightError = nullptr;
    const int width = g_key_file_get_integer(keys, group.c_str(), kWidthKey, &widthError);
    const int height = g_key_file_get_integer(keys, group.c_str(), kHeightKey, &heightError);
    if (widthError || heightError || !Usable(width) || !Usable(height))
        return std::nullopt;
    return Size{width, height};
}

void KeepSize(const std::string& file, const std::string& group, Size size)
{
    g_autoptr(GKeyFile) keys = g_key_file_new();
    g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
    g_key_file_set_integer(keys, group.c_str(), kWidthKey, size.width);
    g_key_file_set_integer(keys, group.c_str(), kHeightKey, size.height);
    g_autofree char* folder = g_path_get_dirname(file.c_str());
    if (g_mkdir_with_parents(folder, 0700) != 0)
        return;
    g_key_file_save_to_file(keys, file.c_str(), nullptr);
}

}  // namespace mivra
