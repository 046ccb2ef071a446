#pragma once
// The CP text format and its reader.
//
// One statement per line: "var name min max" declares an integer variable with an inclusive
// domain; "eq", "neq", "lt", "le", "linear", "allDiff"/"alldifferent" state constraints over
// variables declared on earlier lines. Blank lines and lines starting with "#" or "//" are
// skipped.

#include <string>
#include <string_view>
#include <variant>

#include "cp/model.hpp"

namespace mekra::cp {

// Reads CP text in one pass. Returns the model, or the one-line message of the first bad
// line; never throws on bad input.
std::variant<CpModel, std::string> parse_cp_model(std::string_view text);

}  // namespace mekra::cp
