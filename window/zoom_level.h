#pragma once
// The page's zoom: a browser's steps around the page's own size (1), and the
// level kept between runs.

#include <string_view>

namespace mivra {

// The next step from the current zoom in the direction asked, held at the
// smallest and largest steps.
double ZoomStep(double current, bool larger);

// The zoom a kept text stands for: a number within the steps' range, else
// (absent, damaged, out of range) the page's own size.
double KeptZoom(std::string_view kept);

}  // namespace mivra
