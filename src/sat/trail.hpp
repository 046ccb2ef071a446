#pragma once
// The trail: assignments in the order they were made, split into decision levels.

#include <cstdint>
#include <vector>

#include "sat/clause.hpp"
#include "sat/literal.hpp"

namespace mekra::sat {

// Reason of a decision: no clause.
inline constexpr ClauseIndex NO_REASON = UINT32_MAX;
// Trail position of an unassigned variable.
inline constexpr std::uint32_t NO_POSITION = UINT32_MAX;

struct TrailEntry {
    ClauseIndex reason;  // NO_REASON for a decision, else the clause that forced the value
    Var var;
    std::uint32_t level;  // decision level at which the assignment was made
    bool value;
};

struct Trail {
    std::vector<TrailEntry> entries;
    // trail_lim[k] is the position at which level k begins; level 0 exists from the outset.
    std::vector<std::uint32_t> trail_lim{0};
    // Next entry to propagate.
    std::size_t qhead = 0;

    std::uint32_t level() const { return static_cast<std::uint32_t>(trail_lim.size() - 1); }
};

}  // namespace mekra::sat
