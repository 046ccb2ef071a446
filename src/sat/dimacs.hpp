#pragma once
// DIMACS CNF reader.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mekra::sat {

// A formula as read: the clauses in input order, each a list of non-zero DIMACS literals
// (a clause may be empty), plus the counts of the last problem line. The clauses are kept
// in one flat list so that reading allocates only as the list grows.
struct CnfFormula {
    std::vector<std::int32_t> literals;      // every clause's literals, one after another
    std::vector<std::uint64_t> clause_ends;  // clause k is literals[end(k-1) .. end(k))
    std::uint64_t declared_variables = 0;
    std::uint64_t declared_clauses = 0;

    std::size_t clause_count() const { return clause_ends.size(); }
    std::span<const std::int32_t> clause(std::size_t k) const {
        std::uint64_t begin = k == 0 ? 0 : clause_ends[k - 1];
        return {literals.data() + begin, literals.data() + clause_ends[k]};
    }
};

// Reads DIMACS CNF text in one pass without copying it. Returns the formula, or a one-line
// message naming the first fault (many messages start "line N: ").
std::variant<CnfFormula, std::string> parse_dimacs(std::string_view text);

}  // namespace mekra::sat
