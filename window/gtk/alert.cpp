#include "alert.h"

#include <memory>
#include <utility>

#include "glib_ownership.h"

namespace mivra {
namespace {

// Lives as long as the dialog; a dialog that goes without answering still
// reports that it closed.
struct AlertSession {
    std::function<void()> closed;

    explicit AlertSession(std::function<void()> onClosed) : closed(std::move(onClosed)) {}
    AlertSession(const AlertSession&) = delete;
    AlertSession& operator=(const AlertSession&) = delete;
    ~AlertSession()
    {
        if (closed)
            closed();
    }
};

void OnResponse(GtkDialog* dialog, int, gpointer data)
{
    auto closed = std::exchange(static_cast<AlertSession*>(data)->closed, nullptr);
    gtk_window_destroy(GTK_WINDOW(dialog));
    closed();
}

}  // namespace

void ShowAlert(GtkWindow* parent, const std::string& message, std::function<void()> closed)
{
    // The dialog belongs to GTK's list of windows until it is destroyed.
    GtkWidget* dialog =
        gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                               GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE, "%s", message.c_str());
    gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    auto session = std::make_unique<AlertSession>(std::move(closed));
    AlertSession* handler = session.get();
    g_object_set_data_full(G_OBJECT(dialog), "mivra-alert", HandToGLib(std::move(session)), FreeFromGLib<AlertSession>);
    g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), handler);
    gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace mivra
