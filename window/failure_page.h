#pragma once
// The window's own failure when reloads cannot mend it: what happened, and a
// way back to the interface.

#include <string>

#include "colour.h"
#include "toolkit.h"
#include "toolkit_events.h"

namespace mivra {

enum class Failure {
    ServerSilent,  // every automatic reload of the interface failed
    PageStopped,   // the page's process died too often to be loaded again
};

// A silent server leaves the engine working: the window's own page, in its
// colour, tells it in the app's French, with "Reessayer", a link to the
// interface address, and the Ctrl+R hint.
std::string ServerSilentPage(const std::string& interfaceUrl, const Colour& background);

// A page that keeps dying leaves an engine that cannot draw: the same
// failure in the window's own widgets, naming the likely cause.
FailureView StoppedPageView();

// The log record of its showing.
std::string FailureNote(Failure failure);

// The log record of a death of the page's process, with its cause.
std::string PageProcessEndNote(PageProcessEnd why);

}  // namespace mivra
