#include "window_icon.h"

#include <glib/gstdio.h>

namespace mivra {
namespace {

constexpr const char* kIconName = "mivra-window";

}  // namespace

WindowIcon::~WindowIcon()
{
    if (themeRoot_.empty())
        return;
    g_remove(iconFile_.c_str());
    // The theme's folders, innermost first, up to and including the root.
    g_autofree char* apps = g_path_get_dirname(iconFile_.c_str());
    g_autofree char* sizeFolder = g_path_get_dirname(apps);
    g_autofree char* hicolor = g_path_get_dirname(sizeFolder);
    for (const char* folder : {static_cast<const char*>(apps), static_cast<const char*>(sizeFolder),
                               static_cast<const char*>(hicolor), themeRoot_.c_str()})
        g_rmdir(folder);
}

void WindowIcon::apply(GtkWindow* window, const std::string& imagePath)
{
    if (imagePath.empty() || !themeRoot_.empty())
        return;
    g_autoptr(GFile) image = g_file_new_for_path(imagePath.c_str());
    g_autoptr(GdkTexture) texture = gdk_texture_new_from_file(image, nullptr);
    if (!texture)
        return;
    g_autofree char* root = g_dir_make_tmp("mivra-icon-XXXXXX", nullptr);
    if (!root)
        return;
    themeRoot_ = root;
    g_autofree char* apps = g_build_filename(root, "hicolor", "32x32", "apps", nullptr);
    g_autofree char* file = g_build_filename(apps, (std::string(kIconName) + ".png").c_str(), nullptr);
    iconFile_ = file;
    if (g_mkdir_with_parents(apps, 0700) != 0 || !gdk_texture_save_to_png(texture, file))
        return;
    gtk_icon_theme_add_search_path(gtk_icon_theme_get_for_display(gtk_widget_get_display(GTK_WIDGET(window))), root);
    gtk_window_set_icon_name(window, kIconName);
}

}  // namespace mivra
