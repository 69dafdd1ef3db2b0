#include "alert.h"

#include <initializer_list>
#include <iterator>
#include <memory>
#include <utility>

#include "dialog_completion.h"

namespace mivra {
namespace {

using AlertCompletion = DialogCompletion<bool>;

void OnResponse(GtkDialog* dialog, int response, gpointer data)
{
    auto answered = static_cast<AlertCompletion*>(data)->take();
    gtk_widget_destroy(GTK_WIDGET(dialog));
    answered(response == GTK_RESPONSE_OK);
}

// The buttons are (label, response) pairs; the last one is the default.
void ShowMessageDialog(GtkWindow* parent, const std::string& title, const std::string& message,
                       std::initializer_list<std::pair<const char*, int>> buttons, std::function<void(bool)> answered)
{
    // The dialog belongs to GTK's list of windows until it is destroyed.
    GtkWidget* dialog =
        gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                               GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE, "%s", message.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
    for (const auto& [label, response] : buttons)
        gtk_dialog_add_button(GTK_DIALOG(dialog), label, response);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), std::data(buttons)[buttons.size() - 1].second);
    // A dialog that goes without answering still reports that it closed, as not confirmed.
    auto* completion =
        AttachTo(G_OBJECT(dialog), "mivra-alert", std::make_unique<AlertCompletion>(std::move(answered), false));
    g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), completion);
    gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace

void ShowAlert(GtkWindow* parent, const std::string& title, const std::string& message, std::function<void()> closed)
{
    ShowMessageDialog(parent, title, message, {{"OK", GTK_RESPONSE_OK}},
                      [closed = std::move(closed)](bool) { closed(); });
}

void ShowQuestion(GtkWindow* parent, const std::string& message, const std::string& confirm,
                  std::function<void(bool)> answered)
{
    ShowMessageDialog(parent, "", message, {{kCancelLabel, GTK_RESPONSE_CANCEL}, {confirm.c_str(), GTK_RESPONSE_OK}},
                      std::move(answered));
}

}  // namespace mivra
