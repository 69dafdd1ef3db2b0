#include "window_size.h"

#include <algorithm>

namespace mivra {

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
