#include "main_window.h"

#include <string>

#include "handle.h"
#include "resize_edges.h"

namespace mivra {
namespace {

constexpr const char* kWindowClass = "mivra-main";
constexpr int kButtonsMargin = 10;
constexpr int kSpinnerSize = 16;

void PreferDarkTheme(GtkWidget* window)
{
    g_object_set(gtk_settings_get_for_display(gtk_widget_get_display(window)), "gtk-application-prefer-dark-theme",
                 TRUE, nullptr);
}

void PaintBackground(GtkWidget* window, const Colour& colour)
{
    const GdkRGBA rgba{static_cast<float>(colour.red), static_cast<float>(colour.green),
                       static_cast<float>(colour.blue), static_cast<float>(colour.alpha)};
    g_autofree char* css_colour = gdk_rgba_to_string(&rgba);
    const std::string selector = std::string("window.") + kWindowClass;
    // Without a compositor GTK frames the window with a solid border inside
    // its area; the content keeps the whole window instead.
    const std::string css = selector + " { background-color: " + css_colour + "; }\n" + selector +
                            ".solid-csd { padding: 0; border-width: 0; border-radius: 0; box-shadow: none; }";
    g_autoptr(GtkCssProvider) provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css.c_str(), -1);
    gtk_style_context_add_provider_for_display(gtk_widget_get_display(window), GTK_STYLE_PROVIDER(provider),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    gtk_widget_add_css_class(window, kWindowClass);
}

// Client-side decorations with a hidden title bar: GTK still gives the window
// its resize edges and leaves moving, maximising and tiling to the window
// manager, which an undecorated window would lose.
void HideSystemTitleBar(GtkWindow* window)
{
    GtkWidget* titleBar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_visible(titleBar, FALSE);
    gtk_window_set_titlebar(window, titleBar);
}

void FollowFullScreen(GtkWindow* window, GParamSpec*, GtkWindowControls* buttons)
{
    gtk_window_controls_set_decoration_layout(buttons, WindowButtonsLayout(gtk_window_is_fullscreen(window)).c_str());
}

GtkWidget* NewWindowButtons(GtkWindow* window)
{
    GtkWidget* buttons = gtk_window_controls_new(GTK_PACK_START);
    FollowFullScreen(window, nullptr, GTK_WINDOW_CONTROLS(buttons));
    g_signal_connect_object(window, "notify::fullscreened", G_CALLBACK(FollowFullScreen), buttons, GConnectFlags{});
    gtk_widget_set_valign(buttons, GTK_ALIGN_CENTER);
    gtk_widget_set_margin_start(buttons, kButtonsMargin);
    gtk_widget_set_margin_end(buttons, kButtonsMargin);
    return buttons;
}

// Empty and transparent; it takes the pointer over the rest of the strip.
GtkWidget* NewHandleArea()
{
    GtkWidget* area = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_hexpand(area, TRUE);
    return area;
}

// Along the top edge, from the left edge to the gap left to the page.
GtkWidget* NewTopStrip(GtkWindow* window, const WindowDescription& description, GtkWidget* handleArea)
{
    GtkWidget* strip = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_size_request(strip, -1, description.handleHeight);
    gtk_widget_set_valign(strip, GTK_ALIGN_START);
    gtk_widget_set_halign(strip, GTK_ALIGN_FILL);
    gtk_widget_set_margin_end(strip, description.handleRightGap);
    gtk_box_append(GTK_BOX(strip), NewWindowButtons(window));
    gtk_box_append(GTK_BOX(strip), handleArea);
    return strip;
}

// A small spinner in the middle of the handle area; the pointer goes through
// it to the handle. As an overlay child of its own, even hidden, it stopped
// the corner resize zones from taking drags (the handle tests show it).
GtkWidget* NewWorkingIndicator()
{
    GtkWidget* spinner = gtk_spinner_new();
    gtk_widget_set_hexpand(spinner, TRUE);
    gtk_widget_set_halign(spinner, GTK_ALIGN_CENTER);
    gtk_widget_set_valign(spinner, GTK_ALIGN_CENTER);
    gtk_widget_set_size_request(spinner, kSpinnerSize, kSpinnerSize);
    gtk_widget_set_can_target(spinner, FALSE);
    gtk_widget_set_visible(spinner, FALSE);
    return spinner;
}

GtkWidget* NewContent(GtkWindow* window, const WindowDescription& description, WebKitWebView* web,
                      GtkWidget* handleArea, Size minimum)
{
    GtkWidget* content = gtk_overlay_new();
    gtk_widget_set_size_request(content, minimum.width, minimum.height);
    gtk_widget_set_hexpand(GTK_WIDGET(web), TRUE);
    gtk_widget_set_vexpand(GTK_WIDGET(web), TRUE);
    gtk_overlay_set_child(GTK_OVERLAY(content), GTK_WIDGET(web));
    gtk_overlay_add_overlay(GTK_OVERLAY(content), NewTopStrip(window, description, handleArea));
    AddResizeEdges(window, GTK_OVERLAY(content));
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
    PaintBackground(window, description.background);
    GtkWidget* handleArea = NewHandleArea();
    GtkWidget* working = NewWorkingIndicator();
    gtk_box_append(GTK_BOX(handleArea), working);
    gtk_window_set_child(GTK_WINDOW(window), NewContent(GTK_WINDOW(window), description, web, handleArea, minimum));
    return MainWindow{GTK_WINDOW(window), handleArea, GTK_SPINNER(working)};
}

}  // namespace mivra
