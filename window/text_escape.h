#pragma once
// Text made fit to stand inside another language's literal: each character
// that has a replacement is replaced, every other byte is kept as it is.

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace mivra {

using Replacements = std::initializer_list<std::pair<char, std::string_view>>;

inline std::string Replaced(std::string_view text, Replacements replacements)
{
    std::string escaped;
    for (const char c : text) {
        const auto found = std::find_if(replacements.begin(), replacements.end(),
                                        [c](const auto& replacement) { return replacement.first == c; });
        if (found != replacements.end())
            escaped += found->second;
        else
            escaped += c;
    }
    return escaped;
}

}  // namespace mivra
