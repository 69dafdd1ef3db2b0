#include "open_panel.h"

#include <memory>
#include <utility>

#include "dialog_completion.h"
#include "project_names.h"

namespace mivra {
namespace {

constexpr const char* kChooseCurrentFolderLabel = "Choisir ce dossier";
// The confirming button of a panel that names none, as a desktop panel's own.
constexpr const char* kDefaultPrompt = "Ouvrir";

// Our own answers, so that GTK's accept handling never enters a folder the
// user means to choose.
enum PanelResponse { kChoose = 1, kChooseCurrentFolder = 2 };

// A dialog that goes without an answer still completes, as a cancel.
struct PanelSession {
    PanelSession(PanelCompletion done, const OpenPanelDescription& panel)
        : completion(std::move(done), std::nullopt), description(panel)
    {
    }

    DialogCompletion<std::optional<std::string>> completion;
    OpenPanelDescription description;
};

PanelSession* SessionOf(GtkWidget* dialog)
{
    return static_cast<PanelSession*>(g_object_get_data(G_OBJECT(dialog), "mivra-panel"));
}

bool IsFolder(GFile* file)
{
    return g_file_query_file_type(file, G_FILE_QUERY_INFO_NONE, nullptr) == G_FILE_TYPE_DIRECTORY;
}

void Finish(GtkWidget* dialog, GFile* chosen)
{
    auto done = SessionOf(dialog)->completion.take();
    std::optional<std::string> path;
    if (g_autofree char* local = chosen ? g_file_get_path(chosen) : nullptr)
        path = local;
    gtk_widget_destroy(GTK_WIDGET(dialog));
    done(path);
}

bool TakesAsItem(const PanelSession& session, GFile* file)
{
    return session.description.packagesAreItems && session.description.canChooseFiles && IsPackageItem(file);
}

// The selection, or what was typed in the location entry.
GFile* NewSelectedFile(GtkWidget* dialog)
{
    return gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog));
}

void ChooseSelection(GtkWidget* dialog)
{
    const PanelSession& session = *SessionOf(dialog);
    g_autoptr(GFile) selected = NewSelectedFile(dialog);
    if (!selected)
        return;
    if (ActivationOf(session.description, IsFolder(selected), IsPackageItem(selected)) == Activation::Enter) {
        gtk_file_chooser_set_current_folder_file(GTK_FILE_CHOOSER(dialog), selected, nullptr);
        return;
    }
    Finish(dialog, selected);
}

void OnResponse(GtkDialog* dialog, int response, gpointer)
{
    GtkWidget* widget = GTK_WIDGET(dialog);
    if (response == kChoose) {
        ChooseSelection(widget);
    } else if (response == kChooseCurrentFolder) {
        g_autoptr(GFile) folder = gtk_file_chooser_get_current_folder_file(GTK_FILE_CHOOSER(dialog));
        Finish(widget, folder);
    } else {
        Finish(widget, nullptr);
    }
}

// Activating a package (Return, or a double click in the file list) chooses
// it before the chooser can enter it.
bool ChoosePackageInstead(GtkWidget* dialog)
{
    g_autoptr(GFile) selected = NewSelectedFile(dialog);
    if (!selected || !TakesAsItem(*SessionOf(dialog), selected))
        return false;
    gtk_dialog_response(GTK_DIALOG(dialog), kChoose);
    return true;
}

// Connected to the dialog, it sees a key before the focused widget does.
gboolean OnKeyPressed(GtkWidget* dialog, GdkEventKey* event, gpointer)
{
    const guint key = event->keyval;
    const bool enter = key == GDK_KEY_Return || key == GDK_KEY_KP_Enter || key == GDK_KEY_ISO_Enter;
    return enter && ChoosePackageInstead(dialog);
}

bool InFileList(const GdkEvent* press)
{
    GtkWidget* target = press ? gtk_get_event_widget(const_cast<GdkEvent*>(press)) : nullptr;
    return target && (GTK_IS_TREE_VIEW(target) || gtk_widget_get_ancestor(target, GTK_TYPE_TREE_VIEW));
}

void OnPressed(GtkGestureMultiPress* click, int presses, double, double, gpointer)
{
    GtkGesture* gesture = GTK_GESTURE(click);
    GtkWidget* dialog = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(click));
    const GdkEvent* press =
        gtk_gesture_get_last_event(gesture, gtk_gesture_single_get_current_sequence(GTK_GESTURE_SINGLE(click)));
    if (presses == 2 && InFileList(press) && ChoosePackageInstead(dialog))
        gtk_gesture_set_state(gesture, GTK_EVENT_SEQUENCE_CLAIMED);
}

// The double click is caught on its way down to the file list, before the
// list enters the folder.
void ChoosePackagesWhole(GtkWidget* dialog)
{
    g_signal_connect(dialog, "key-press-event", G_CALLBACK(OnKeyPressed), nullptr);
    GtkGesture* click = gtk_gesture_multi_press_new(dialog);
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(click), GDK_BUTTON_PRIMARY);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(click), GTK_PHASE_CAPTURE);
    g_signal_connect(click, "pressed", G_CALLBACK(OnPressed), nullptr);
    g_object_set_data_full(G_OBJECT(dialog), "mivra-panel-click", click, g_object_unref);
}

void AddButtons(GtkDialog* dialog, const OpenPanelDescription& description)
{
    gtk_dialog_add_button(dialog, kCancelLabel, GTK_RESPONSE_CANCEL);
    if (description.canChooseFiles && description.canChooseDirectories)
        gtk_dialog_add_button(dialog, kChooseCurrentFolderLabel, kChooseCurrentFolder);
    gtk_dialog_add_button(dialog, description.prompt.empty() ? kDefaultPrompt : description.prompt.c_str(), kChoose);
    gtk_dialog_set_default_response(dialog, kChoose);
}

// The message stands above the file list.
void ShowMessage(GtkDialog* dialog, const std::string& message)
{
    if (message.empty())
        return;
    GtkWidget* label = gtk_label_new(message.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
    for (auto setMargin : {gtk_widget_set_margin_top, gtk_widget_set_margin_bottom, gtk_widget_set_margin_start,
                           gtk_widget_set_margin_end})
        setMargin(label, 12);
    GtkBox* content = GTK_BOX(gtk_dialog_get_content_area(dialog));
    gtk_box_pack_start(content, label, FALSE, FALSE, 0);
    gtk_box_reorder_child(content, label, 0);
    gtk_widget_show(label);
}

// Selecting an item also opens its folder; opening the folder first would
// have the chooser cancel that load and report the cancellation.
void StartWhereAsked(GtkFileChooser* chooser, const OpenPanelDescription& description)
{
    if (!description.startFolder)
        return;
    g_autoptr(GFile) folder = g_file_new_for_path(description.startFolder->c_str());
    if (description.preselectedName) {
        g_autoptr(GFile) item = g_file_get_child(folder, description.preselectedName->c_str());
        gtk_file_chooser_set_file(chooser, item, nullptr);
    } else {
        gtk_file_chooser_set_current_folder_file(chooser, folder, nullptr);
    }
}

GtkWidget* NewChooser(GtkWindow* parent, const OpenPanelDescription& description)
{
    const GtkFileChooserAction action =
        description.canChooseFiles ? GTK_FILE_CHOOSER_ACTION_OPEN : GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER;
    GtkWidget* dialog = gtk_file_chooser_dialog_new(description.title.c_str(), parent, action, nullptr, nullptr);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_create_folders(chooser, description.canCreateDirectories);
    AddButtons(GTK_DIALOG(dialog), description);
    ShowMessage(GTK_DIALOG(dialog), description.message);
    StartWhereAsked(chooser, description);
    return dialog;
}

}  // namespace

bool IsPackageItem(GFile* file)
{
    g_autofree char* name = g_file_get_basename(file);
    return name && HasPackageSuffix(name) && IsFolder(file);
}

void ShowOpenPanel(GtkWindow* parent, const OpenPanelDescription& description, PanelCompletion done)
{
    // The dialog belongs to GTK's list of windows until Finish destroys it;
    // the session goes with the dialog.
    GtkWidget* dialog = NewChooser(parent, description);
    AttachTo(G_OBJECT(dialog), "mivra-panel", std::make_unique<PanelSession>(std::move(done), description));
    g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), nullptr);
    if (description.packagesAreItems && description.canChooseFiles)
        ChoosePackagesWhole(dialog);
    gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace mivra
