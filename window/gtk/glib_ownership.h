#pragma once
// Handing C++ objects to GLib: a source, a signal or an object's data takes
// ownership of a heap object and frees it through its destroy notify.

#include <memory>

#include <glib.h>

namespace mivra {

template <typename T>
gpointer HandToGLib(std::unique_ptr<T> owned)
{
    return owned.release();
}

// The destroy notify matching HandToGLib<T>.
template <typename T>
void FreeFromGLib(gpointer data)
{
    std::unique_ptr<T> reclaimed(static_cast<T*>(data));
}

}  // namespace mivra
