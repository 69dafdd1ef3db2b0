// A window to drag files from in the end-to-end tests: the whole window offers
// the files named on the command line as a file list (a path as a local file,
// anything with a scheme as that URI). It prints where the pointer is over it
// and its size, "x y width height", which is how a test finds a Wayland window.

#include <gtk/gtk.h>

#include <cstdio>
#include <vector>

namespace {

GdkContentProvider* OnPrepare(GtkDragSource*, double, double, gpointer data)
{
    auto* offered = static_cast<std::vector<GFile*>*>(data);
    GdkFileList* files = gdk_file_list_new_from_array(offered->data(), offered->size());
    GdkContentProvider* provider = gdk_content_provider_new_typed(GDK_TYPE_FILE_LIST, files);
    g_boxed_free(GDK_TYPE_FILE_LIST, files);
    return provider;
}

void OnPointer(GtkEventControllerMotion* motion, double x, double y, gpointer)
{
    GtkWidget* area = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(motion));
    std::printf("%.0f %.0f %d %d\n", x, y, gtk_widget_get_width(area), gtk_widget_get_height(area));
    std::fflush(stdout);
}

void OnActivate(GtkApplication* application, gpointer data)
{
    GtkWidget* window = gtk_application_window_new(application);
    gtk_window_set_title(GTK_WINDOW(window), "mivra-drag-source");
    gtk_window_set_default_size(GTK_WINDOW(window), 300, 300);
    GtkWidget* area = gtk_label_new("fichiers");
    GtkDragSource* source = gtk_drag_source_new();
    gtk_drag_source_set_actions(source, GDK_ACTION_COPY);
    g_signal_connect(source, "prepare", G_CALLBACK(OnPrepare), data);
    gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(source));
    GtkEventController* motion = gtk_event_controller_motion_new();
    g_signal_connect(motion, "motion", G_CALLBACK(OnPointer), nullptr);
    gtk_widget_add_controller(area, motion);
    gtk_window_set_child(GTK_WINDOW(window), area);
    gtk_window_present(GTK_WINDOW(window));
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<GFile*> offered;
    for (int i = 1; i < argc; ++i)
        offered.push_back(g_file_new_for_commandline_arg(argv[i]));
    g_autoptr(GtkApplication) application = gtk_application_new(nullptr, G_APPLICATION_NON_UNIQUE);
    g_signal_connect(application, "activate", G_CALLBACK(OnActivate), &offered);
    const int status = g_application_run(G_APPLICATION(application), 1, argv);
    for (GFile* file : offered)
        g_object_unref(file);
    return status;
}
