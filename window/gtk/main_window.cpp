#include "main_window.h"

#include <string>
#include <vector>

#include "handle.h"
#include "pane_focus.h"
#include "resize_edges.h"
#include "window_state.h"

namespace mivra {
namespace {

constexpr const char* kWindowClass = "mivra-main";
constexpr const char* kButtonsClass = "mivra-window-buttons";
constexpr int kButtonsMargin = 10;
constexpr int kSpinnerSize = 16;
// The buttons' backing: the window's colour, nearly opaque, so their light
// glyphs show on a white page as on a dark one.
constexpr double kButtonBackingAlpha = 0.85;

void PreferDarkTheme(GtkWidget* window)
{
    g_object_set(gtk_widget_get_settings(window), "gtk-application-prefer-dark-theme", TRUE, nullptr);
}

// Without a compositor GTK frames the window with a solid border inside its
// area; the content keeps the whole window instead. The header bar that holds
// the window buttons loses its bar, keeping round buttons on a backing.
std::string StyleSheet(const Colour& background)
{
    const std::string window = std::string("window.") + kWindowClass;
    const std::string buttons = std::string("headerbar.") + kButtonsClass;
    return window + " { background-color: " + CssColour(background) + "; }\n" + window +
           ".solid-csd decoration { margin: 0; padding: 0; border-width: 0; border-radius: 0; box-shadow: none; }\n" +
           buttons + " { min-height: 0; margin: 0; padding: 0; border: none; background: none; box-shadow: none; }\n" +
           buttons +
           " button.titlebutton { min-width: 24px; min-height: 24px; margin: 0; padding: 0; border: none;"
           " border-radius: 50%; color: #ffffff; background-image: none; background-color: " +
           CssColour(Colour{background.red, background.green, background.blue, kButtonBackingAlpha}) +
           "; box-shadow: inset 0 0 0 1px rgba(255, 255, 255, 0.3); }\n" + buttons +
           " button.titlebutton:hover { background-color: #3a3f4b; }\n";
}

void Style(GtkWidget* window, const Colour& background)
{
    const std::string css = StyleSheet(background);
    g_autoptr(GtkCssProvider) provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    gtk_style_context_add_class(gtk_widget_get_style_context(window), kWindowClass);
}

// Client-side decorations with a title bar that is never shown: GTK still
// leaves moving, maximising and tiling to the window manager, which an
// undecorated window would lose.
void HideSystemTitleBar(GtkWindow* window)
{
    GtkWidget* none = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    atk_object_set_role(gtk_widget_get_accessible(none), ATK_ROLE_REDUNDANT_OBJECT);  // skipped by screen readers
    gtk_window_set_titlebar(window, none);
}

// The buttons in GTK's decoration layout syntax: names before the colon stand at the start.
std::string DecorationLayout(const std::vector<WindowButton>& buttons)
{
    std::string layout;
    for (const WindowButton button : buttons) {
        layout += layout.empty() ? "" : ",";
        switch (button) {
        case WindowButton::Close: layout += "close"; break;
        case WindowButton::Minimise: layout += "minimize"; break;
        case WindowButton::Maximise: layout += "maximize"; break;
        }
    }
    return layout + ":";
}

void FollowFullScreen(GtkWindow* window, GtkHeaderBar* buttons)
{
    const bool fullScreen = HasState(window, GDK_WINDOW_STATE_FULLSCREEN);
    gtk_header_bar_set_decoration_layout(buttons, DecorationLayout(WindowButtons(fullScreen)).c_str());
}

gboolean OnWindowState(GtkWidget* window, GdkEventWindowState*, gpointer buttons)
{
    FollowFullScreen(GTK_WINDOW(window), GTK_HEADER_BAR(buttons));
    return FALSE;
}

// A header bar with no title, kept for its window buttons, which follow the
// desktop's settings and the window's state.
GtkWidget* NewWindowButtons(GtkWindow* window)
{
    GtkWidget* buttons = gtk_header_bar_new();
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(buttons), TRUE);
    gtk_header_bar_set_has_subtitle(GTK_HEADER_BAR(buttons), FALSE);
    gtk_style_context_add_class(gtk_widget_get_style_context(buttons), kButtonsClass);
    FollowFullScreen(window, GTK_HEADER_BAR(buttons));
    g_signal_connect_object(window, "window-state-event", G_CALLBACK(OnWindowState), buttons, G_CONNECT_AFTER);
    gtk_widget_set_valign(buttons, GTK_ALIGN_CENTER);
    gtk_widget_set_margin_start(buttons, kButtonsMargin);
    gtk_widget_set_margin_end(buttons, kButtonsMargin);
    return buttons;
}

// Empty and transparent; it takes the pointer over the rest of the strip.
GtkWidget* NewHandleArea()
{
    GtkWidget* area = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(area), FALSE);
    gtk_widget_set_hexpand(area, TRUE);
    return area;
}

// Along the top edge, from the left edge to the gap left to the page.
GtkWidget* NewTopStrip(const WindowDescription& description, GtkWidget* buttons, GtkWidget* handleArea)
{
    GtkWidget* strip = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_size_request(strip, -1, description.handleHeight);
    gtk_widget_set_valign(strip, GTK_ALIGN_START);
    gtk_widget_set_halign(strip, GTK_ALIGN_FILL);
    gtk_widget_set_margin_end(strip, description.handleRightGap);
    gtk_box_pack_start(GTK_BOX(strip), buttons, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(strip), handleArea, TRUE, TRUE, 0);
    gtk_widget_show_all(strip);
    return strip;
}

// A small spinner in the middle of the handle area, hidden until there is
// work in progress; it has no window of its own, so the pointer goes through
// it to the handle.
GtkWidget* NewWorkingIndicator()
{
    GtkWidget* spinner = gtk_spinner_new();
    gtk_widget_set_halign(spinner, GTK_ALIGN_CENTER);
    gtk_widget_set_valign(spinner, GTK_ALIGN_CENTER);
    gtk_widget_set_size_request(spinner, kSpinnerSize, kSpinnerSize);
    gtk_widget_set_no_show_all(spinner, TRUE);
    return spinner;
}

// The web view, and the window's own failure when the engine fails.
GtkWidget* NewPages(WebKitWebView* web)
{
    GtkWidget* pages = gtk_stack_new();
    gtk_widget_set_hexpand(pages, TRUE);
    gtk_widget_set_vexpand(pages, TRUE);
    gtk_widget_show(GTK_WIDGET(web));
    gtk_container_add(GTK_CONTAINER(pages), GTK_WIDGET(web));
    gtk_widget_show(pages);
    return pages;
}

GtkWidget* NewContent(GtkWindow* window, GtkWidget* pages, GtkWidget* strip, Size minimum)
{
    GtkWidget* content = gtk_overlay_new();
    gtk_widget_set_size_request(content, minimum.width, minimum.height);
    gtk_container_add(GTK_CONTAINER(content), pages);
    gtk_overlay_add_overlay(GTK_OVERLAY(content), strip);
    AddResizeEdges(window, GTK_OVERLAY(content));
    gtk_widget_show(content);
    return content;
}

}  // namespace

MainWindow BuildMainWindow(GtkApplication* application, const WindowDescription& description, WebKitWebView* web,
                           Size minimum)
{
    GtkWidget* window = gtk_application_window_new(application);
    gtk_application_window_set_show_menubar(GTK_APPLICATION_WINDOW(window), FALSE);
    gtk_window_set_title(GTK_WINDOW(window), description.title.c_str());
    HideSystemTitleBar(GTK_WINDOW(window));
    PreferDarkTheme(window);
    Style(window, description.background);
    GtkWidget* handleArea = NewHandleArea();
    GtkWidget* working = NewWorkingIndicator();
    gtk_container_add(GTK_CONTAINER(handleArea), working);
    GtkWidget* buttons = NewWindowButtons(GTK_WINDOW(window));
    GtkWidget* strip = NewTopStrip(description, buttons, handleArea);
    GtkWidget* pages = NewPages(web);
    GtkWidget* content = NewContent(GTK_WINDOW(window), pages, strip, minimum);
    gtk_container_add(GTK_CONTAINER(window), content);
    AttachPaneFocus(GTK_WINDOW(window), GTK_STACK(pages), GTK_HEADER_BAR(buttons));
    return MainWindow{GTK_WINDOW(window), content, GTK_STACK(pages), handleArea, GTK_SPINNER(working)};
}

}  // namespace mivra
