#pragma once
// The session's folders as GLib and the desktop's conventions name them.

#include "places.h"

namespace mivra {

Places SystemPlaces();

}  // namespace mivra
