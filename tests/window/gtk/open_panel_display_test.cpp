// The project and file panels as the user sees them, on a real (virtual) display.

#include <string>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "open_panel.h"

namespace mivra {
namespace {

// Appends the label of each visible button under the widget, then "|".
void CollectButtonLabels(GtkWidget* widget, std::string& labels)
{
    if (GTK_IS_BUTTON(widget) && gtk_widget_get_visible(widget) && gtk_button_get_label(GTK_BUTTON(widget)))
        labels += std::string(gtk_button_get_label(GTK_BUTTON(widget))) + "|";
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(
            GTK_CONTAINER(widget),
            [](GtkWidget* child, gpointer found) { CollectButtonLabels(child, *static_cast<std::string*>(found)); },
            &labels);
}

// "|label|label|" for the buttons of the panel shown for the description; the panel is then cancelled.
std::string PanelButtons(const OpenPanelDescription& description)
{
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    bool answered = false;
    ShowOpenPanel(GTK_WINDOW(parent), description, [&](std::optional<std::string>) { answered = true; });
    std::string labels = "|";
    GtkWidget* panel = nullptr;
    g_autoptr(GList) toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next)
        panel = GTK_IS_FILE_CHOOSER(item->data) ? GTK_WIDGET(item->data) : panel;
    if (panel) {
        CollectButtonLabels(panel, labels);
        gtk_dialog_response(GTK_DIALOG(panel), GTK_RESPONSE_CANCEL);
    }
    EXPECT_TRUE(answered);
    gtk_widget_destroy(parent);
    return labels;
}

TEST(OpenPanelDisplayTest, APanelThatNamesNoButtonConfirmsWithOuvrirAndANamedOneWithItsName)
{
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
    OpenPanelDescription fileInput;
    fileInput.canChooseFiles = fileInput.canChooseDirectories = true;
    const std::string unnamed = PanelButtons(fileInput);
    EXPECT_NE(unnamed.find("|Ouvrir|"), std::string::npos) << unnamed;
    EXPECT_EQ(unnamed.find("||"), std::string::npos) << unnamed;
    fileInput.prompt = "Analyser";
    const std::string named = PanelButtons(fileInput);
    EXPECT_NE(named.find("|Analyser|"), std::string::npos) << named;
    EXPECT_NE(named.find("|Annuler|"), std::string::npos) << named;
    EXPECT_EQ(named.find("|Ouvrir|"), std::string::npos) << named;
}

}  // namespace
}  // namespace mivra
