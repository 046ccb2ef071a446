// Loading and CDCL search.
#include "sat/solver.hpp"

#include <algorithm>
#include <string>

namespace mekra::sat {

void SatSolver::ensure_vars(std::uint64_t k) {
    if (k <= assignment_.size()) return;
    check_invariant(k <= MAX_VARIABLES, "variable count above the solver's limit");
    const auto n = static_cast<std::size_t>(k);
    assignment_.resize(n, Value::Unassigned);
    trail_position_.resize(n, NO_POSITION);
    watches_.grow(2 * n);
    heuristic_.grow(n);
    seen_.resize(n, 0);
}

void SatSolver::reserve_for(const CnfFormula& formula) {
    clauses_.reserve(formula.clause_count(), formula.literals.size());
    // A clause of two or more literals always starts on the lists of its first two.
    std::vector<std::uint32_t> starting(watches_.size(), 0);
    for (std::size_t k = 0; k < formula.clause_count(); ++k) {
        const auto clause = formula.clause(k);
        if (clause.size() < 2) continue;
        const std::uint32_t first = Literal::from_dimacs(clause[0]).watch_code();
        const std::uint32_t second = Literal::from_dimacs(clause[1]).watch_code();
        check_invariant(first < starting.size() && second < starting.size(),
                        "variables not ensured before reserving");
        ++starting[first];
        ++starting[second];
    }
    for (std::size_t code = 0; code < starting.size(); ++code)
        watches_.list(static_cast<std::uint32_t>(code)).reserve(starting[code]);
}

// Input clauses are stored in input order and watched by their first two literals, whatever
// the assignment; a unit clause assigns its literal at level 0 (not yet propagated), or is
// dropped when already true, or becomes an empty clause when already false.
void SatSolver::add_clause(std::span<const std::int32_t> dimacs) {
    literals_.clear();
    Var largest = 0;
    for (std::int32_t d : dimacs) {
        const Literal l = Literal::from_dimacs(d);
        largest = std::max(largest, l.var());
        literals_.push_back(l);
    }
    if (!literals_.empty()) ensure_vars(std::uint64_t{largest} + 1);

    if (literals_.empty()) {
        clauses_.add({}, false);
        has_empty_clause_ = true;
    } else if (literals_.size() == 1) {
        const Literal l = literals_[0];
        const Value a = assignment_[l.var()];
        if (a == Value::Unassigned) {
            const ClauseIndex c = clauses_.add(literals_, false);
            assign(l.var(), l.positive(), c);
        } else if (literal_value(l, a) == Value::False) {
            clauses_.add({}, false);
            has_empty_clause_ = true;
        }
    } else {
        const ClauseIndex c = clauses_.add(literals_, false);
        watch_first_two(c, literals_[0], literals_[1]);
    }
}

void SatSolver::watch_first_two(ClauseIndex c, Literal first, Literal second) {
    watches_.append(first.watch_code(), c);
    watches_.append(second.watch_code(), c);
    clauses_.set_watches(c, first.watch_code(), second.watch_code());
}

SatOutcome SatSolver::solve() {
    if (has_empty_clause_) return SatOutcome{false, {}};
    heuristic_.build_heap();
    trail_.entries.reserve(assignment_.size());
    for (;;) {
        if (trail_.qhead < trail_.entries.size()) {
            if (const auto conflict = propagate_one()) {
                if (trail_.level() == 0) return SatOutcome{false, {}};
                analyze(*conflict);
            }
        } else if (trail_.entries.size() == assignment_.size()) {
            return SatOutcome{true, model()};  // every variable assigned and propagated
        } else {
            decide();
        }
    }
}

// Highest activity first, ties to the highest index; the value is always true.
void SatSolver::decide() {
    Var v = heuristic_.pop_first();
    while (assignment_[v] != Value::Unassigned) v = heuristic_.pop_first();  // assigned since queued
    trail_.trail_lim.push_back(static_cast<std::uint32_t>(trail_.entries.size()));
    assign(v, true, NO_REASON);
    ++counters_.decisions;
}

// Visiting literal q of the conflict or of a reason: every visit bumps; the first visit of a
// variable marks it and either counts it (conflict level) or adds q to the learned tail.
void SatSolver::visit(Literal q, std::uint32_t conflict_level) {
    const Var v = q.var();
    heuristic_.bump(v);
    if (seen_[v]) return;
    seen_[v] = 1;
    seen_vars_.push_back(v);
    const std::uint32_t position = trail_position_[v];
    check_invariant(position != NO_POSITION, "variable in conflict analysis has no trail position");
    const std::uint32_t level = trail_.entries[position].level;
    if (level == conflict_level) {
        ++open_count_;
    } else {
        backjump_level_ = std::max(backjump_level_, level);
        learnt_.push_back(q);
    }
}

// Resolves the conflict level's literals back along the trail to the first unique
// implication point, learns [¬UIP, tail...] (level-0 literals kept), back-jumps to the
// highest tail level and asserts the UIP's negation there.
void SatSolver::analyze(ClauseIndex conflict) {
    ++counters_.conflicts;
    const std::uint32_t level = trail_.level();
    open_count_ = 0;
    backjump_level_ = 0;
    learnt_.clear();
    learnt_.push_back(Literal());  // the UIP's place
    for (Literal q : clauses_.literals(conflict)) visit(q, level);

    std::size_t walk = trail_.entries.size();
    const TrailEntry* uip = nullptr;
    for (;;) {
        do {
            check_invariant(walk > 0, "conflict analysis ran off the trail");
            --walk;
        } while (!seen_[trail_.entries[walk].var]);
        const TrailEntry& p = trail_.entries[walk];
        seen_[p.var] = 0;
        if (open_count_ > 0) --open_count_;
        uip = &p;
        if (p.reason == NO_REASON) break;
        for (Literal q : clauses_.literals(p.reason)) {
            if (q.var() == p.var)
                heuristic_.bump(q.var());
            else
                visit(q, level);
        }
        if (open_count_ == 0) break;
    }
    for (Var v : seen_vars_) seen_[v] = 0;
    seen_vars_.clear();

    const Literal asserting(uip->var, !uip->value);
    learnt_[0] = asserting;
    const ClauseIndex learned = clauses_.add(learnt_, true);
    if (learnt_.size() >= 2) watch_first_two(learned, learnt_[0], learnt_[1]);
    backjump(backjump_level_);  // uip points into the trail: not used past here
    assign(asserting.var(), asserting.positive(), learned);
    ++counters_.propagations;
    heuristic_.decay_step();
}

Model SatSolver::model() const {
    Model model;
    model.reserve(assignment_.size());
    for (std::size_t v = 0; v < assignment_.size(); ++v)
        model.push_back(ModelEntry{v, ModelValue::boolean(assignment_[v] == Value::True)});
    return model;
}

}  // namespace mekra::sat
