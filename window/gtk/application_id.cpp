#include "application_id.h"

#include <glib.h>

#include "settings.h"

namespace mivra {

namespace {

constexpr const char* kApplicationId = "fr.mivra.Window";
// Enough of the URL's digest that two interfaces never share a window.
constexpr std::size_t kDigestLength = 16;

}  // namespace

std::string ApplicationId(const std::string& url)
{
    if (url == LaunchSettings{}.url)
        return kApplicationId;
    g_autofree char* digest = g_compute_checksum_for_string(G_CHECKSUM_SHA256, url.c_str(), -1);
    // An element of an application id may not start with a digit.
    return std::string(kApplicationId) + ".U" + std::string(digest, kDigestLength);
}

}  // namespace mivra
