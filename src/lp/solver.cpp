#include "module/bodies.hpp"

namespace mekra {

// Placeholder until the solver is built: the arguments are checked, the body is not there.
CallResult<LpOutcome> solve_lp_text_body(std::string_view) {
    return Rejection{Rejection::Kind::NotImplemented, "solve_lp_text is not implemented yet"};
}

}  // namespace mekra
