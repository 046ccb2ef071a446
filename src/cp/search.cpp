#include "module/bodies.hpp"

namespace mekra {

// Placeholder until the solver is built: the arguments are checked, the body is not there.
CallResult<CpOutcome> solve_cp_text_body(std::string_view) {
    return Rejection{Rejection::Kind::NotImplemented, "solve_cp_text is not implemented yet"};
}

}  // namespace mekra
