#pragma once
// The copy of a chosen project into the temporary folder. It is made under a
// temporary name that no page would take for a project, and renamed once
// complete: a copy that fails or is stopped leaves nothing behind.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <variant>

namespace mivra {

struct CopyFailure {
    std::string reason;
};
// The complete copy's path, or why there is none.
using CopyOutcome = std::variant<std::string, CopyFailure>;

// The copies running off the main loop, which the window stops and waits for
// when it goes, so that none is cut short by the end of the process.
class RunningCopies {
public:
    // Called by a copy as it starts; false once the window is going.
    bool enter();
    void leave();
    const std::atomic<bool>& stopRequested() const { return stop_; }
    // Asks every running copy to stop and returns once each has cleaned up.
    void stopAndWait();

private:
    std::atomic<bool> stop_ = false;
    std::mutex mutex_;
    std::condition_variable left_;
    int running_ = 0;
};

// Copies the chosen item whole into a fresh "Mivra-import-UUID-NAME" in the
// temporary folder, checking `stop` between blocks.
CopyOutcome CopyToTemporaryFolder(const std::string& chosen, const std::string& temporaryFolder,
                                  const std::atomic<bool>& stop);

}  // namespace mivra
