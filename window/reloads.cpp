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

Reloads::Reloads(Toolkit& toolkit, std::string interfaceUrl, bool renderingSetByUser)
    : toolkit_(toolkit), interfaceUrl_(std::move(interfaceUrl)), renderingSetByUser_(renderingSetByUser),
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
// interface instead. Neither spends the reload budget. From the failure, a
// fresh view starts over (the one that failed may be dead).
void Reloads::refresh()
{
    if (failureShown_)
        startOver();
    else if (showsInterface_)
        toolkit_.reload();
    else
        loadInterface();
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
    if (!showsInterface_)
        return false;
    if (acceleration_ == Acceleration::TriedOff)
        acceleration_ = Acceleration::Off;
    giveBudgetBackWhenStable();
    return true;
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
// outside the budget, which is kept for a server that is not up yet. A page
// that keeps dying gets one more try without hardware acceleration, the usual
// cause, before the window gives up on it.
void Reloads::webProcessEnded(PageProcessEnd why)
{
    Note(PageProcessEndNote(why));
    failed();
    if (crashReloads_.allow(RateLimit::Clock::now()))
        loadInterface();
    else if (mayRetryWithoutAcceleration())
        retryWithoutAcceleration();
    else
        showFailure(Failure::PageStopped);
}

// Once until the user starts over, and never against a rendering the user chose.
bool Reloads::mayRetryWithoutAcceleration() const
{
    return acceleration_ == Acceleration::On && !renderingSetByUser_;
}

void Reloads::retryWithoutAcceleration()
{
    acceleration_ = Acceleration::TriedOff;
    Note("nouvel essai sans acceleration materielle");
    toolkit_.replaceWebView(false);
    loadInterface();
}

// A fresh view and fresh budgets, as at launch; without acceleration only
// when a page has loaded so.
void Reloads::startOver()
{
    failureShown_ = false;
    attempts_ = 0;
    crashReloads_ = RateLimit(kCrashReloads, kCrashReloadSpan);
    if (acceleration_ == Acceleration::TriedOff)
        acceleration_ = Acceleration::On;
    toolkit_.replaceWebView(acceleration_ == Acceleration::On);
    loadInterface();
}

// One budget of reloads until the failure page, nothing coalesced.
void Reloads::retry()
{
    if (attempts_ >= kReloadBudget) {
        showFailure(Failure::ServerSilent);
        return;
    }
    ++attempts_;
    // A failure shown meanwhile stays until the user starts over.
    toolkit_.runLater(kReloadDelay, lifetime_.whileAlive([this] {
        if (!failureShown_)
            loadInterface();
    }));
}

// Shown once until the user starts over; the view no longer holds a page of
// the interface.
void Reloads::showFailure(Failure failure)
{
    if (failureShown_)
        return;
    failureShown_ = true;
    showsInterface_ = false;
    toolkit_.showFailure(FailureViewOf(failure, interfaceUrl_));
    Note(FailureNote(failure));
}

}  // namespace mivra
