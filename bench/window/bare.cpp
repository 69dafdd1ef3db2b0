// The floor of the stack: a GTK 3 window with a WebKit2GTK 4.1 view that loads
// one URL and answers the page's "autorises" message, nothing more.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstring>

static const char* gUrl;

// WebKit2GTK 4.1 hands the message over wrapped in a WebKitJavascriptResult.
static void onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer view)
{
    JSCValue* body = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_object(body))
        return;
    g_autoptr(JSCValue) action = jsc_value_object_get_property(body, "action");
    g_autofree char* text = jsc_value_to_string(action);
    if (std::strcmp(text, "autorises") == 0)
        webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), "window.__autorises && window.__autorises([])", -1,
                                            nullptr, nullptr, nullptr, nullptr, nullptr);
}

static void onActivate(GtkApplication* app, gpointer)
{
    GtkWidget* window = gtk_application_window_new(app);
    gtk_window_set_title(GTK_WINDOW(window), "Bare");
    gtk_window_set_default_size(GTK_WINDOW(window), 1080, 740);
    GtkWidget* view = webkit_web_view_new();
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(view));
    g_signal_connect(content, "script-message-received::native", G_CALLBACK(onMessage), view);
    webkit_user_content_manager_register_script_message_handler(content, "native");
    gtk_container_add(GTK_CONTAINER(window), view);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), gUrl);
    gtk_widget_show_all(window);
}

int main(int argc, char** argv)
{
    gUrl = argc > 1 ? argv[1] : "http://127.0.0.1:8790/";
    GtkApplication* app = gtk_application_new(nullptr, G_APPLICATION_NON_UNIQUE);
    g_signal_connect(app, "activate", G_CALLBACK(onActivate), nullptr);
    int status = g_application_run(G_APPLICATION(app), 0, nullptr);
    g_object_unref(app);
    return status;
}
