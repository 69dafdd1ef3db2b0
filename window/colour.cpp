#include "colour.h"

#include <cmath>
#include <sstream>

namespace mivra {

std::string CssColour(const Colour& colour)
{
    const bool opaque = colour.alpha >= 1;
    std::ostringstream css;
    css << (opaque ? "rgb(" : "rgba(") << std::lround(colour.red * 255) << ", " << std::lround(colour.green * 255)
        << ", " << std::lround(colour.blue * 255);
    if (!opaque)
        css << ", " << colour.alpha;
    css << ")";
    return css.str();
}

}  // namespace mivra
