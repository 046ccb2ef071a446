// solve_lp_text: LP text to the two-phase simplex.
#include <string>
#include <utility>
#include <variant>

#include "calls/calls.hpp"
#include "linear/digit_budget.hpp"
#include "lp/reader.hpp"
#include "lp/solver.hpp"

namespace mekra::calls {

// The call's digit budget covers reading and solving; past it, or past the tableau limit, the
// call is refused with a MemoryError that says why.
CallResult<LpOutcome> solve_lp_text_body(std::string_view text) {
    try {
        linear::DigitBudget budget(linear::DigitBudget::CALL_LIMIT);
        lp::LpReadResult read = lp::parse_lp(text);
        if (auto* message = std::get_if<std::string>(&read)) return Rejection::bad_input(std::move(*message));
        lp::LpSolver solver;
        solver.load(std::move(std::get<lp::LinearProgram>(read)));
        return solver.solve();
    } catch (const linear::MemoryBudgetExceeded& exceeded) {
        return Rejection{Rejection::Kind::OutOfMemory, exceeded.what()};
    }
}

}  // namespace mekra::calls
