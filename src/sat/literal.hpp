#pragma once
// A literal of the SAT solver: a variable with a polarity, kept as its watch code.

#include <cstdint>

#include "core/invariant.hpp"

namespace mekra::sat {

// Variables are 0-based; the largest DIMACS literal magnitude 2^31 gives variable 2^31 - 1,
// so every watch code fits in 32 bits.
using Var = std::uint32_t;

class Literal {
public:
    constexpr Literal() = default;
    constexpr Literal(Var var, bool positive) : code_(var * 2 + (positive ? 1u : 0u)) {}

    // DIMACS integer d: variable |d| - 1 (magnitude taken as unsigned 32-bit), positive when d > 0.
    static Literal from_dimacs(std::int32_t d) {
        check_invariant(d != 0, "DIMACS literal cannot be 0");
        std::uint32_t magnitude = d < 0 ? 0u - static_cast<std::uint32_t>(d) : static_cast<std::uint32_t>(d);
        return Literal(magnitude - 1, d > 0);
    }
    static constexpr Literal from_code(std::uint32_t code) {
        Literal l;
        l.code_ = code;
        return l;
    }

    constexpr Var var() const { return code_ >> 1; }
    constexpr bool positive() const { return (code_ & 1u) != 0; }
    // var·2 + 1 for a positive literal, var·2 for a negative one: the index of its watch list.
    constexpr std::uint32_t watch_code() const { return code_; }
    constexpr Literal negation() const { return from_code(code_ ^ 1u); }

    friend constexpr bool operator==(Literal, Literal) = default;

private:
    std::uint32_t code_ = 0;
};

// Per-variable assignment byte.
enum class Value : std::uint8_t { False = 0, True = 1, Unassigned = 2 };

// The value of literal `l` when its variable has value `a`.
inline Value literal_value(Literal l, Value a) {
    if (a == Value::Unassigned) return a;
    return (a == Value::True) == l.positive() ? Value::True : Value::False;
}

}  // namespace mekra::sat
