#include "project_names.h"

#include <algorithm>
#include <array>

namespace mivra {

namespace {

constexpr std::array<std::string_view, 4> kProjectSuffixes = {kPackageSuffix, ".fcpxml", ".xml", ".aaf"};

// The suffixes are ASCII, so comparing the tail without regard to ASCII case
// is the same test as on a lower-cased copy of the whole name.
bool EndsWithIgnoringCase(std::string_view text, std::string_view lowerSuffix)
{
    if (text.size() < lowerSuffix.size())
        return false;
    const std::string_view tail = text.substr(text.size() - lowerSuffix.size());
    return std::equal(tail.begin(), tail.end(), lowerSuffix.begin(), [](char c, char lower) {
        return (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == lower;
    });
}

}  // namespace

std::string PackageName(std::string_view base)
{
    return std::string(base) + std::string(kPackageSuffix);
}

bool HasPackageSuffix(std::string_view name)
{
    return EndsWithIgnoringCase(name, kPackageSuffix);
}

bool HasProjectSuffix(std::string_view name)
{
    return std::any_of(kProjectSuffixes.begin(), kProjectSuffixes.end(),
                       [name](std::string_view suffix) { return EndsWithIgnoringCase(name, suffix); });
}

}  // namespace mivra
