// Assignment, propagation over the watch lists, and undoing levels.
#include <algorithm>

#include "sat/solver.hpp"

namespace mekra::sat {

void SatSolver::assign(Var v, bool value, ClauseIndex reason) {
    assignment_[v] = value ? Value::True : Value::False;
    trail_position_[v] = static_cast<std::uint32_t>(trail_.entries.size());
    trail_.entries.push_back(TrailEntry{reason, v, trail_.level(), value});
}

// Walks the watch list of the entry's false literal f in its order at the start of the walk.
// Each clause moves its watch from f to its first literal (in clause order, f passed over)
// that is not false, even when that literal already holds the clause's other watch; nothing
// is assigned here. A clause without such a literal is a conflict and ends the walk.
//
// The list itself is only read during the walk (a clause never moves onto f), so no copy is
// needed: afterwards it is put into the state the removals "first occurrence, swapped with
// the last element", made one per moved clause in walk order, produce. That order decides
// later walks, so it must be exact.
std::optional<ClauseIndex> SatSolver::propagate_one() {
    check_invariant(trail_.qhead < trail_.entries.size(), "propagation past the end of the trail");
    const TrailEntry& entry = trail_.entries[trail_.qhead++];
    ++counters_.propagated;
    const Literal f(entry.var, !entry.value);
    const std::uint32_t code = f.watch_code();
    const std::vector<ClauseIndex>& list = watches_.list(code);
    const std::size_t length = list.size();
    bool skipped_deleted = false;
    for (std::size_t i = 0; i < length; ++i) {
        const ClauseIndex c = list[i];
        ++counters_.clause_visits;
        if (clauses_.deleted(c)) {
            skipped_deleted = true;
            continue;
        }
        bool moved = false;
        for (Literal l : clauses_.literals(c)) {
            if (l == f || is_false(l)) continue;
            watches_.append(l.watch_code(), c);  // another list: `list` stays valid
            moved = true;
            break;
        }
        if (!moved) {
            finish_walk(code, i, skipped_deleted);
            return c;
        }
    }
    finish_walk(code, length, skipped_deleted);
    return std::nullopt;
}

void SatSolver::finish_walk(std::uint32_t code, std::size_t walked, bool skipped_deleted) {
    std::vector<ClauseIndex>& list = watches_.list(code);
    if (walked == list.size() && !skipped_deleted) {
        list.clear();  // every clause moved away
        return;
    }
    removed_.clear();
    for (std::size_t i = 0; i < walked; ++i)
        if (!clauses_.deleted(list[i])) removed_.push_back(list[i]);
    watches_.remove_walked(code, walked, removed_);
}

void SatSolver::backjump(std::uint32_t level) {
    check_invariant(level < trail_.level(), "back-jump to a level not below the current one");
    const std::uint32_t start = trail_.trail_lim[level + 1];
    for (std::size_t j = start; j < trail_.entries.size(); ++j) {
        const Var v = trail_.entries[j].var;
        assignment_[v] = Value::Unassigned;
        trail_position_[v] = NO_POSITION;
        heuristic_.insert(v);
    }
    trail_.entries.resize(start);
    trail_.trail_lim.resize(static_cast<std::size_t>(level) + 1);
    trail_.qhead = std::min<std::size_t>(trail_.qhead, start);
}

}  // namespace mekra::sat
