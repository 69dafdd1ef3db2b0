#pragma once
// The window's own failure when reloads cannot mend it: what happened, and a
// way back to the interface. The desktop's widgets show it in place of the
// web view, which cannot draw anything when its engine is what failed.

#include <string>

#include "toolkit.h"
#include "toolkit_events.h"

namespace mivra {

enum class Failure {
    ServerSilent,  // every automatic reload of the interface failed
    PageStopped,   // the page's process died too often to be loaded again
};

// The failure told in the app's French (the interface address, or the likely
// cause), with "Reessayer" and the Ctrl+R hint.
FailureView FailureViewOf(Failure failure, const std::string& interfaceUrl);

// The log record of its showing.
std::string FailureNote(Failure failure);

// The log record of a death of the page's process, with its cause.
std::string PageProcessEndNote(PageProcessEnd why);

}  // namespace mivra
