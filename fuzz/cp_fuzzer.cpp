// libFuzzer harness for the CP text reader: any bytes give a model or a message, never a
// crash, and every constraint of a model refers to declared variables.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cp/reader.hpp"

namespace {

void require(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto result = mekra::cp::parse_cp_model(text);
    auto* model = std::get_if<mekra::cp::CpModel>(&result);
    if (model == nullptr) {
        require(!std::get<std::string>(result).empty());
        return 0;
    }
    const std::size_t n = model->variables.size();
    for (const mekra::cp::CpConstraint& constraint : model->constraints) {
        std::visit(
            [&](const auto& c) {
                using C = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<C, mekra::cp::Linear>) {
                    require(!c.terms.empty());
                    for (const auto& term : c.terms) require(term.var < n);
                } else if constexpr (std::is_same_v<C, mekra::cp::AllDiff>) {
                    require(c.vars.size() >= 2);
                    for (auto v : c.vars) require(v < n);
                } else {
                    require(c.a < n && c.b < n);
                }
            },
            constraint);
    }
    return 0;
}
