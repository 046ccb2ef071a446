#pragma once
// The four calls of the module, text in, outcome or rejection out: read the text with the
// area's reader, refuse it with the reader's message, or solve what was read. The module
// surface calls them with the UTF-8 text of `input` and turns what they return into a dict
// or an exception.

#include <string_view>

#include "core/outcome.hpp"

namespace mekra::calls {

CallResult<SatOutcome> solve_sat_body(std::string_view text);
CallResult<LpOutcome> solve_lp_text_body(std::string_view text);
CallResult<LpOutcome> solve_milp_text_body(std::string_view text);
CallResult<CpOutcome> solve_cp_text_body(std::string_view text);

}  // namespace mekra::calls
