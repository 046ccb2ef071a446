// libFuzzer harness for the LP text reader: any bytes give a program, a message or the
// numerical issue, never a crash or an escaping exception; a program is in normal form
// (terms sorted by variable, no zero coefficient, only existing variables).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lp/reader.hpp"

namespace {

void check(const mekra::lp::LinearExpr& e, mekra::lp::VarId next_var) {
    for (std::size_t i = 0; i < e.terms.size(); ++i) {
        if (e.terms[i].coefficient.is_zero() || e.terms[i].var >= next_var) std::abort();
        if (i > 0 && e.terms[i - 1].var >= e.terms[i].var) std::abort();
    }
    if (e.constant.denominator() <= 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    mekra::lp::LpReadResult result = mekra::lp::parse_lp(text);
    if (auto* program = std::get_if<mekra::lp::LinearProgram>(&result)) {
        if (program->variables.size() != program->next_var || program->var_info.size() != program->next_var)
            std::abort();
        if (program->objective) check(program->objective->expr, program->next_var);
        for (const mekra::lp::Constraint& c : program->constraints) check(c.expr, program->next_var);
    } else if (auto* message = std::get_if<std::string>(&result)) {
        if (message->empty()) std::abort();
    }
    return 0;
}
