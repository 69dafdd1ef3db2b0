#pragma once
// Ownership across the GLib boundary. A source, a signal or an object's data
// takes ownership of a heap object and frees it through its destroy notify;
// C++ holds a reference to a ref-counted GLib or WebKit object in an Owned.

#include <memory>

#include <glib-object.h>

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

template <auto Unref>
struct Unreference {
    template <typename T>
    void operator()(T* object) const
    {
        Unref(object);
    }
};

// One reference, taken by the caller and dropped with Unref.
template <typename T, auto Unref = g_object_unref>
using Owned = std::unique_ptr<T, Unreference<Unref>>;

}  // namespace mivra
