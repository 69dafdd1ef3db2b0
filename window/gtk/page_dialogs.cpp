#include "page_dialogs.h"

#include <optional>
#include <string>
#include <utility>

#include "glib_ownership.h"

namespace mivra {

namespace {

constexpr char kDialogsKey[] = "mivra-page-dialogs";

// A file input waiting for its answer. It is answered exactly once: with the
// chosen file, or cancelled when no file was chosen or the answer never comes.
class FileInputRequest {
public:
    explicit FileInputRequest(WebKitFileChooserRequest* request)
        : request_(WEBKIT_FILE_CHOOSER_REQUEST(g_object_ref(request)))
    {
    }
    ~FileInputRequest() { answer(std::nullopt); }

    FileInputRequest(const FileInputRequest&) = delete;
    FileInputRequest& operator=(const FileInputRequest&) = delete;

    void answer(const std::optional<std::string>& chosen)
    {
        if (!request_)
            return;
        if (chosen) {
            const char* const files[] = {chosen->c_str(), nullptr};
            webkit_file_chooser_request_select_files(request_.get(), files);
        } else {
            webkit_file_chooser_request_cancel(request_.get());
        }
        request_.reset();
    }

private:
    Owned<WebKitFileChooserRequest> request_;
};

// An alert kept open until the user closes ours; closing it lets the page's
// script go on.
class OpenAlert {
public:
    explicit OpenAlert(WebKitScriptDialog* dialog) : dialog_(webkit_script_dialog_ref(dialog)) {}
    ~OpenAlert() { close(); }

    OpenAlert(const OpenAlert&) = delete;
    OpenAlert& operator=(const OpenAlert&) = delete;

    void close()
    {
        if (!dialog_)
            return;
        webkit_script_dialog_close(dialog_.get());
        dialog_.reset();
    }

private:
    Owned<WebKitScriptDialog, webkit_script_dialog_unref> dialog_;
};

struct PageDialogs {
    std::weak_ptr<Controller> controller;
};

gboolean OnRunFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, PageDialogs* dialogs)
{
    auto pending = std::make_shared<FileInputRequest>(request);
    if (const auto controller = dialogs->controller.lock())
        controller->runFileInput([pending](std::optional<std::string> chosen) { pending->answer(chosen); });
    return TRUE;
}

void RunAlert(WebKitScriptDialog* dialog, PageDialogs* dialogs)
{
    const auto controller = dialogs->controller.lock();
    if (!controller)
        return;
    auto alert = std::make_shared<OpenAlert>(dialog);
    controller->runAlert(webkit_script_dialog_get_message(dialog), [alert] { alert->close(); });
}

// Only alerts get a dialog. A confirm is declined and a prompt answered as if
// cancelled (the page's script receives null); leaving the page is always
// allowed, so reloads and quitting are never held up by the page.
gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, PageDialogs* dialogs)
{
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_ALERT: RunAlert(dialog, dialogs); break;
    case WEBKIT_SCRIPT_DIALOG_CONFIRM: webkit_script_dialog_confirm_set_confirmed(dialog, FALSE); break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM: webkit_script_dialog_confirm_set_confirmed(dialog, TRUE); break;
    case WEBKIT_SCRIPT_DIALOG_PROMPT: break;
    }
    return TRUE;
}

GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer)
{
    return nullptr;
}

}  // namespace

void AttachPageDialogs(WebKitWebView* view, std::weak_ptr<Controller> controller)
{
    auto dialogs = std::make_unique<PageDialogs>(PageDialogs{std::move(controller)});
    g_signal_connect(view, "run-file-chooser", G_CALLBACK(OnRunFileChooser), dialogs.get());
    g_signal_connect(view, "script-dialog", G_CALLBACK(OnScriptDialog), dialogs.get());
    g_signal_connect(view, "create", G_CALLBACK(OnCreate), nullptr);
    g_object_set_data_full(G_OBJECT(view), kDialogsKey, HandToGLib(std::move(dialogs)), FreeFromGLib<PageDialogs>);
}

}  // namespace mivra
