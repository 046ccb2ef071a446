// Assignment, propagation over the watch lists, and undoing levels.
#include <algorithm>

#include "sat/solver.hpp"

namespace mekra::sat {

namespace {
// Clauses fetched ahead of the walk; their starts twice as far ahead.
constexpr std::size_t PREFETCH_DISTANCE = 4;
}  // namespace

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
    const std::uint32_t f = Literal(entry.var, !entry.value).watch_code();
    const std::vector<ClauseIndex>& list = watches_.list(f);
    const std::size_t length = list.size();
    const std::uint8_t* assignment = reinterpret_cast<const std::uint8_t*>(assignment_.data());
    twins_.clear();  // walk positions of clauses met with both entries in this list
    for (std::size_t i = 0; i < length; ++i) {
        const ClauseIndex c = list[i];
        ++counters_.clause_visits;
        // The walk's clauses are known ahead: fetching them early overlaps the memory waits.
        if (i + 2 * PREFETCH_DISTANCE < length) clauses_.prefetch_start(list[i + 2 * PREFETCH_DISTANCE]);
        if (i + PREFETCH_DISTANCE < length) __builtin_prefetch(clauses_.header(list[i + PREFETCH_DISTANCE]));
        std::uint32_t* header = clauses_.header(c);
        const std::uint32_t* literals = header + ClauseArena::HEADER;
        const std::uint32_t size = header[ClauseArena::SIZE];
        std::uint32_t target = NO_WATCH;
        for (std::uint32_t j = 0; j < size; ++j) {
            const std::uint32_t code = literals[j];
            // false: assignment byte 0 for a positive literal, 1 for a negative one
            if (code == f || assignment[code >> 1] == ((code & 1u) ^ 1u)) continue;
            target = code;
            break;
        }
        if (target == NO_WATCH) {
            finish_walk(f, i);
            return c;
        }
        if (header[ClauseArena::WATCH0] == f) {
            if (header[ClauseArena::WATCH1] == f) twins_.push_back(static_cast<std::uint32_t>(i));
            header[ClauseArena::WATCH0] = target;
        } else {
            header[ClauseArena::WATCH1] = target;
        }
        watches_.append(target, c);  // another list: `list` stays valid
    }
    finish_walk(f, length);
    return std::nullopt;
}

// While the walk stays within the first half of the list, removal k finds its clause at walk
// position k (earlier places hold only clauses taken from the back) and fills it with the
// current last element: the first `walked` places receive the list's tail in reverse order.
// One exception: a walked clause at position a whose second entry sits among the last a
// places has been moved forward before its turn, and its first occurrence is elsewhere.
// Then, or past the half, the removals are replayed one by one.
void SatSolver::finish_walk(std::uint32_t code, std::size_t walked) {
    std::vector<ClauseIndex>& list = watches_.list(code);
    const std::size_t length = list.size();
    if (walked == length) {
        list.clear();  // every clause moved away
        return;
    }
    bool replay = 2 * walked > length;
    for (std::size_t k = 0; k < twins_.size() && !replay; ++k) {
        const std::uint32_t a = twins_[k];
        replay = std::find(list.end() - a, list.end(), list[a]) != list.end();
    }
    if (!replay) {
        for (std::size_t k = 0; k < walked; ++k) list[k] = list[length - 1 - k];
        list.resize(length - walked);
        return;
    }
    removed_.assign(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(walked));
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
