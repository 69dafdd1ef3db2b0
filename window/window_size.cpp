#include "window_size.h"

#include <algorithm>
#include <cmath>

namespace mivra {

Point CentredOrigin(const std::optional<Rectangle>& screen, int width, int height)
{
    const Rectangle area = screen.value_or(Rectangle{0, 0, 0, 0});
    const auto centred = [](int start, int length, int size) {
        return static_cast<int>(std::floor(start + length * 0.5 - size * 0.5));
    };
    return Point{centred(area.x, area.width, width), centred(area.y, area.height, height)};
}

Size FitInto(Size wanted, const std::optional<Size>& area)
{
    if (!area || area->width <= 0 || area->height <= 0)
        return wanted;
    return Size{std::min(wanted.width, area->width), std::min(wanted.height, area->height)};
}

std::uint64_t SizeKeeping::resized(Size size)
{
    latest_ = size;
    return ++ticket_;
}

std::optional<Size> SizeKeeping::quietPeriodEnded(std::uint64_t ticket)
{
    if (ticket != ticket_)
        return std::nullopt;
    return keepLatest();
}

std::optional<Size> SizeKeeping::closing()
{
    return keepLatest();
}

std::optional<Size> SizeKeeping::keepLatest()
{
    if (!latest_ || latest_ == kept_)
        return std::nullopt;
    kept_ = latest_;
    return kept_;
}

}  // namespace mivra
