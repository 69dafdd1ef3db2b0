#include "drop_adapter.h"

#include <memory>
#include <optional>
#include <utility>

#include "glib_ownership.h"

namespace mivra {

namespace {

constexpr char kAdapterKey[] = "mivra-drop-adapter";
// What a file manager offers beside its own types, the document portal's
// among them: the files as URIs.
constexpr char kUriList[] = "text/uri-list";

GdkAtom UriListAtom()
{
    return gdk_atom_intern_static_string(kUriList);
}

bool OffersFiles(GdkDragContext* context)
{
    for (GList* target = gdk_drag_context_list_targets(context); target; target = target->next)
        if (GDK_POINTER_TO_ATOM(target->data) == UriListAtom())
            return true;
    return false;
}

// GTK leaves the view before every drop, while it handles the drop's start.
bool DropStarting()
{
    g_autoptr(GdkEvent) current = gtk_get_current_event();
    return current && current->type == GDK_DROP_START;
}

// The local paths of the URIs, in order; an entry without a local path (not
// a file URI) is left out.
Drag DragFromUris(GtkSelectionData* data)
{
    Drag drag;
    if (gtk_selection_data_get_length(data) < 0) {
        drag.failure = "la liste des fichiers n'a pas pu etre lue";
        return drag;
    }
    g_auto(GStrv) uris = gtk_selection_data_get_uris(data);
    for (char** uri = uris; uri && *uri; ++uri) {
        g_autoptr(GFile) file = g_file_new_for_uri(*uri);
        if (g_autofree char* path = g_file_get_path(file))
            drag.filePaths.emplace_back(path);
    }
    return drag;
}

// WebKit's view is a drop site for every type a page may take. A drag that
// offers files is taken here, before WebKit's own handlers, which then never
// see it; any other drag goes on to WebKit.
//
// A drag enters once its file list has been read, at its first motion; the
// source learns then whether it may drop here, and every later motion gets
// the same answer. A drop hands on the list read then. On Wayland the
// compositor also leaves the view after a drop: the drag has ended by then.
class DropAdapter {
public:
    DropAdapter(WebKitWebView* view, ScriptSender sendScript, DropReceiver receive)
        : view_(view), dropWebView_(std::move(sendScript), std::move(receive))
    {
    }

    DropAdapter(const DropAdapter&) = delete;
    DropAdapter& operator=(const DropAdapter&) = delete;

    void attach()
    {
        g_signal_connect(view_, "drag-motion", G_CALLBACK(OnMotion), this);
        g_signal_connect(view_, "drag-leave", G_CALLBACK(OnLeave), this);
        g_signal_connect(view_, "drag-drop", G_CALLBACK(OnDrop), this);
        g_signal_connect(view_, "drag-data-received", G_CALLBACK(OnDataReceived), this);
    }

private:
    static gboolean OnMotion(GtkWidget* view, GdkDragContext* context, int, int, guint time, DropAdapter* self)
    {
        if (!OffersFiles(context))
            return FALSE;
        if (!self->follows(context))
            self->begin(view, context, time);
        else if (self->answer_)
            gdk_drag_status(context, *self->answer_, time);
        return TRUE;
    }

    static void OnLeave(GtkWidget* view, GdkDragContext* context, guint, DropAdapter* self)
    {
        if (!OffersFiles(context))
            return;
        g_signal_stop_emission_by_name(view, "drag-leave");
        if (!self->follows(context) || DropStarting())
            return;
        if (self->answer_)
            self->dropWebView_.dragLeft();
        self->end();
    }

    static gboolean OnDrop(GtkWidget*, GdkDragContext* context, int, int, guint time, DropAdapter* self)
    {
        if (!OffersFiles(context))
            return FALSE;
        const bool taken = self->follows(context) && self->answer_ && self->dropWebView_.dropped();
        gtk_drag_finish(context, taken, FALSE, time);
        self->end();
        return TRUE;
    }

    // The file list of the drag followed, read at its first motion; a list
    // that comes after the drag has gone is dropped.
    static void OnDataReceived(GtkWidget* view, GdkDragContext* context, int, int, GtkSelectionData* data, guint,
                               guint time, DropAdapter* self)
    {
        if (!OffersFiles(context))
            return;
        g_signal_stop_emission_by_name(view, "drag-data-received");
        if (!self->follows(context) || self->answer_)
            return;
        self->answer_ = self->dropWebView_.dragEntered(DragFromUris(data)) ? GDK_ACTION_COPY : GdkDragAction(0);
        gdk_drag_status(context, *self->answer_, time);
    }

    bool follows(GdkDragContext* context) const { return context_ && context_.get() == context; }

    void begin(GtkWidget* view, GdkDragContext* context, guint time)
    {
        context_.reset(GDK_DRAG_CONTEXT(g_object_ref(context)));
        answer_.reset();
        gtk_drag_get_data(view, context, UriListAtom(), time);
    }

    void end()
    {
        context_.reset();
        answer_.reset();
    }

    WebKitWebView* view_;
    DropWebView dropWebView_;
    Owned<GdkDragContext> context_;        // the drag followed, from its first motion to its end
    std::optional<GdkDragAction> answer_;  // known once the drag has entered
};

}  // namespace

void AttachDropTarget(WebKitWebView* view, ScriptSender sendScript, DropReceiver receive)
{
    auto adapter = std::make_unique<DropAdapter>(view, std::move(sendScript), std::move(receive));
    adapter->attach();
    g_object_set_data_full(G_OBJECT(view), kAdapterKey, HandToGLib(std::move(adapter)), FreeFromGLib<DropAdapter>);
}

}  // namespace mivra
