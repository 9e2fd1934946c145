// A conversion from a floating number to an integer type that is defined for every value, for
// numbers that come from outside (a server's header or page, a stored preference) and may be
// anything a float or double holds.
#pragma once

#include <cmath>
#include <limits>
#include <type_traits>

// The whole part of d as T: NaN gives 0, values beyond T's range its nearest limit (infinities
// included), and negative values reach unsigned types through the signed conversion (wrapping),
// as integer reads of a negative double do on the platform.
template <class T>
T truncatedNumber(double d) {
    static_assert(std::is_integral_v<T>);
    if (std::isnan(d)) return 0;
    if constexpr (std::is_unsigned_v<T>) {
        if (d < 0) return static_cast<T>(truncatedNumber<long long>(d));
    }
    // The limits as doubles: max() may round up to a power of two, hence the >=.
    constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<T>::max());
    if (d <= lo) return std::numeric_limits<T>::min();
    if (d >= hi) return std::numeric_limits<T>::max();
    return static_cast<T>(d);
}
