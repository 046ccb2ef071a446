#pragma once
// Test-only: the search exactly as written, step by step and slowly: a linear scan for each
// decision, a copied watch list per propagation step, a fresh seen array per conflict.
// The fast solver must agree with it on everything observable.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace reference {

struct Lit {
    std::uint64_t var;
    bool positive;
    std::uint64_t code() const { return var * 2 + (positive ? 1 : 0); }
    bool operator==(const Lit&) const = default;
};

struct Clause {
    std::vector<Lit> literals;
    bool learnt = false;
    bool deleted = false;
};

struct Entry {
    std::optional<std::uint64_t> reason;
    std::uint64_t var;
    bool value;
    std::uint64_t level;
};

class ReferenceSolver {
public:
    static constexpr std::uint8_t UNASSIGNED = 2;

    std::vector<Clause> clauses;
    std::vector<std::uint8_t> assignment;
    std::vector<std::optional<std::uint64_t>> trail_position;
    std::vector<Entry> trail;
    std::vector<std::uint64_t> trail_lim{0};
    std::vector<std::vector<std::uint64_t>> watches;
    std::vector<double> activity;
    double var_inc = 1.0;
    double decay = 0.95;
    std::uint64_t n = 0;
    std::uint64_t qhead = 0;
    std::uint64_t decisions = 0, propagations = 0, conflicts = 0, propagated = 0;

    static Lit from_dimacs(std::int32_t d) {
        std::uint32_t magnitude = d < 0 ? 0u - static_cast<std::uint32_t>(d) : static_cast<std::uint32_t>(d);
        return Lit{magnitude - 1u, d > 0};
    }
    std::uint64_t level() const { return trail_lim.size() - 1; }
    // 1 true, 0 false, 2 unassigned
    int value(Lit l) const {
        std::uint8_t a = assignment[l.var];
        if (a == UNASSIGNED) return 2;
        return (a == 1) == l.positive ? 1 : 0;
    }

    void ensure_vars(std::uint64_t k) {
        if (k <= n) return;
        for (std::uint64_t v = n; v < k; ++v) {
            assignment.push_back(UNASSIGNED);
            trail_position.push_back(std::nullopt);
            watches.emplace_back();
            watches.emplace_back();
            activity.push_back(0.0);
        }
        n = k;
    }

    void assign(std::uint64_t var, bool val, std::optional<std::uint64_t> reason) {
        assignment[var] = val ? 1 : 0;
        trail_position[var] = trail.size();
        trail.push_back(Entry{reason, var, val, level()});
    }

    void remove_first(std::vector<std::uint64_t>& list, std::uint64_t c) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i] == c) {
                list[i] = list.back();
                list.pop_back();
                return;
            }
        }
        std::abort();
    }

    void add_clause(const std::vector<std::int32_t>& dimacs) {
        std::vector<Lit> lits;
        for (std::int32_t d : dimacs) lits.push_back(from_dimacs(d));
        if (!lits.empty()) {
            std::uint64_t m = 0;
            for (Lit l : lits) m = std::max(m, l.var);
            ensure_vars(m + 1);
        }
        if (lits.empty()) {
            clauses.push_back(Clause{});
        } else if (lits.size() == 1) {
            Lit l = lits[0];
            if (assignment[l.var] == UNASSIGNED) {
                clauses.push_back(Clause{lits});
                assign(l.var, l.positive, clauses.size() - 1);
            } else if (value(l) == 0) {
                clauses.push_back(Clause{});
            }
        } else {
            clauses.push_back(Clause{lits});
            watches[lits[0].code()].push_back(clauses.size() - 1);
            watches[lits[1].code()].push_back(clauses.size() - 1);
        }
    }

    std::optional<std::uint64_t> propagate_one() {
        Entry e = trail[qhead];
        ++qhead;
        ++propagated;
        Lit f{e.var, !e.value};
        std::vector<std::uint64_t> copy = watches[f.code()];
        for (std::uint64_t c : copy) {
            if (clauses[c].deleted) continue;
            bool found = false;
            for (Lit l : clauses[c].literals) {
                if (l == f) continue;
                if (value(l) != 0) {
                    watches[l.code()].push_back(c);
                    remove_first(watches[f.code()], c);
                    found = true;
                    break;
                }
            }
            if (!found) return c;
        }
        return std::nullopt;
    }

    void decide() {
        std::uint64_t candidate = 0;
        while (assignment[candidate] != UNASSIGNED) ++candidate;
        for (std::uint64_t i = candidate + 1; i < n; ++i)
            if (assignment[i] == UNASSIGNED && !(activity[candidate] > activity[i])) candidate = i;
        trail_lim.push_back(trail.size());
        assign(candidate, true, std::nullopt);
        ++decisions;
    }

    void analyze(std::uint64_t conflict) {
        ++conflicts;
        const std::uint64_t L = level();
        std::vector<bool> seen(n, false);
        std::uint64_t counter = 0;
        std::uint64_t backjump = 0;
        std::vector<Lit> tail;
        auto visit = [&](Lit q) {
            activity[q.var] += var_inc;
            if (seen[q.var]) return;
            seen[q.var] = true;
            std::uint64_t lv = trail[trail_position[q.var].value()].level;
            if (lv == L) {
                ++counter;
            } else {
                backjump = std::max(backjump, lv);
                tail.push_back(q);
            }
        };
        for (Lit q : clauses[conflict].literals) visit(q);
        std::uint64_t pos = trail.size();
        Entry p{};
        for (;;) {
            do {
                if (pos == 0) std::abort();
                --pos;
            } while (!seen[trail[pos].var]);
            p = trail[pos];
            seen[p.var] = false;
            if (counter > 0) --counter;
            if (!p.reason) break;
            for (Lit q : clauses[*p.reason].literals) {
                if (q.var == p.var)
                    activity[q.var] += var_inc;
                else
                    visit(q);
            }
            if (counter == 0) break;
        }
        Clause learned;
        learned.learnt = true;
        learned.literals.push_back(Lit{p.var, !p.value});
        for (Lit q : tail) learned.literals.push_back(q);
        clauses.push_back(learned);
        const std::uint64_t c = clauses.size() - 1;
        if (learned.literals.size() >= 2) {
            watches[learned.literals[0].code()].push_back(c);
            watches[learned.literals[1].code()].push_back(c);
        }
        const std::uint64_t s = trail_lim[backjump + 1];
        for (std::uint64_t j = s; j < trail.size(); ++j) {
            assignment[trail[j].var] = UNASSIGNED;
            trail_position[trail[j].var] = std::nullopt;
        }
        trail.resize(s);
        trail_lim.resize(backjump + 1);
        qhead = std::min(qhead, s);
        Lit a = learned.literals[0];
        assign(a.var, a.positive, c);
        ++propagations;
        var_inc /= decay;
    }

    // Returns true for Sat (model in `assignment`), false for Unsat.
    bool solve() {
        for (const Clause& c : clauses)
            if (!c.deleted && c.literals.empty()) return false;
        for (;;) {
            if (qhead < trail.size()) {
                if (auto c = propagate_one()) {
                    if (level() == 0) return false;
                    analyze(*c);
                }
            } else {
                bool all = true;
                for (std::uint8_t a : assignment) all = all && a != UNASSIGNED;
                if (all) return true;
                decide();
            }
        }
    }
};

}  // namespace reference
