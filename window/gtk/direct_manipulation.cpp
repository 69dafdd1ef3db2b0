#include "direct_manipulation.h"

#include <utility>

#include "drop_adapter.h"
#include "handle_gesture.h"
#include "page_context_menu.h"

namespace mivra {

void AttachDirectManipulation(WebKitWebView* web, GtkWidget* handleArea, ScriptSender sendScript,
                              std::weak_ptr<DropTarget> dropTarget, PageDialogEvents dialogs)
{
    AttachHandleGesture(handleArea);
    AttachDropTarget(web, std::move(sendScript), std::move(dropTarget));
    AttachPageDialogs(web, std::move(dialogs));
    LimitPageContextMenu(web);
}

}  // namespace mivra
