#pragma once
// Questions about web addresses, answered by uriparser's RFC 3986 parser.

#include <string>

namespace mivra {

// Both parse as absolute URLs with a host and share scheme, host and port
// (the scheme's default port when none is written).
bool SameOrigin(const std::string& first, const std::string& second);

// Parses as an absolute URL with a host, whose scheme is written exactly "https".
bool IsHttpsUrl(const std::string& url);

// Parses, and its scheme is none a web view shows (mailto:, tel:, ...): only
// the desktop's handler for that scheme can open it.
bool IsForTheDesktop(const std::string& url);

}  // namespace mivra
