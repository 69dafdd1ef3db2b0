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

// A URL as uriparser reads it, its parts freed with it; a URL that does not
// parse has no parts.
class ParsedUrl {
public:
    explicit ParsedUrl(const std::string& url) : parsed_(uriParseSingleUriA(&uri_, url.c_str(), nullptr) == URI_SUCCESS)
    {
    }
    ~ParsedUrl()
    {
        if (parsed_)
            uriFreeUriMembersA(&uri_);
    }
    ParsedUrl(const ParsedUrl&) = delete;
    ParsedUrl& operator=(const ParsedUrl&) = delete;

    std::string_view scheme() const { return parsed_ ? Text(uri_.scheme) : std::string_view(); }
    std::string_view host() const { return parsed_ ? Text(uri_.hostText) : std::string_view(); }
    std::string_view port() const { return parsed_ ? Text(uri_.portText) : std::string_view(); }

private:
    UriUriA uri_;
    bool parsed_;
};

// Scheme, host and port of an absolute URL with a non-empty host; nothing otherwise.
std::optional<Origin> OriginOf(const std::string& url)
{
    const ParsedUrl parsed(url);
    if (parsed.scheme().empty() || parsed.host().empty())
        return std::nullopt;
    const std::string scheme = Lower(parsed.scheme());
    const auto port = Port(parsed.port(), scheme);
    if (!port)
        return std::nullopt;
    return Origin{scheme, Lower(parsed.host()), *port};
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
    const std::string scheme = Lower(ParsedUrl(url).scheme());
    return !scheme.empty() && std::find(kShownSchemes.begin(), kShownSchemes.end(), scheme) == kShownSchemes.end();
}

}  // namespace mivra
