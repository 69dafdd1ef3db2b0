#pragma once
// The window's icon from an image file. GTK 4 takes icon names only, so the
// image is written as a PNG into a private icon theme folder whose name the
// window then uses. The folder is removed when this object goes.

#include <string>

#include <gtk/gtk.h>

namespace mivra {

class WindowIcon {
public:
    WindowIcon() = default;
    WindowIcon(const WindowIcon&) = delete;
    WindowIcon& operator=(const WindowIcon&) = delete;
    ~WindowIcon();

    // Silently leaves the default icon when the file is missing or no image.
    void apply(GtkWindow* window, const std::string& imagePath);

private:
    std::string themeRoot_;  // empty until an icon was written
    std::string iconFile_;
};

}  // namespace mivra
