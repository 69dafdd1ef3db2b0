#pragma once
// The window's own page for a failure the reloads cannot mend: what happened,
// and a way back to the interface. It is plain HTML with no bridge.

#include <string>

#include "colour.h"

namespace mivra {

enum class Failure {
    ServerSilent,  // every automatic reload of the interface failed
    PageStopped,   // the page's process died too often to be loaded again
};

// The page in the window's colour: the failure told in the app's French, and
// "Reessayer", a link to the interface address, with the Ctrl+R hint.
std::string FailurePage(Failure failure, const std::string& interfaceUrl, const Colour& background);

// The log record of its showing.
std::string FailureNote(Failure failure);

}  // namespace mivra
