#pragma once
// The D-Bus name under which the desktop keeps one running window.

#include <string>

namespace mivra {

// The default interface has the plain id (the desktop entry's), any other
// interface URL an id of its own derived from it, so a window on another
// interface is its own.
std::string ApplicationId(const std::string& url);

}  // namespace mivra
