#pragma once
// Loading the interface and what follows when it fails: automatic reloads on
// a budget that a stable interface earns back, reloads of a dead page at a
// limited rate and once without hardware acceleration, the failure when none
// can help, and the user's own reload.

#include <cstdint>
#include <string>

#include "failure_page.h"
#include "lifetime.h"
#include "rate_limit.h"
#include "toolkit.h"

namespace mivra {

class Reloads {
public:
    // `renderingSetByUser`: the rendering is the user's choice, never changed here.
    Reloads(Toolkit& toolkit, std::string interfaceUrl, bool renderingSetByUser);

    void loadInterface();
    // The user's reload: loads the interface when the view holds no page of
    // it, and starts over in a fresh view from the failure.
    void refresh();
    // A failed navigation to `uri`: a reload within the budget when it was
    // one of the interface.
    void navigationFailed(const std::string& uri);
    // True when the load that finished was one of the interface.
    bool pageFinishedLoading(const std::string& uri);
    void webProcessEnded(PageProcessEnd why);  // the page's process died

private:
    void retry();
    void failed();
    void giveBudgetBackWhenStable();
    void showFailure(Failure failure);
    bool mayRetryWithoutAcceleration() const;
    void retryWithoutAcceleration();
    void startOver();

    Toolkit& toolkit_;
    const std::string interfaceUrl_;
    const bool renderingSetByUser_;
    std::int64_t attempts_ = 0;
    std::int64_t failures_ = 0;  // of the interface: loads and its page's process
    // Whether the view holds a page of the interface: what a reload would reload.
    bool showsInterface_ = false;
    RateLimit crashReloads_;
    bool failureShown_ = false;
    // Hardware acceleration: on until a page keeps dying; once a page loads
    // without it, off for the rest of the run.
    enum class Acceleration { On, TriedOff, Off } acceleration_ = Acceleration::On;
    Lifetime lifetime_;
};

}  // namespace mivra
