#pragma once
// Exact integer arithmetic for bound reasoning.
//
// A product of two 64-bit numbers fits in 128 bits, but a sum of many such products does
// not; ExactSum keeps such sums exactly (192 bits in effect). A bound derived from a sum is
// only ever compared with 64-bit bounds, so it may be clamped to 128 bits first: any value
// beyond that range divided by a 64-bit coefficient still lies beyond the 64-bit range on the
// same side.

#include <cstdint>

namespace mekra::cp {

using Int128 = __int128;
using UInt128 = unsigned __int128;

inline constexpr Int128 INT128_MAX_VALUE = static_cast<Int128>(~UInt128{0} >> 1);

// value = high * 2^128 + low, with low unsigned.
class ExactSum {
public:
    ExactSum() = default;
    explicit ExactSum(Int128 v) : low_(static_cast<UInt128>(v)), high_(v < 0 ? -1 : 0) {}

    ExactSum& operator+=(Int128 v) {
        UInt128 u = static_cast<UInt128>(v);
        UInt128 sum = low_ + u;
        high_ += (sum < low_ ? 1 : 0) - (v < 0 ? 1 : 0);
        low_ = sum;
        return *this;
    }
    ExactSum& operator-=(Int128 v) {
        UInt128 u = static_cast<UInt128>(v);
        UInt128 difference = low_ - u;
        high_ += (v < 0 ? 1 : 0) - (low_ < u ? 1 : 0);
        low_ = difference;
        return *this;
    }
    ExactSum& operator-=(const ExactSum& other) {
        UInt128 difference = low_ - other.low_;
        high_ -= other.high_ + (low_ < other.low_ ? 1 : 0);
        low_ = difference;
        return *this;
    }

    ExactSum& operator+=(const ExactSum& other) {
        UInt128 sum = low_ + other.low_;
        high_ += other.high_ + (sum < low_ ? 1 : 0);
        low_ = sum;
        return *this;
    }
    ExactSum operator-() const {
        ExactSum r;
        r.low_ = ~low_ + 1;
        r.high_ = ~high_ + (low_ == 0 ? 1 : 0);
        return r;
    }

    // k * v exactly, for any k with |k| < 2^127.
    static ExactSum product(Int128 k, std::int64_t v) {
        const bool negative = (k < 0) != (v < 0);
        const UInt128 a = k < 0 ? UInt128{0} - static_cast<UInt128>(k) : static_cast<UInt128>(k);
        const std::uint64_t b =
            v < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        const UInt128 p0 = static_cast<UInt128>(static_cast<std::uint64_t>(a)) * b;
        const UInt128 p1 = static_cast<UInt128>(static_cast<std::uint64_t>(a >> 64)) * b;
        ExactSum r;
        r.low_ = p0 + (p1 << 64);
        r.high_ = static_cast<std::int64_t>((p1 >> 64) + (r.low_ < p0 ? 1 : 0));
        return negative ? -r : r;
    }

    // -1, 0 or 1.
    int sign() const {
        if (high_ < 0) return -1;
        return (high_ == 0 && low_ == 0) ? 0 : 1;
    }

    // The value, clamped to [-(2^127 - 1), 2^127 - 1].
    Int128 clamped() const {
        Int128 as_signed = static_cast<Int128>(low_);
        if (high_ == 0 && as_signed >= 0) return as_signed;
        if (high_ == -1 && as_signed < 0)
            return as_signed < -INT128_MAX_VALUE ? -INT128_MAX_VALUE : as_signed;
        return high_ < 0 ? -INT128_MAX_VALUE : INT128_MAX_VALUE;
    }

private:
    UInt128 low_ = 0;
    std::int64_t high_ = 0;
};

// Quotients rounded toward minus and plus infinity; d != 0 and n != INT128 minimum.
inline Int128 floor_div(Int128 n, Int128 d) {
    Int128 q = n / d;
    if (n % d != 0 && ((n < 0) != (d < 0))) --q;
    return q;
}
inline Int128 ceil_div(Int128 n, Int128 d) {
    Int128 q = n / d;
    if (n % d != 0 && ((n < 0) == (d < 0))) ++q;
    return q;
}

}  // namespace mekra::cp
