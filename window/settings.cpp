#include "settings.h"

#include <string_view>

namespace mivra {

namespace {

bool IsInterfaceUrl(std::string_view argument)
{
    return argument.starts_with("http://") || argument.starts_with("https://");
}

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

}  // namespace mivra
