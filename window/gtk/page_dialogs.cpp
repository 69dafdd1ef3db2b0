#include "page_dialogs.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "dialog_completion.h"

namespace mivra {

namespace {

constexpr char kDialogsKey[] = "mivra-page-dialogs";

// A file input's answer: the chosen file, or cancelled when no file was chosen
// or the answer never comes.
using FileInputCompletion = DialogCompletion<std::optional<std::string>>;

std::shared_ptr<FileInputCompletion> CompletionOf(WebKitFileChooserRequest* request)
{
    std::shared_ptr<WebKitFileChooserRequest> held(WEBKIT_FILE_CHOOSER_REQUEST(g_object_ref(request)), g_object_unref);
    const auto answer = [held](const std::optional<std::string>& chosen) {
        if (chosen) {
            const char* const files[] = {chosen->c_str(), nullptr};
            webkit_file_chooser_request_select_files(held.get(), files);
        } else {
            webkit_file_chooser_request_cancel(held.get());
        }
    };
    return std::make_shared<FileInputCompletion>(answer, std::nullopt);
}

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

// A script dialog's answer. One answered while its signal is handled is
// answered in place and WebKit closes it; otherwise it is kept open, and the
// page's script waits, until the answer comes, or closed unconfirmed when it
// never does.
class PendingScriptDialog {
public:
    explicit PendingScriptDialog(WebKitScriptDialog* dialog)
        : dialog_(webkit_script_dialog_ref(dialog)), completion_([this](bool confirmed) { finish(confirmed); }, false)
    {
    }

    PendingScriptDialog(const PendingScriptDialog&) = delete;
    PendingScriptDialog& operator=(const PendingScriptDialog&) = delete;

    void answer(bool confirmed) { completion_.answer(confirmed); }
    // The signal handler returns: WebKit closes the dialog then unless it is kept.
    void leaveHandler() { inHandler_ = false; }

private:
    void finish(bool confirmed)
    {
        Answer(dialog_.get(), confirmed);
        if (!inHandler_)
            webkit_script_dialog_close(dialog_.get());
    }

    Owned<WebKitScriptDialog, webkit_script_dialog_unref> dialog_;
    bool inHandler_ = true;
    DialogCompletion<bool> completion_;  // last: it may answer as it goes, with the dialog still held
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
    auto completion = CompletionOf(request);
    events->fileInput([completion](std::optional<std::string> chosen) { completion->answer(std::move(chosen)); });
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
