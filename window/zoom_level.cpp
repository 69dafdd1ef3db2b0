#include "zoom_level.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>

namespace mivra {
namespace {

constexpr std::array kZoomSteps = {0.5, 0.67, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};

}  // namespace

double ZoomStep(double current, bool larger)
{
    if (larger) {
        const auto next = std::upper_bound(kZoomSteps.begin(), kZoomSteps.end(), current);
        return next == kZoomSteps.end() ? kZoomSteps.back() : *next;
    }
    const auto next = std::lower_bound(kZoomSteps.begin(), kZoomSteps.end(), current);
    return next == kZoomSteps.begin() ? kZoomSteps.front() : *std::prev(next);
}

// from_chars reads the C locale's numbers whatever the user's locale, as the
// key file writes them; the whole text must be the number.
double KeptZoom(std::string_view kept)
{
    double zoom = 0;
    const auto [end, error] = std::from_chars(kept.data(), kept.data() + kept.size(), zoom);
    const bool whole = error == std::errc() && end == kept.data() + kept.size();
    return whole && zoom >= kZoomSteps.front() && zoom <= kZoomSteps.back() ? zoom : 1.0;
}

}  // namespace mivra
