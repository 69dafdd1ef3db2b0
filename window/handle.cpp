#include "handle.h"

namespace mivra {

HandleAction HandleActionFor(int clickCount, const std::optional<std::string>& doubleClickPreference)
{
    if (clickCount != 2)
        return HandleAction::Drag;
    // The value of the desktop's gtk-titlebar-double-click setting that minimises.
    return doubleClickPreference == "minimize" ? HandleAction::Minimise : HandleAction::Zoom;
}

std::string WindowButtonsLayout(bool fullScreen)
{
    return fullScreen ? "close,minimize:" : "close,minimize,maximize:";
}

}  // namespace mivra
