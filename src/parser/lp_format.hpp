#pragma once
// The LP/MILP text format and its reader.
//
// A program is read line by line: comments ("#" or "c" first), "min "/"max " objectives,
// "int " declarations, and constraints "lhs <= rhs", "lhs >= rhs", "lhs = rhs" whose
// right-hand side is a single number. Expressions are sums of terms a/b, c*name, name and
// numbers. Variable k is called "x" followed by k; any other name creates the next variable.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "linear/linear_expr.hpp"

namespace mekra {

enum class Sense : std::uint8_t { Minimize = 0, Maximize = 1 };
enum class Relation : std::uint8_t { Eq = 0, Le = 1, Ge = 2 };

// expr REL 0: the constant of expr is the left-hand side's constant minus the right-hand side.
struct Constraint {
    LinearExpr expr;
    Relation relation;
    friend bool operator==(const Constraint&, const Constraint&) = default;
};

struct VarInfo {
    VarId id;
    bool integer = false;
    friend bool operator==(const VarInfo&, const VarInfo&) = default;
};

struct Objective {
    Sense sense;
    LinearExpr expr;
    friend bool operator==(const Objective&, const Objective&) = default;
};

struct LinearProgram {
    std::optional<Objective> objective;
    std::vector<VarId> variables;         // 0 .. n-1 in creation order
    std::vector<Constraint> constraints;  // in line order
    std::vector<VarInfo> var_info;        // indexed by VarId
    VarId next_var = 0;
    friend bool operator==(const LinearProgram&, const LinearProgram&) = default;
};

// The program, or a one-line message for malformed text.
using LpReadResult = std::variant<LinearProgram, std::string>;

// Reads a whole program. Never throws for any input text.
LpReadResult parse_lp(std::string_view text);

// The expression, or a message naming the faulty term.
using ExprReadResult = std::variant<LinearExpr, std::string>;

// Reads one objective or left-hand-side expression, creating the variables it names.
ExprReadResult parse_expr(std::string_view text, LinearProgram& program);

// The variable that a name denotes: the existing variable called that ("x" followed by its
// number, no leading zeros), otherwise a new one.
VarId var_by_name(std::string_view name, LinearProgram& program);

// A number in the text's decimal notation (optional sign; digits with an optional point and
// an optional exponent; or inf, infinity, nan in any case) as the nearest double, or nothing
// when the text is not one.
std::optional<double> parse_number(std::string_view text);

}  // namespace mekra
