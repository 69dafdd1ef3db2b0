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

constexpr const char* kApplicationId = "fr.mivra.Window";
// Enough of the URL's digest that two interfaces never share a window.
constexpr std::size_t kDigestLength = 16;

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

std::string ApplicationId(const std::string& url)
{
    if (url == LaunchSettings{}.url)
        return kApplicationId;
    g_autofree char* digest = g_compute_checksum_for_string(G_CHECKSUM_SHA256, url.c_str(), -1);
    // An element of an application id may not start with a digit.
    return std::string(kApplicationId) + ".U" + std::string(digest, kDigestLength);
}

}  // namespace mivra
