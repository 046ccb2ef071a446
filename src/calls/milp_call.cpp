// solve_milp_text: LP text to branch and bound.
#include <string>
#include <utility>
#include <variant>

#include "calls/calls.hpp"
#include "lp/reader.hpp"
#include "milp/solver.hpp"

namespace mekra::calls {

CallResult<LpOutcome> solve_milp_text_body(std::string_view text) {
    lp::LpReadResult read = lp::parse_lp(text);
    if (std::string* message = std::get_if<std::string>(&read))
        return Rejection::bad_input(std::move(*message));
    if (std::holds_alternative<lp::LpNumericalIssue>(read))
        return LpOutcome::unknown(SolverError{SolverError::Kind::NumericalIssue, {}});
    return milp::solve_milp(std::get<lp::LinearProgram>(read));
}

}  // namespace mekra::calls
