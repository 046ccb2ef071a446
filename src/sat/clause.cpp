#include "sat/clause.hpp"

#include <limits>

namespace mekra::sat {

ClauseIndex ClauseArena::add(std::span<const Literal> literals, bool learnt) {
    // Watch lists hold 32-bit clause indices; more clauses than that cannot be addressed.
    check_invariant(starts_.size() < std::numeric_limits<ClauseIndex>::max(), "too many clauses to index");
    const auto index = static_cast<ClauseIndex>(starts_.size());
    starts_.push_back(literals_.size());
    literals_.insert(literals_.end(), literals.begin(), literals.end());
    flags_.push_back(learnt ? LEARNT : 0);
    return index;
}

}  // namespace mekra::sat
