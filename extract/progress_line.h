#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

namespace mivra {

// What someone running the tool by hand sees on a terminal while the audio is
// copied: one line, first shown once the run has taken a second, then
// rewritten at most four times a second, with the share done when the track
// states its duration and the media time done. It is erased before the run's
// own output, so that the lines a caller reads are the same with or without it.
class ProgressLine {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr std::chrono::milliseconds kFirstAfter{1000};
    static constexpr std::chrono::milliseconds kRewriteEvery{250};

    ProgressLine(std::ostream& terminal, Clock now, std::optional<double> durationSeconds);
    ~ProgressLine() { erase(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // The media time copied so far; the line is rewritten when it is due.
    void show(double mediaSeconds);

    // Leaves the terminal's line empty, the cursor at its start.
    void erase();

private:
    std::string text(double mediaSeconds) const;
    void write(const std::string& line);

    std::ostream& terminal_;
    Clock now_;
    std::optional<double> durationSeconds_;
    std::chrono::steady_clock::time_point due_;
    std::size_t shownWidth_ = 0;
};

}  // namespace mivra
