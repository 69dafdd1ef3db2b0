#pragma once
// The window's colours, and the same colour written for a style sheet.

#include <string>

namespace mivra {

struct Colour {
    double red;
    double green;
    double blue;
    double alpha;
};

// "rgb(R, G, B)" with channels 0 to 255, "rgba(R, G, B, A)" when not opaque.
std::string CssColour(const Colour& colour);

}  // namespace mivra
