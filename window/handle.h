#pragma once
// What a press on the window handle does.

#include <vector>

namespace mivra {

enum class HandleAction { Drag, Zoom, Minimise };

// clickCount 2 zooms, or minimises when the desktop's double-click preference
// says so; every other count starts a drag.
HandleAction HandleActionFor(int clickCount, bool doubleClickMinimises);

enum class WindowButton { Close, Minimise, Maximise };

// The window buttons at the start of the strip, in order. A full-screen
// window cannot be maximised or restored by its button, so that button is
// left out while the window is full screen.
std::vector<WindowButton> WindowButtons(bool fullScreen);

}  // namespace mivra
