#include "handle.h"

namespace mivra {

HandleAction HandleActionFor(int clickCount, bool doubleClickMinimises)
{
    if (clickCount != 2)
        return HandleAction::Drag;
    return doubleClickMinimises ? HandleAction::Minimise : HandleAction::Zoom;
}

std::vector<WindowButton> WindowButtons(bool fullScreen)
{
    if (fullScreen)
        return {WindowButton::Close, WindowButton::Minimise};
    return {WindowButton::Close, WindowButton::Minimise, WindowButton::Maximise};
}

}  // namespace mivra
