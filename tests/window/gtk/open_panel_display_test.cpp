// The project and file panels as the user sees them, on a real (virtual) display.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "open_panel.h"

namespace mivra {
namespace {

void CollectButtonLabels(GtkWidget* widget, std::vector<std::string>& labels)
{
    if (GTK_IS_BUTTON(widget) && gtk_widget_get_visible(widget)) {
        const char* label = gtk_button_get_label(GTK_BUTTON(widget));
        if (label)
            labels.emplace_back(label);
    }
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(
            GTK_CONTAINER(widget),
            [](GtkWidget* child, gpointer found) {
                CollectButtonLabels(child, *static_cast<std::vector<std::string>*>(found));
            },
            &labels);
}

// The buttons of the panel shown for the description; the panel is then cancelled.
std::vector<std::string> PanelButtons(const OpenPanelDescription& description)
{
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    bool answered = false;
    ShowOpenPanel(GTK_WINDOW(parent), description, [&](std::optional<std::string>) { answered = true; });
    std::vector<std::string> labels;
    GtkDialog* panel = nullptr;
    g_autoptr(GList) toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next)
        if (GTK_IS_FILE_CHOOSER(item->data))
            panel = GTK_DIALOG(item->data);
    if (panel) {
        CollectButtonLabels(GTK_WIDGET(panel), labels);
        gtk_dialog_response(panel, GTK_RESPONSE_CANCEL);
    }
    EXPECT_TRUE(answered);
    gtk_widget_destroy(parent);
    return labels;
}

bool Has(const std::vector<std::string>& labels, const std::string& label)
{
    return std::find(labels.begin(), labels.end(), label) != labels.end();
}

TEST(OpenPanelDisplayTest, APanelThatNamesNoButtonConfirmsWithOuvrirAndANamedOneWithItsName)
{
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
    OpenPanelDescription fileInput;
    fileInput.canChooseFiles = true;
    fileInput.canChooseDirectories = true;
    const auto unnamed = PanelButtons(fileInput);
    EXPECT_TRUE(Has(unnamed, "Ouvrir"));
    EXPECT_FALSE(Has(unnamed, ""));
    fileInput.prompt = "Analyser";
    const auto named = PanelButtons(fileInput);
    EXPECT_TRUE(Has(named, "Analyser"));
    EXPECT_FALSE(Has(named, "Ouvrir"));
    EXPECT_TRUE(Has(named, "Annuler"));
}

}  // namespace
}  // namespace mivra
