#include "zoom_level.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <locale>
#include <sstream>
#include <string>

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

// Read in the C locale whatever the user's, as the key file writes it (libc++ 14
// has no from_chars for doubles); the whole text must be the number.
double KeptZoom(std::string_view kept)
{
    std::istringstream in{std::string(kept)};
    in.imbue(std::locale::classic());
    double zoom = 0;
    const bool whole = (in >> std::noskipws >> zoom) && in.peek() == std::istringstream::traits_type::eof();
    return whole && zoom >= kZoomSteps.front() && zoom <= kZoomSteps.back() ? zoom : 1.0;
}

}  // namespace mivra
