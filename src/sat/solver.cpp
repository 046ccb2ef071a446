#include "module/bodies.hpp"
#include "sat/dimacs.hpp"

namespace mekra {

// Placeholder until the search is built: the text is read, nothing is solved.
CallResult<SatOutcome> solve_sat_body(std::string_view text) {
    auto read = sat::parse_dimacs(text);
    if (auto* message = std::get_if<std::string>(&read)) return Rejection::bad_input(std::move(*message));
    return Rejection{Rejection::Kind::NotImplemented, "solve_sat is not implemented yet"};
}

}  // namespace mekra
