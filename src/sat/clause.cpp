#include "sat/clause.hpp"

#include <limits>

namespace mekra::sat {

ClauseIndex ClauseArena::add(std::span<const Literal> literals, bool learnt) {
    // Watch lists hold 32-bit clause indices; more clauses than that cannot be addressed.
    check_invariant(starts_.size() < std::numeric_limits<ClauseIndex>::max(), "too many clauses to index");
    check_invariant(literals.size() < NO_WATCH, "clause too long to store");
    const auto index = static_cast<ClauseIndex>(starts_.size());
    const std::size_t at = words_.size();
    starts_.push_back(at);
    words_.resize(at + HEADER + literals.size());
    std::uint32_t* header = words_.data() + at;
    header[SIZE] = static_cast<std::uint32_t>(literals.size());
    header[FLAGS] = learnt ? LEARNT : 0;
    header[WATCH0] = NO_WATCH;
    header[WATCH1] = NO_WATCH;
    for (std::size_t i = 0; i < literals.size(); ++i) header[HEADER + i] = literals[i].watch_code();
    return index;
}

}  // namespace mekra::sat
