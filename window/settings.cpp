#include "settings.h"

#include <array>
#include <cstdlib>
#include <string_view>

namespace mivra {

namespace {

bool IsInterfaceUrl(std::string_view argument)
{
    return argument.starts_with("http://") || argument.starts_with("https://");
}

// The variables users set on a machine whose graphics stack fails WebKit.
constexpr std::array kRenderingVariables = {"WEBKIT_DISABLE_COMPOSITING_MODE", "WEBKIT_FORCE_COMPOSITING_MODE",
                                            "WEBKIT_DISABLE_DMABUF_RENDERER", "WEBKIT_SKIA_ENABLE_CPU_RENDERING",
                                            "LIBGL_ALWAYS_SOFTWARE"};

}  // namespace

LaunchSettings ReadLaunchSettings(const std::vector<std::string>& arguments)
{
    LaunchSettings settings;
    if (!arguments.empty() && !arguments[0].empty()) {
        if (IsInterfaceUrl(arguments[0]))
            settings.url = arguments[0];
        else
            settings.projetAuLancement = arguments[0];
    }
    if (arguments.size() >= 2 && !arguments[1].empty())
        settings.icon = arguments[1];
    return settings;
}

bool RenderingSetByUser()
{
    for (const char* variable : kRenderingVariables)
        if (std::getenv(variable))
            return true;
    return false;
}

}  // namespace mivra
