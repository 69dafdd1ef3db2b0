#include "reloads.h"

#include <utility>

#include "note.h"
#include "web_address.h"

namespace mivra {

namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kReloadBudget = 40;
constexpr auto kReloadDelay = 300ms;
// How long the interface stays loaded without a failure to earn the budget back.
constexpr auto kStableSpan = 10min;
// A page whose process keeps dying is not loaded again and again.
constexpr std::size_t kCrashReloads = 3;
constexpr auto kCrashReloadSpan = 1min;

}  // namespace

Reloads::Reloads(Toolkit& toolkit, std::string interfaceUrl, Colour background)
    : toolkit_(toolkit), interfaceUrl_(std::move(interfaceUrl)), background_(background),
      crashReloads_(kCrashReloads, kCrashReloadSpan)
{
}

void Reloads::loadInterface()
{
    // An address that does not parse loads nothing, so no failure and no retry follow.
    toolkit_.loadUrl(interfaceUrl_);
}

// WebKit's reload does nothing in a view without a committed page (every
// load failed) and would reload a page of another site: both load the
// interface instead. Neither spends the reload budget.
void Reloads::refresh()
{
    if (showsInterface_)
        toolkit_.reload();
    else
        loadInterface();
}

// The failure page's "Reessayer" and Ctrl+R both load the interface: from
// there it starts over with a new budget.
void Reloads::navigationRequested(const std::string& uri)
{
    if (failurePageShown_ && SameOrigin(uri, interfaceUrl_)) {
        failurePageShown_ = false;
        attempts_ = 0;
    }
}

// Only the interface's own loads are retried: a link to another site that
// fails leaves the page, and what the user did in it, as it is.
void Reloads::navigationFailed(const std::string& uri)
{
    if (!SameOrigin(uri, interfaceUrl_)) {
        Note("chargement impossible : " + uri);
        return;
    }
    failed();
    retry();
}

bool Reloads::pageFinishedLoading(const std::string& uri)
{
    showsInterface_ = SameOrigin(uri, interfaceUrl_);
    if (showsInterface_)
        giveBudgetBackWhenStable();
    return showsInterface_;
}

void Reloads::failed()
{
    showsInterface_ = false;
    ++failures_;
}

// A window open all day outlives many restarts of its server. A budget given
// back at each load would let a flapping server reload the window forever:
// only an interface that stays loaded, with no failure meanwhile, earns it.
void Reloads::giveBudgetBackWhenStable()
{
    if (attempts_ == 0)
        return;
    toolkit_.runLater(kStableSpan, lifetime_.whileAlive([this, failures = failures_] {
        if (failures != failures_ || attempts_ == 0)
            return;
        attempts_ = 0;
        Note("rechargements automatiques rendus apres 10 minutes sans echec");
    }));
}

// The view is left blank by a dead process: the interface comes back at once,
// outside the budget, which is kept for a server that is not up yet.
void Reloads::webProcessEnded()
{
    failed();
    if (crashReloads_.allow(RateLimit::Clock::now()))
        loadInterface();
    else
        showFailurePage(Failure::PageStopped);
}

// One budget of reloads until the failure page, nothing coalesced.
void Reloads::retry()
{
    if (attempts_ >= kReloadBudget) {
        showFailurePage(Failure::ServerSilent);
        return;
    }
    ++attempts_;
    toolkit_.runLater(kReloadDelay, lifetime_.whileAlive([this] { loadInterface(); }));
}

// Shown once until the interface is asked for again; the view no longer
// holds a page of the interface.
void Reloads::showFailurePage(Failure failure)
{
    if (failurePageShown_)
        return;
    failurePageShown_ = true;
    showsInterface_ = false;
    toolkit_.showPage(FailurePage(failure, interfaceUrl_, background_));
    Note(FailureNote(failure));
}

}  // namespace mivra
