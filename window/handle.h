#pragma once
// What a press on the window handle does.

#include <optional>
#include <string>

namespace mivra {

enum class HandleAction { Drag, Zoom, Minimise };

// clickCount 2 zooms, or minimises when the desktop's double-click preference
// says so; every other count starts a drag.
HandleAction HandleActionFor(int clickCount, const std::optional<std::string>& doubleClickPreference);

// The window buttons at the start of the strip, in the desktop's layout
// syntax. A full-screen window cannot be maximised or restored by its
// button, so that button is left out while the window is full screen.
std::string WindowButtonsLayout(bool fullScreen);

}  // namespace mivra
