#pragma once

#include <cstdint>
#include <limits>

// A float-to-integer truncation that the timing arithmetic can overflow: limited to
// the target's range (and 0 for NaN) instead of being undefined.
inline uint32_t TruncateToUnsigned(double value) {
    if (!(value > 0)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<uint32_t>::max()))
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(value);
}
