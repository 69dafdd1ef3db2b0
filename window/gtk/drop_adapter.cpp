#include "drop_adapter.h"

#include <optional>
#include <string>
#include <utility>

#include "glib_ownership.h"

namespace mivra {

namespace {

constexpr char kAdapterKey[] = "mivra-drop-adapter";

// The local paths of the files in the list, in order; an entry without a local
// path (not a file URL) is left out.
Drag DragFromFileList(const GValue* value)
{
    Drag drag;
    auto* list = static_cast<GdkFileList*>(g_value_get_boxed(value));
    if (!list)
        return drag;
    GSList* files = gdk_file_list_get_files(list);
    for (GSList* item = files; item; item = item->next) {
        g_autofree char* path = g_file_get_path(G_FILE(item->data));
        if (path)
            drag.filePaths.emplace_back(path);
    }
    g_slist_free(files);
    return drag;
}

// GtkDropTarget has no "drag ended" of its own: the drag ends for the view
// when the target lets go of its GdkDrop, after a leave, after a drop, or when
// GTK gives up on reading it. Until the file list of a hovering drag has been
// read the drag counts as not yet entered, and the page is told of the hover
// once it is known.
class DropAdapter {
public:
    DropAdapter(WebKitWebView* view, ScriptSender sendScript, std::weak_ptr<DropTarget> target)
        : view_(view), dropWebView_(std::move(sendScript), std::move(target))
    {
    }

    ~DropAdapter() { stopReading(); }

    DropAdapter(const DropAdapter&) = delete;
    DropAdapter& operator=(const DropAdapter&) = delete;

    void attach()
    {
        GtkDropTarget* target = gtk_drop_target_new(GDK_TYPE_FILE_LIST, GDK_ACTION_COPY);
        gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(target), GTK_PHASE_CAPTURE);
        g_signal_connect(target, "enter", G_CALLBACK(OnEnter), this);
        g_signal_connect(target, "motion", G_CALLBACK(OnMotion), this);
        g_signal_connect(target, "leave", G_CALLBACK(OnLeave), this);
        g_signal_connect(target, "drop", G_CALLBACK(OnDrop), this);
        g_signal_connect(target, "notify::current-drop", G_CALLBACK(OnCurrentDropChanged), this);
        gtk_widget_add_controller(GTK_WIDGET(view_), GTK_EVENT_CONTROLLER(target));
    }

private:
    static GdkDragAction OnEnter(GtkDropTarget* target, double, double, DropAdapter* self)
    {
        self->begin(gtk_drop_target_get_current_drop(target));
        return GdkDragAction(0);
    }

    static GdkDragAction OnMotion(GtkDropTarget*, double, double, DropAdapter* self)
    {
        if (!self->hovering_)
            return GdkDragAction(0);
        return self->dropWebView_.draggingUpdated(*self->hovering_) ? GDK_ACTION_COPY : GdkDragAction(0);
    }

    static void OnLeave(GtkDropTarget*, DropAdapter* self)
    {
        if (self->active_ && !self->dropped_)
            self->dropWebView_.draggingExited();
    }

    static gboolean OnDrop(GtkDropTarget*, const GValue* value, double, double, DropAdapter* self)
    {
        self->dropped_ = true;
        const Drag drag = DragFromFileList(value);
        return self->dropWebView_.prepareForDragOperation(drag) && self->dropWebView_.performDragOperation(drag);
    }

    static void OnCurrentDropChanged(GtkDropTarget* target, GParamSpec*, DropAdapter* self)
    {
        if (!gtk_drop_target_get_current_drop(target))
            self->end();
    }

    static void OnRead(GObject* source, GAsyncResult* result, gpointer data)
    {
        g_autoptr(GError) error = nullptr;
        const GValue* value = gdk_drop_read_value_finish(GDK_DROP(source), result, &error);
        if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            return;  // the adapter may be gone
        Drag drag;
        if (value)
            drag = DragFromFileList(value);
        else
            drag.failure = error ? error->message : "";
        static_cast<DropAdapter*>(data)->read(GDK_DROP(source), std::move(drag));
    }

    void begin(GdkDrop* drop)
    {
        stopReading();
        active_ = true;
        dropped_ = false;
        hovering_.reset();
        reading_.reset(g_cancellable_new());
        gdk_drop_read_value_async(drop, GDK_TYPE_FILE_LIST, G_PRIORITY_DEFAULT, reading_.get(), OnRead, this);
    }

    // The file list is known: the drag enters now, and the source learns at
    // once whether it may drop here.
    void read(GdkDrop* drop, Drag drag)
    {
        reading_.reset();
        hovering_ = std::move(drag);
        const bool accepted = dropWebView_.draggingEntered(*hovering_);
        const GdkDragAction action = accepted ? GDK_ACTION_COPY : GdkDragAction(0);
        gdk_drop_status(drop, GDK_ACTION_COPY, action);
    }

    void end()
    {
        if (!active_)
            return;
        stopReading();
        active_ = false;
        hovering_.reset();
        dropWebView_.draggingEnded();
    }

    void stopReading()
    {
        if (reading_)
            g_cancellable_cancel(reading_.get());
        reading_.reset();
    }

    WebKitWebView* view_;
    DropWebView dropWebView_;
    Owned<GCancellable> reading_;
    std::optional<Drag> hovering_;
    bool active_ = false;
    bool dropped_ = false;
};

}  // namespace

void AttachDropTarget(WebKitWebView* view, ScriptSender sendScript, std::weak_ptr<DropTarget> target)
{
    auto adapter = std::make_unique<DropAdapter>(view, std::move(sendScript), std::move(target));
    adapter->attach();
    g_object_set_data_full(G_OBJECT(view), kAdapterKey, HandToGLib(std::move(adapter)), FreeFromGLib<DropAdapter>);
}

}  // namespace mivra
