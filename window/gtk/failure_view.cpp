#include "failure_view.h"

#include <memory>
#include <string>
#include <utility>

#include "glib_ownership.h"

namespace mivra {
namespace {

constexpr int kTextWidthInCharacters = 48;
constexpr int kSpacing = 14;

using Retry = std::function<void()>;

void OnRetryClicked(GtkButton*, gpointer retry)
{
    (*static_cast<Retry*>(retry))();
}

GtkWidget* NewText(const std::string& text)
{
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);  // a long address too
    gtk_label_set_max_width_chars(GTK_LABEL(label), kTextWidthInCharacters);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
    return label;
}

// The title in the theme's large type, on one line.
GtkWidget* NewTitle(const std::string& title)
{
    GtkWidget* label = gtk_label_new(title.c_str());
    g_autoptr(PangoAttrList) attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_scale_new(PANGO_SCALE_XX_LARGE));
    pango_attr_list_insert(attributes, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
    gtk_label_set_attributes(GTK_LABEL(label), attributes);
    return label;
}

}  // namespace

FailureWidgets NewFailureView(const FailureView& failure, std::function<void()> retry)
{
    GtkWidget* view = gtk_box_new(GTK_ORIENTATION_VERTICAL, kSpacing);
    gtk_widget_set_halign(view, GTK_ALIGN_CENTER);
    gtk_widget_set_valign(view, GTK_ALIGN_CENTER);
    GtkWidget* button = gtk_button_new_with_label(failure.retry.c_str());
    gtk_widget_set_halign(button, GTK_ALIGN_CENTER);
    gtk_style_context_add_class(gtk_widget_get_style_context(button), GTK_STYLE_CLASS_SUGGESTED_ACTION);
    g_signal_connect_data(
        button, "clicked", G_CALLBACK(OnRetryClicked), HandToGLib(std::make_unique<Retry>(std::move(retry))),
        [](gpointer data, GClosure*) { FreeFromGLib<Retry>(data); }, GConnectFlags{});
    gtk_box_pack_start(GTK_BOX(view), NewTitle(failure.title), FALSE, FALSE, 0);
    GtkWidget* hint = NewText(failure.hint);
    gtk_style_context_add_class(gtk_widget_get_style_context(hint), GTK_STYLE_CLASS_DIM_LABEL);
    gtk_box_pack_start(GTK_BOX(view), NewText(failure.explanation), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(view), button, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(view), hint, FALSE, FALSE, 0);
    gtk_widget_show_all(view);
    return FailureWidgets{view, button};
}

}  // namespace mivra
