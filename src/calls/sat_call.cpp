// solve_sat: DIMACS text to the CDCL solver, and every model checked against the input.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "calls/calls.hpp"
#include "core/invariant.hpp"
#include "sat/dimacs.hpp"
#include "sat/literal.hpp"
#include "sat/solver.hpp"

namespace mekra::calls {

namespace {

// Variables the formula makes the solver hold: the largest literal magnitude.
std::uint64_t variables_needed(const sat::CnfFormula& formula) {
    std::uint64_t largest = 0;
    for (std::int32_t d : formula.literals) {
        const std::uint64_t magnitude = d < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(std::int64_t{d})
                                              : static_cast<std::uint64_t>(d);
        largest = std::max(largest, magnitude);
    }
    return largest;
}

// A model is reported only after it has been checked against every input clause.
void check_model(const sat::CnfFormula& formula, const Model& model) {
    for (std::size_t k = 0; k < formula.clause_count(); ++k) {
        bool satisfied = false;
        for (std::int32_t d : formula.clause(k)) {
            const sat::Literal l = sat::Literal::from_dimacs(d);
            check_invariant(l.var() < model.size(), "model lacks a variable of the formula");
            if (model[l.var()].value.as_bool() == l.positive()) {
                satisfied = true;
                break;
            }
        }
        if (!satisfied) fail_invariant("SAT model violates input clause " + std::to_string(k + 1));
    }
}

}  // namespace

CallResult<SatOutcome> solve_sat_body(std::string_view text) {
    auto read = sat::parse_dimacs(text);
    if (auto* message = std::get_if<std::string>(&read)) return Rejection::bad_input(std::move(*message));
    const sat::CnfFormula& formula = std::get<sat::CnfFormula>(read);

    // Checked before anything is allocated: a literal such as -2147483648 asks for 2^31 variables.
    const std::uint64_t needed = variables_needed(formula);
    if (needed > sat::MAX_VARIABLES)
        return Rejection{Rejection::Kind::OutOfMemory,
                         "formula needs " + std::to_string(needed) + " variables, more than the " +
                             std::to_string(sat::MAX_VARIABLES) + " the SAT solver can hold"};

    sat::SatSolver solver;
    solver.ensure_vars(needed);
    solver.reserve_for(formula);
    for (std::size_t k = 0; k < formula.clause_count(); ++k) solver.add_clause(formula.clause(k));
    SatOutcome outcome = solver.solve();
    if (outcome.satisfiable) check_model(formula, outcome.model);
    return outcome;
}

}  // namespace mekra::calls
