// A window to drag files from, for the end-to-end tests: the whole window is
// a drag source offering the files named on the command line as a file list
// (text/uri-list on X11). Prints "ended" when a drag ends.

#include <cstdio>
#include <vector>

#include <gtk/gtk.h>

namespace {

struct Files {
    std::vector<GFile*> files;
    ~Files()
    {
        for (GFile* file : files)
            g_object_unref(file);
    }
};

GdkContentProvider* OnPrepare(GtkDragSource*, double, double, gpointer data)
{
    const Files& offered = *static_cast<Files*>(data);
    GSList* list = nullptr;
    for (auto it = offered.files.rbegin(); it != offered.files.rend(); ++it)
        list = g_slist_prepend(list, *it);
    GdkFileList* fileList = gdk_file_list_new_from_list(list);
    g_slist_free(list);
    GdkContentProvider* provider = gdk_content_provider_new_typed(GDK_TYPE_FILE_LIST, fileList);
    g_boxed_free(GDK_TYPE_FILE_LIST, fileList);
    return provider;
}

void OnEnd(GtkDragSource*, GdkDrag*, gboolean, gpointer)
{
    std::printf("ended\n");
    std::fflush(stdout);
}

void OnActivate(GtkApplication* application, gpointer data)
{
    GtkWidget* window = gtk_application_window_new(application);
    gtk_window_set_title(GTK_WINDOW(window), "mivra-drag-source");
    gtk_window_set_default_size(GTK_WINDOW(window), 200, 200);
    GtkWidget* area = gtk_label_new("fichiers");
    GtkDragSource* source = gtk_drag_source_new();
    gtk_drag_source_set_actions(source, GDK_ACTION_COPY);
    g_signal_connect(source, "prepare", G_CALLBACK(OnPrepare), data);
    g_signal_connect(source, "drag-end", G_CALLBACK(OnEnd), nullptr);
    gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(source));
    gtk_window_set_child(GTK_WINDOW(window), area);
    gtk_window_present(GTK_WINDOW(window));
}

}  // namespace

// drag_source PATH_OR_URI...: a path is offered as a local file, anything
// with a scheme as that URI.
int main(int argc, char** argv)
{
    Files offered;
    for (int i = 1; i < argc; ++i)
        offered.files.push_back(g_file_new_for_commandline_arg(argv[i]));
    g_autoptr(GtkApplication) application = gtk_application_new(nullptr, G_APPLICATION_NON_UNIQUE);
    g_signal_connect(application, "activate", G_CALLBACK(OnActivate), &offered);
    return g_application_run(G_APPLICATION(application), 1, argv);
}
