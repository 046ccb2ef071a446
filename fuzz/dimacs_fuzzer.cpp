// libFuzzer harness for the DIMACS reader: any bytes give a formula or a message, never a
// crash, and a formula never holds a 0 literal.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sat/dimacs.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto result = mekra::sat::parse_dimacs(text);
    if (auto* formula = std::get_if<mekra::sat::CnfFormula>(&result)) {
        for (std::size_t k = 0; k < formula->clause_count(); ++k)
            for (std::int32_t literal : formula->clause(k))
                if (literal == 0) std::abort();
    } else if (std::get<std::string>(result).empty()) {
        std::abort();
    }
    return 0;
}
