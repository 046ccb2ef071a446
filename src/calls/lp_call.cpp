// solve_lp_text: LP text to the two-phase simplex.
#include <string>
#include <utility>
#include <variant>

#include "calls/calls.hpp"
#include "lp/reader.hpp"
#include "lp/solver.hpp"

namespace mekra::calls {

CallResult<LpOutcome> solve_lp_text_body(std::string_view text) {
    lp::LpReadResult read = lp::parse_lp(text);
    if (auto* message = std::get_if<std::string>(&read)) return Rejection::bad_input(*message);
    if (std::holds_alternative<lp::LpNumericalIssue>(read))
        return LpOutcome::unknown(SolverError{SolverError::Kind::NumericalIssue, {}});
    lp::LpSolver solver;
    solver.load(std::move(std::get<lp::LinearProgram>(read)));
    return solver.solve();
}

}  // namespace mekra::calls
