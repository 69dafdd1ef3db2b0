#pragma once
// Loading the interface and what follows when it fails: automatic reloads on
// a budget that a stable interface earns back, reloads of a dead page at a
// limited rate, the failure page when neither can help, and the user's own
// reload.

#include <cstdint>
#include <string>

#include "colour.h"
#include "failure_page.h"
#include "lifetime.h"
#include "rate_limit.h"
#include "toolkit.h"

namespace mivra {

class Reloads {
public:
    Reloads(Toolkit& toolkit, std::string interfaceUrl, Colour background);

    void loadInterface();
    void refresh();  // the user's reload: loads the interface when the view holds no page of it
    // A navigation the view is about to make.
    void navigationRequested(const std::string& uri);
    // A failed navigation to `uri`: a reload within the budget when it was
    // one of the interface.
    void navigationFailed(const std::string& uri);
    // True when the load that finished was one of the interface.
    bool pageFinishedLoading(const std::string& uri);
    void webProcessEnded();  // the page's process crashed or was killed

private:
    void retry();
    void failed();
    void giveBudgetBackWhenStable();
    void showFailurePage(Failure failure);

    Toolkit& toolkit_;
    const std::string interfaceUrl_;
    const Colour background_;
    std::int64_t attempts_ = 0;
    std::int64_t failures_ = 0;  // of the interface: loads and its page's process
    // Whether the view holds a page of the interface: what a reload would reload.
    bool showsInterface_ = false;
    RateLimit crashReloads_;
    bool failurePageShown_ = false;
    Lifetime lifetime_;
};

}  // namespace mivra
