#pragma once
// The CP text format and its reader.
//
// One statement per line: "var name min max" declares an integer variable with an inclusive
// domain; "eq", "neq", "lt", "le", "linear", "allDiff"/"alldifferent" state constraints over
// variables declared on earlier lines. Blank lines and lines starting with "#" or "//" are
// skipped.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mekra::cp {

using VarIndex = std::uint64_t;  // position in the variable list, from 0 in declaration order

struct CpVariable {
    std::string name;
    std::int64_t min;
    std::int64_t max;  // min > max is accepted and means an empty domain
    friend bool operator==(const CpVariable&, const CpVariable&) = default;
};

struct Eq {  // a = b
    VarIndex a, b;
    friend bool operator==(const Eq&, const Eq&) = default;
};
struct Neq {  // a != b
    VarIndex a, b;
    friend bool operator==(const Neq&, const Neq&) = default;
};
struct Lt {  // a < b
    VarIndex a, b;
    friend bool operator==(const Lt&, const Lt&) = default;
};
struct Le {  // a <= b + c
    VarIndex a, b;
    std::int64_t c;
    friend bool operator==(const Le&, const Le&) = default;
};

enum class LinearRelation : std::uint8_t { Le = 0, Eq = 1, Ge = 2 };

struct LinearTerm {
    std::int64_t coeff;
    VarIndex var;
    friend bool operator==(const LinearTerm&, const LinearTerm&) = default;
};

// sum of coeff * var over the terms, related to rhs. Terms are kept as written.
struct Linear {
    std::vector<LinearTerm> terms;
    std::int64_t rhs;
    LinearRelation relation;
    friend bool operator==(const Linear&, const Linear&) = default;
};

struct AllDiff {  // pairwise different; a variable may be listed more than once
    std::vector<VarIndex> vars;
    friend bool operator==(const AllDiff&, const AllDiff&) = default;
};

using CpConstraint = std::variant<Eq, Neq, Lt, Le, Linear, AllDiff>;

struct CpModel {
    std::vector<CpVariable> variables;      // in declaration order
    std::vector<CpConstraint> constraints;  // in line order
    friend bool operator==(const CpModel&, const CpModel&) = default;
};

// Reads CP text in one pass. Returns the model, or the one-line message of the first bad
// line; never throws on bad input.
std::variant<CpModel, std::string> parse_cp_model(std::string_view text);

}  // namespace mekra::cp
