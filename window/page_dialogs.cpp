#include "page_dialogs.h"

#include <utility>

namespace mivra {

namespace {

constexpr const char* kFileInputTitle = "Choisir un fichier";
constexpr const char* kAlertTitle = "Mivra";  // an alert with nothing to read

// What the alert shows first, as its window's title too.
std::string AlertTitle(const std::string& message)
{
    const std::string firstLine = message.substr(0, message.find('\n'));
    return firstLine.empty() ? kAlertTitle : firstLine;
}

}  // namespace

void RunFileInput(Toolkit& toolkit, std::function<void(std::optional<std::string>)> answer)
{
    OpenPanelDescription panel;
    panel.canChooseFiles = true;
    panel.canChooseDirectories = true;
    panel.packagesAreItems = true;
    panel.title = kFileInputTitle;
    toolkit.showOpenPanel(panel, std::move(answer));
}

void RunPageDialog(Toolkit& toolkit, PageDialog dialog, const std::string& message,
                   std::function<void(bool confirmed)> answered)
{
    switch (dialog) {
    case PageDialog::Alert:
        toolkit.showAlert(AlertTitle(message), message, [answered = std::move(answered)] { answered(true); });
        break;
    case PageDialog::Confirm:
    case PageDialog::Prompt: answered(false); break;
    case PageDialog::LeavePage: answered(true); break;
    }
}

}  // namespace mivra
