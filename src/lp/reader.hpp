#pragma once
// The LP/MILP text format and its reader.
//
// A program is read line by line: comments ("#" or "c" first), "min "/"max " objectives,
// "int " declarations, and constraints "lhs <= rhs", "lhs >= rhs", "lhs = rhs" whose
// right-hand side is a single number. Expressions are sums of terms a/b, c*name, name and
// numbers. Variable k is called "x" followed by k; any other name creates the next variable.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "lp/program.hpp"

namespace mekra::lp {

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

}  // namespace mekra::lp
