#include "progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace mivra {
namespace {

// H:MM:SS, whole seconds done.
std::string MediaTime(double seconds)
{
    const auto whole = static_cast<long long>(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& terminal, Clock now, std::optional<double> durationSeconds)
    : terminal_(terminal), now_(std::move(now)), durationSeconds_(durationSeconds), due_(now_() + kFirstAfter)
{
    // A stated duration of nothing gives no share to show.
    if (durationSeconds_ && !(*durationSeconds_ > 0))
        durationSeconds_.reset();
}

void ProgressLine::show(double mediaSeconds)
{
    const auto now = now_();
    if (now < due_)
        return;
    due_ = now + kRewriteEvery;
    write(text(mediaSeconds));
}

void ProgressLine::erase()
{
    if (shownWidth_ == 0)
        return;
    terminal_ << '\r' << std::string(shownWidth_, ' ') << '\r' << std::flush;
    shownWidth_ = 0;
}

// The share is rounded down and held at 100 %: a track may hold more than the
// duration its container states.
std::string ProgressLine::text(double mediaSeconds) const
{
    std::string line = "extraction en cours : ";
    if (durationSeconds_) {
        const double percent = std::clamp(std::floor(mediaSeconds / *durationSeconds_ * 100), 0.0, 100.0);
        line += std::to_string(static_cast<int>(percent)) + " % (" + MediaTime(mediaSeconds) + ")";
    } else {
        line += MediaTime(mediaSeconds);
    }
    return line;
}

// A shorter line is padded over what the longer one left.
void ProgressLine::write(const std::string& line)
{
    const std::size_t width = std::max(line.size(), shownWidth_);
    terminal_ << '\r' << line << std::string(width - line.size(), ' ') << std::flush;
    shownWidth_ = width;
}

}  // namespace mivra
