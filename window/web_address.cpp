#include "web_address.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace mivra {

namespace {

// Normalising fills in the default port of http, https and the like, and
// lower-cases the scheme.
GUri* Parsed(const std::string& url)
{
    return g_uri_parse(url.c_str(), G_URI_FLAGS_SCHEME_NORMALIZE, nullptr);
}

// What WebKit loads itself: web pages, local files, its own kinds of document.
constexpr std::array<std::string_view, 7> kShownSchemes = {"http", "https", "file",      "about",
                                                           "data", "blob",  "javascript"};

}  // namespace

bool SameOrigin(const std::string& first, const std::string& second)
{
    g_autoptr(GUri) a = Parsed(first);
    g_autoptr(GUri) b = Parsed(second);
    if (a == nullptr || b == nullptr)
        return false;
    const char* hostA = g_uri_get_host(a);
    const char* hostB = g_uri_get_host(b);
    if (hostA == nullptr || hostB == nullptr || *hostA == '\0')
        return false;
    // Schemes and host names are both case-insensitive.
    return g_ascii_strcasecmp(g_uri_get_scheme(a), g_uri_get_scheme(b)) == 0 && g_ascii_strcasecmp(hostA, hostB) == 0 &&
           g_uri_get_port(a) == g_uri_get_port(b);
}

bool IsHttpsUrl(const std::string& url)
{
    g_autoptr(GUri) parsed = Parsed(url);
    if (parsed == nullptr)
        return false;
    // "https:" and "https://" parse, but name nothing a browser could open.
    const char* host = g_uri_get_host(parsed);
    // The parser lower-cases the scheme, so the written form is checked on the string.
    return host != nullptr && *host != '\0' && url.starts_with("https:");
}

bool IsForTheDesktop(const std::string& url)
{
    g_autoptr(GUri) parsed = Parsed(url);
    if (parsed == nullptr)
        return false;
    const std::string_view scheme = g_uri_get_scheme(parsed);
    return std::find(kShownSchemes.begin(), kShownSchemes.end(), scheme) == kShownSchemes.end();
}

}  // namespace mivra
