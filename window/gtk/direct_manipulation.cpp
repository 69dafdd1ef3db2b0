#include "direct_manipulation.h"

#include "drop_adapter.h"
#include "handle_gesture.h"
#include "page_dialogs.h"

namespace mivra {

void AttachDirectManipulation(WebKitWebView* web, GtkWidget* handleArea, std::weak_ptr<Controller> controller)
{
    AttachHandleGesture(handleArea);
    AttachDropTarget(web, controller);
    AttachPageDialogs(web, std::move(controller));
}

}  // namespace mivra
