#include "page_dialogs.h"

#include <memory>
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

void Answer(WebKitScriptDialog* dialog, bool confirmed)
{
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_ALERT: break;
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
        webkit_script_dialog_confirm_set_confirmed(dialog, confirmed);
        break;
    case WEBKIT_SCRIPT_DIALOG_PROMPT:
        // Left without text, the prompt answers null, as cancelled.
        if (confirmed)
            webkit_script_dialog_prompt_set_text(dialog, webkit_script_dialog_prompt_get_default_text(dialog));
        break;
    }
}

// A script dialog waiting for its answer. One answered while its signal is
// handled is answered in place; otherwise it is kept open, and the page's
// script waits, until the answer comes, or closed as it is when it never does.
class PendingScriptDialog {
public:
    explicit PendingScriptDialog(WebKitScriptDialog* dialog) : dialog_(dialog) {}
    ~PendingScriptDialog()
    {
        if (kept_)
            webkit_script_dialog_close(kept_.get());
    }

    PendingScriptDialog(const PendingScriptDialog&) = delete;
    PendingScriptDialog& operator=(const PendingScriptDialog&) = delete;

    // The signal handler returns: WebKit closes the dialog then unless it is kept.
    void leaveHandler()
    {
        if (dialog_)
            kept_.reset(webkit_script_dialog_ref(dialog_));
        dialog_ = nullptr;
    }

    void answer(bool confirmed)
    {
        if (dialog_) {
            Answer(dialog_, confirmed);
            dialog_ = nullptr;
        } else if (kept_) {
            Answer(kept_.get(), confirmed);
            webkit_script_dialog_close(kept_.get());
            kept_.reset();
        }
    }

private:
    WebKitScriptDialog* dialog_;  // while the signal is handled and no answer came
    Owned<WebKitScriptDialog, webkit_script_dialog_unref> kept_;
};

PageDialog KindOf(WebKitScriptDialog* dialog)
{
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM: return PageDialog::Confirm;
    case WEBKIT_SCRIPT_DIALOG_PROMPT: return PageDialog::Prompt;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM: return PageDialog::LeavePage;
    case WEBKIT_SCRIPT_DIALOG_ALERT: break;
    }
    return PageDialog::Alert;
}

gboolean OnRunFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, PageDialogEvents* events)
{
    auto pending = std::make_shared<FileInputRequest>(request);
    events->fileInput([pending](std::optional<std::string> chosen) { pending->answer(chosen); });
    return TRUE;
}

gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, PageDialogEvents* events)
{
    auto pending = std::make_shared<PendingScriptDialog>(dialog);
    events->scriptDialog(KindOf(dialog), webkit_script_dialog_get_message(dialog),
                         [pending](bool confirmed) { pending->answer(confirmed); });
    pending->leaveHandler();
    return TRUE;
}

GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer)
{
    return nullptr;
}

}  // namespace

void AttachPageDialogs(WebKitWebView* view, PageDialogEvents events)
{
    auto dialogs = std::make_unique<PageDialogEvents>(std::move(events));
    g_signal_connect(view, "run-file-chooser", G_CALLBACK(OnRunFileChooser), dialogs.get());
    g_signal_connect(view, "script-dialog", G_CALLBACK(OnScriptDialog), dialogs.get());
    g_signal_connect(view, "create", G_CALLBACK(OnCreate), nullptr);
    g_object_set_data_full(G_OBJECT(view), kDialogsKey, HandToGLib(std::move(dialogs)), FreeFromGLib<PageDialogEvents>);
}

}  // namespace mivra
