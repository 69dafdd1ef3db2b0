#pragma once
// Modal messages: one with an "OK" button, one that asks to confirm.

#include <functional>
#include <string>

#include <gtk/gtk.h>

namespace mivra {

// closed runs once, after the dialog is gone, however it was closed.
void ShowAlert(GtkWindow* parent, const std::string& title, const std::string& message, std::function<void()> closed);

// "Annuler" and the confirming button, the default; answered runs once, with
// false however the dialog went without confirming.
void ShowQuestion(GtkWindow* parent, const std::string& message, const std::string& confirm,
                  std::function<void(bool)> answered);

}  // namespace mivra
