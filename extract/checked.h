#pragma once

// Arithmetic on counts a file states (edit lengths, granule positions, packet
// durations), which may hold any 64-bit value: sums that do not fit are held
// at the limit they pass instead of wrapping, so that a stated length too
// long for any output stays too long and is refused or cut as such.

#include <cstdint>
#include <limits>

namespace mivra {

inline std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum))
        return sum;
    return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

inline std::int64_t SaturatingSub(std::int64_t a, std::int64_t b)
{
    std::int64_t difference = 0;
    if (!__builtin_sub_overflow(a, b, &difference))
        return difference;
    return b < 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

}  // namespace mivra
