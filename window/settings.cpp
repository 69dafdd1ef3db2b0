#include "settings.h"

#include <glib.h>

#include <optional>
#include <string_view>

namespace mivra {

namespace {

// An argument counts only when it is a non-empty, valid UTF-8 string.
std::optional<std::string> Given(const char* argument)
{
    if (argument == nullptr || *argument == '\0' || !g_utf8_validate(argument, -1, nullptr))
        return std::nullopt;
    return std::string(argument);
}

bool IsInterfaceUrl(std::string_view argument)
{
    return argument.starts_with("http://") || argument.starts_with("https://");
}

}  // namespace

LaunchSettings ReadLaunchSettings(int argc, const char* const* argv)
{
    LaunchSettings settings;
    if (argc >= 2) {
        if (auto first = Given(argv[1])) {
            if (IsInterfaceUrl(*first))
                settings.url = *first;
            else
                settings.projetAuLancement = *first;
        }
    }
    if (argc >= 3) {
        if (auto icon = Given(argv[2]))
            settings.icon = *icon;
    }
    return settings;
}

}  // namespace mivra
