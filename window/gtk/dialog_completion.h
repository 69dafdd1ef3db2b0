#pragma once
// A dialog's answer: given exactly once, and given as "unanswered" when the
// dialog goes without one (closed with its window, or never answered at all).

#include <functional>
#include <memory>
#include <utility>

#include <glib-object.h>

#include "glib_ownership.h"

namespace mivra {

// The label of every dialog's button that answers nothing.
inline constexpr char kCancelLabel[] = "Annuler";

template <typename Answer>
class DialogCompletion {
public:
    DialogCompletion(std::function<void(Answer)> done, Answer unanswered)
        : done_(std::move(done)), unanswered_(std::move(unanswered))
    {
    }
    ~DialogCompletion() { answer(std::move(unanswered_)); }

    DialogCompletion(const DialogCompletion&) = delete;
    DialogCompletion& operator=(const DialogCompletion&) = delete;

    void answer(Answer given)
    {
        if (auto done = take())
            done(std::move(given));
    }

    // The completion itself, for a caller that must first close its dialog;
    // nothing is answered afterwards. Empty once answered.
    std::function<void(Answer)> take() { return std::exchange(done_, nullptr); }

private:
    std::function<void(Answer)> done_;
    Answer unanswered_;
};

// The completion lives as long as the dialog's object: a dialog that goes
// unanswered answers as it dies.
template <typename Completion>
Completion* AttachTo(GObject* dialog, const char* key, std::unique_ptr<Completion> completion)
{
    Completion* attached = completion.get();
    g_object_set_data_full(dialog, key, HandToGLib(std::move(completion)), FreeFromGLib<Completion>);
    return attached;
}

}  // namespace mivra
