#pragma once
// A modal message with one "OK" button.

#include <functional>
#include <string>

#include <gtk/gtk.h>

namespace mivra {

// closed runs once, after the dialog is gone, however it was closed.
void ShowAlert(GtkWindow* parent, const std::string& message, std::function<void()> closed);

}  // namespace mivra
