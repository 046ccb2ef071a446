#include "sat/clause.hpp"

#include <limits>

namespace mekra::sat {

ClauseIndex ClauseArena::add(std::span<const Literal> literals, bool learnt) {
    // Watch lists hold 32-bit clause indices; more clauses than that cannot be addressed.
    check_invariant(starts_.size() < std::numeric_limits<ClauseIndex>::max(), "too many clauses to index");
    check_invariant(literals.size() < NO_WATCH, "clause too long to store");
    const auto index = static_cast<ClauseIndex>(starts_.size());
    starts_.push_back(words_.size());
    words_.push_back(static_cast<std::uint32_t>(literals.size()));
    words_.push_back(learnt ? LEARNT : 0);
    words_.push_back(NO_WATCH);
    words_.push_back(NO_WATCH);
    for (Literal l : literals) words_.push_back(l.watch_code());
    return index;
}

}  // namespace mekra::sat
