#include "web_address.h"

#include <uriparser/Uri.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>
#include <utility>

namespace mivra {

namespace {

struct Origin {
    std::string scheme;  // lower case
    std::string host;    // lower case
    int port = -1;       // written, or the scheme's default; -1 when neither
};

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Text(const UriTextRangeA& range)
{
    if (range.first == nullptr || range.afterLast == nullptr)
        return {};
    return {range.first, static_cast<std::size_t>(range.afterLast - range.first)};
}

int DefaultPort(std::string_view scheme)
{
    constexpr std::array<std::pair<std::string_view, int>, 5> kDefaults = {
        {{"http", 80}, {"https", 443}, {"ws", 80}, {"wss", 443}, {"ftp", 21}}};
    for (const auto& [name, port] : kDefaults)
        if (scheme == name)
            return port;
    return -1;
}

// A written port must be a number a connection can use; an empty one is the default.
std::optional<int> Port(std::string_view written, std::string_view scheme)
{
    if (written.empty())
        return DefaultPort(scheme);
    int port = 0;
    const auto [end, error] = std::from_chars(written.data(), written.data() + written.size(), port);
    if (error != std::errc() || end != written.data() + written.size() || port > 65535)
        return std::nullopt;
    return port;
}

// Scheme, host and port of an absolute URL with a non-empty host; nothing otherwise.
std::optional<Origin> OriginOf(const std::string& url)
{
    UriUriA parsed;
    const char* errorAt = nullptr;
    if (uriParseSingleUriA(&parsed, url.c_str(), &errorAt) != URI_SUCCESS)
        return std::nullopt;
    std::optional<Origin> origin;
    const std::string_view scheme = Text(parsed.scheme);
    const std::string_view host = Text(parsed.hostText);
    if (!scheme.empty() && !host.empty()) {
        const std::string lowerScheme = Lower(scheme);
        if (const auto port = Port(Text(parsed.portText), lowerScheme))
            origin = Origin{lowerScheme, Lower(host), *port};
    }
    uriFreeUriMembersA(&parsed);
    return origin;
}

// What WebKit loads itself: web pages, local files, its own kinds of document.
constexpr std::array<std::string_view, 7> kShownSchemes = {"http", "https", "file",      "about",
                                                           "data", "blob",  "javascript"};

}  // namespace

bool SameOrigin(const std::string& first, const std::string& second)
{
    const auto a = OriginOf(first);
    const auto b = OriginOf(second);
    // Schemes and host names are both case-insensitive.
    return a && b && a->scheme == b->scheme && a->host == b->host && a->port == b->port;
}

bool IsHttpsUrl(const std::string& url)
{
    // "https:" and "https://" parse, but name nothing a browser could open;
    // the written form of the scheme is checked on the string.
    return OriginOf(url).has_value() && url.starts_with("https:");
}

bool IsForTheDesktop(const std::string& url)
{
    UriUriA parsed;
    const char* errorAt = nullptr;
    if (uriParseSingleUriA(&parsed, url.c_str(), &errorAt) != URI_SUCCESS)
        return false;
    const std::string scheme = Lower(Text(parsed.scheme));
    uriFreeUriMembersA(&parsed);
    return !scheme.empty() && std::find(kShownSchemes.begin(), kShownSchemes.end(), scheme) == kShownSchemes.end();
}

}  // namespace mivra
