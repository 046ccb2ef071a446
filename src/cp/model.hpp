#pragma once
// A CP model: integer variables with inclusive domains and the constraints over them, in the
// order the text states them.

#include <cstdint>
#include <string>
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

}  // namespace mekra::cp
