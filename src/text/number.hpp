#pragma once
// Decimal integers, the one way every reader reads them: an optional sign, then one or more
// ASCII digits, and a value within the range of the type asked for. Inline, because the DIMACS
// reader scans every literal of a formula with it.

#include <algorithm>
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

[[gnu::always_inline]] inline IntegerScan scan_integer(std::string_view s, std::size_t pos,
                                                       bool sign_allowed = true) {
    IntegerScan scan;
    if (sign_allowed && pos < s.size() && (s[pos] == '+' || s[pos] == '-')) scan.negative = s[pos++] == '-';
    const std::size_t first = pos;
    // Any 19 digits fit 64 bits: only the digits after them need an overflow check.
    const std::size_t unchecked_end = std::min(s.size(), first + 19);
    std::uint64_t magnitude = 0;
    while (pos < unchecked_end && is_digit(s[pos]))
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(s[pos++] - '0');
    while (pos < s.size() && is_digit(s[pos])) {
        const auto digit = static_cast<std::uint64_t>(s[pos++] - '0');
        scan.fits = scan.fits && !__builtin_mul_overflow(magnitude, std::uint64_t{10}, &magnitude) &&
                    !__builtin_add_overflow(magnitude, digit, &magnitude);
    }
    scan.magnitude = magnitude;
    scan.digits = pos - first;
    scan.end = pos;
    return scan;
}

// The value of a scan with digits as a T, or nothing when it lies outside T's range (a
// minus sign is outside the range of an unsigned T, even before zero).
template <class T>
[[gnu::always_inline]] inline std::optional<T> integer_value(const IntegerScan& scan) {
    static_assert(std::is_integral_v<T> && sizeof(T) <= sizeof(std::uint64_t));
    if (scan.digits == 0 || !scan.fits) return std::nullopt;
    if constexpr (std::is_unsigned_v<T>) {
        if (scan.negative || scan.magnitude > std::numeric_limits<T>::max()) return std::nullopt;
        return static_cast<T>(scan.magnitude);
    } else if constexpr (sizeof(T) < sizeof(std::int64_t)) {
        // A narrow T: a magnitude within reach of its range is a small int64 with its sign.
        if (scan.magnitude > static_cast<std::uint64_t>(std::numeric_limits<T>::max()) + 1)
            return std::nullopt;
        const auto magnitude = static_cast<std::int64_t>(scan.magnitude);
        const std::int64_t value = scan.negative ? -magnitude : magnitude;
        if (value > std::numeric_limits<T>::max()) return std::nullopt;
        return static_cast<T>(value);
    } else {
        const std::uint64_t max = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
        if (scan.magnitude > max + (scan.negative ? 1 : 0)) return std::nullopt;
        // Two's complement negation in unsigned arithmetic keeps T's minimum exact.
        return static_cast<T>(scan.negative ? 0 - scan.magnitude : scan.magnitude);
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
