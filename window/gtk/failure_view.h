#pragma once
// The window's own failure, drawn with GTK's widgets where the web engine
// cannot draw: a title, the likely cause, a focused retry button and a hint.

#include <functional>

#include <gtk/gtk.h>

#include "toolkit.h"

namespace mivra {

struct FailureWidgets {
    GtkWidget* view;
    GtkWidget* retry;  // focused once the view is in the window
};

// A new view of the failure; `retry` runs when its button is activated.
FailureWidgets NewFailureView(const FailureView& failure, std::function<void()> retry);

}  // namespace mivra
