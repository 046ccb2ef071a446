#pragma once
// The bodies of the four module functions: text in, outcome or rejection out.
// Each is defined by its subsystem; the module surface calls them with the UTF-8 text of
// `input` and turns what they return into a dict or an exception.

#include <string_view>

#include "module/outcome.hpp"

namespace mekra {

CallResult<SatOutcome> solve_sat_body(std::string_view text);     // src/sat
CallResult<LpOutcome> solve_lp_text_body(std::string_view text);  // src/lp
CallResult<LpOutcome> solve_milp_text_body(std::string_view text);  // src/milp
CallResult<CpOutcome> solve_cp_text_body(std::string_view text);  // src/cp

}  // namespace mekra
