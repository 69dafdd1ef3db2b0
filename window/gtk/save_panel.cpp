#include "save_panel.h"

#include <memory>
#include <utility>

#include "dialog_completion.h"

namespace mivra {
namespace {

// Our own answer: GTK asks its own question before replacing only for its
// accepting answers, and the Controller asks ours.
constexpr int kSave = 1;

using SaveCompletion = DialogCompletion<std::optional<std::string>>;

void OnResponse(GtkDialog* dialog, int response, gpointer data)
{
    std::optional<std::string> path;
    if (response == kSave) {
        g_autoptr(GFile) chosen = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog));
        g_autofree char* local = chosen ? g_file_get_path(chosen) : nullptr;
        if (!local)
            return;  // nothing named yet: the panel stays
        path = local;
    }
    auto done = static_cast<SaveCompletion*>(data)->take();
    gtk_widget_destroy(GTK_WIDGET(dialog));
    done(path);
}

}  // namespace

void ShowSavePanel(GtkWindow* parent, const SavePanelDescription& description, PanelCompletion done)
{
    // The dialog belongs to GTK's list of windows until it is destroyed.
    GtkWidget* dialog =
        gtk_file_chooser_dialog_new(description.title.c_str(), parent, GTK_FILE_CHOOSER_ACTION_SAVE, kCancelLabel,
                                    GTK_RESPONSE_CANCEL, description.prompt.c_str(), kSave, nullptr);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), kSave);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_create_folders(chooser, TRUE);
    g_autoptr(GFile) folder = g_file_new_for_path(description.startFolder.c_str());
    gtk_file_chooser_set_current_folder_file(chooser, folder, nullptr);
    gtk_file_chooser_set_current_name(chooser, description.name.c_str());
    // A dialog that goes without an answer still completes, as a cancel.
    auto* completion =
        AttachTo(G_OBJECT(dialog), "mivra-save-panel", std::make_unique<SaveCompletion>(std::move(done), std::nullopt));
    g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), completion);
    gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace mivra
