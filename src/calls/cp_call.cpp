// solve_cp_text: CP text to propagation and depth-first search.
#include <string>
#include <utility>
#include <variant>

#include "calls/calls.hpp"
#include "cp/propagator.hpp"
#include "cp/reader.hpp"
#include "cp/search.hpp"

namespace mekra::calls {

CallResult<CpOutcome> solve_cp_text_body(std::string_view text) {
    auto read = cp::parse_cp_model(text);
    if (auto* message = std::get_if<std::string>(&read)) return Rejection::bad_input(std::move(*message));
    cp::CpStore store(std::get<cp::CpModel>(read));
    // A declared empty domain is never fixed, so the search would end without a solution
    // after trying everything else; a negative difference cycle fails the first propagation.
    if (store.certainly_infeasible()) return CpOutcome{};
    return CpOutcome{cp::search(store)};
}

}  // namespace mekra::calls
