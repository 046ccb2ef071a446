#pragma once
// Decimal integers, the one way every reader reads them: an optional sign, then one or more
// ASCII digits, and a value within the range of the type asked for. Inline, because the DIMACS
// reader scans every literal of a formula with it.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>

namespace mekra::text {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The integer that starts at s[pos]: a sign when `sign_allowed` and one is there, then the
// run of digits up to the first byte that is not one. `digits` is 0 when the run is empty.
struct IntegerScan {
    std::size_t end = 0;  // the position after the run of digits
    std::size_t digits = 0;
    bool negative = false;
    bool fits = true;  // the magnitude fits 64 unsigned bits
    std::uint64_t magnitude = 0;
};

inline IntegerScan scan_integer(std::string_view s, std::size_t pos, bool sign_allowed = true) {
    IntegerScan scan;
    if (sign_allowed && pos < s.size() && (s[pos] == '+' || s[pos] == '-')) scan.negative = s[pos++] == '-';
    const std::size_t first = pos;
    while (pos < s.size() && is_digit(s[pos])) {
        scan.fits = scan.fits &&
                    !__builtin_mul_overflow(scan.magnitude, std::uint64_t{10}, &scan.magnitude) &&
                    !__builtin_add_overflow(scan.magnitude, static_cast<std::uint64_t>(s[pos] - '0'),
                                            &scan.magnitude);
        ++pos;
    }
    scan.digits = pos - first;
    scan.end = pos;
    return scan;
}

// The value of a scan with digits as a T, or nothing when it lies outside T's range (a
// minus sign is outside the range of an unsigned T, even before zero).
template <class T>
std::optional<T> integer_value(const IntegerScan& scan) {
    static_assert(std::is_integral_v<T> && sizeof(T) <= sizeof(std::uint64_t));
    if (scan.digits == 0 || !scan.fits) return std::nullopt;
    if constexpr (std::is_unsigned_v<T>) {
        if (scan.negative || scan.magnitude > std::numeric_limits<T>::max()) return std::nullopt;
        return static_cast<T>(scan.magnitude);
    } else {
        using U = std::make_unsigned_t<T>;
        const std::uint64_t max = static_cast<U>(std::numeric_limits<T>::max());
        if (scan.magnitude > max + (scan.negative ? 1 : 0)) return std::nullopt;
        // Two's complement negation in unsigned arithmetic keeps T's minimum exact.
        const U bits = static_cast<U>(scan.negative ? 0 - scan.magnitude : scan.magnitude);
        return static_cast<T>(bits);
    }
}

// A whole token that is one integer within T's range: an optional sign, then digits only.
template <class T>
std::optional<T> parse_integer(std::string_view token) {
    const IntegerScan scan = scan_integer(token, 0);
    if (scan.end != token.size()) return std::nullopt;
    return integer_value<T>(scan);
}

// A whole token of digits only (no sign) within T's range.
template <class T>
std::optional<T> parse_digits(std::string_view token) {
    const IntegerScan scan = scan_integer(token, 0, false);
    if (scan.end != token.size()) return std::nullopt;
    return integer_value<T>(scan);
}

}  // namespace mekra::text
