// The store's machinery: narrowing a bound, the trail that restores it, and the queue that
// runs the rules watching a changed variable until nothing is left to run.

#include <algorithm>

#include "core/invariant.hpp"
#include "cp/propagator.hpp"

namespace mekra::cp {

void CpStore::Ring::push(std::size_t rule) {
    std::size_t slot = head + count;
    if (slot >= slots.size()) slot -= slots.size();
    slots[slot] = rule;
    ++count;
}

std::size_t CpStore::Ring::pop() {
    std::size_t rule = slots[head];
    if (++head == slots.size()) head = 0;
    --count;
    return rule;
}

void CpStore::set_domain(std::size_t var, Domain d) {
    const Domain before = domains_[var];
    domains_[var] = d;
    if (d.lo < declared_[var].lo || d.hi > declared_[var].hi) within_declared_ = false;
    move_linear_sums(var, before);
    touch(var);
}

void CpStore::touch(std::size_t var) {
    if (!touched_flag_[var]) {
        touched_flag_[var] = 1;
        touched_.push_back(var);
    }
}

void CpStore::changed(std::size_t var, const Domain& old) {
    if (saved_at_[var] != stamp_) {
        saved_at_[var] = stamp_;
        trail_.push_back({var, old});
    }
    move_linear_sums(var, old);
    touch(var);
    for (std::size_t rule : watches_[var]) {
        if (rule == running_ && rules_[rule].idempotent) continue;
        enqueue(rule);
    }
}

void CpStore::enqueue(std::size_t rule) {
    if (queued_[rule]) return;
    queued_[rule] = 1;
    if (rank_[rule] == UNRANKED) {
        rings_[rules_[rule].kind == Kind::AllDiff ? ALLDIFF_RING : CHEAP_RING].push(rule);
        return;
    }
    heap_.push_back(rule);
    std::push_heap(heap_.begin(), heap_.end(), [this](std::size_t x, std::size_t y) { return later(x, y); });
}

void CpStore::clear_queue() {
    for (std::size_t rule : heap_) queued_[rule] = 0;
    heap_.clear();
    for (Ring& ring : rings_) {
        while (ring.count > 0) queued_[ring.pop()] = 0;
    }
}

void CpStore::queue_all() {
    for (std::size_t rule = 0; rule < rules_.size(); ++rule) enqueue(rule);
}

void CpStore::assign(std::size_t var, std::int64_t value) {
    check_invariant(var < domains_.size(), "branching variable outside the model");
    Domain old = domains_[var];
    domains_[var] = {value, value};
    changed(var, old);
}

void CpStore::undo_to(std::size_t mark) {
    while (trail_.size() > mark) {
        const TrailEntry& entry = trail_.back();
        const Domain before = domains_[entry.var];
        domains_[entry.var] = entry.old;
        move_linear_sums(entry.var, before);
        saved_at_[entry.var] = NEVER_SAVED;
        touch(entry.var);
        trail_.pop_back();
    }
}

bool CpStore::run_queue() {
    while (!heap_.empty() || rings_[CHEAP_RING].count > 0 || rings_[ALLDIFF_RING].count > 0) {
        std::size_t rule;
        if (!heap_.empty()) {
            std::pop_heap(heap_.begin(), heap_.end(),
                          [this](std::size_t x, std::size_t y) { return later(x, y); });
            rule = heap_.back();
            heap_.pop_back();
        } else {
            rule = (rings_[CHEAP_RING].count > 0 ? rings_[CHEAP_RING] : rings_[ALLDIFF_RING]).pop();
        }
        queued_[rule] = 0;
        running_ = rule;
        bool ok = run(rule);
        running_ = NO_RULE;
        if (!ok) {
            clear_queue();
            return false;
        }
    }
    return true;
}

bool propagate(CpStore& store) {
    store.queue_all();
    return store.run_queue();
}

bool CpStore::run(std::size_t rule) {
    const Rule& r = rules_[rule];
    switch (r.kind) {
        case Kind::Eq:
            return run_eq(r);
        case Kind::Neq:
            return run_neq(r);
        case Kind::LeUpper:
            return run_le_upper(r);
        case Kind::LeLower:
            return run_le_lower(r);
        case Kind::Linear:
            return run_linear(r);
        case Kind::AllDiff:
            return run_alldiff(r);
        case Kind::Offset:
            return run_offset(r);
    }
    fail_invariant("unknown constraint kind");
}

}  // namespace mekra::cp
