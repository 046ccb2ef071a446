// Compiling the model's constraints into rules: merged Linear terms, the split steps of Lt
// and Le with their ranks, and the watch lists.

#include <algorithm>
#include <unordered_map>
#include <variant>

#include "core/invariant.hpp"
#include "cp/difference_cycle.hpp"
#include "cp/overloaded.hpp"
#include "cp/propagator.hpp"

namespace mekra::cp {

CpStore::CpStore(const CpModel& model) : constraints_(model.constraints) {
    const std::size_t n = model.variables.size();
    domains_.reserve(n);
    for (const CpVariable& v : model.variables) {
        domains_.push_back({v.min, v.max});
        if (v.min > v.max) certainly_infeasible_ = true;
    }
    declared_ = domains_;
    watches_.resize(n);
    linear_occurrences_.resize(n);
    for (const CpConstraint& constraint : constraints_) compile(constraint);
    init_linear_sums();
    queued_.assign(rules_.size(), 0);
    saved_at_.assign(n, NEVER_SAVED);
    touched_flag_.assign(n, 0);
    if (!certainly_infeasible_) detect_certain_infeasibility();
    rank_rules();
}

void CpStore::rank_rules() {
    // hi flows from b to a along a <= b + c, lo from a to b
    std::vector<DifferenceEdge> edges;
    for (const Rule& r : rules_) {
        if (r.kind == Kind::LeUpper) edges.push_back({r.b, r.a, 0});
    }
    const std::size_t n = domains_.size();
    std::vector<std::size_t> position(n, 0);
    std::vector<std::size_t> order = depth_first_order(n, edges);
    for (std::size_t i = 0; i < order.size(); ++i) position[order[i]] = i;
    rank_.resize(rules_.size());
    for (std::size_t id = 0; id < rules_.size(); ++id) {
        const Rule& r = rules_[id];
        if (r.kind == Kind::LeUpper) {
            rank_[id] = position[r.b];
        } else if (r.kind == Kind::LeLower) {
            rank_[id] = n - 1 - position[r.a];
        } else {
            rank_[id] = UNRANKED;
        }
    }
    for (Ring& ring : rings_) ring.slots.resize(rules_.size());
}

void CpStore::compile(const CpConstraint& constraint) {
    const std::size_t id = rules_.size();
    auto watch = [&](std::size_t var) {
        check_invariant(var < domains_.size(), "constraint names a variable outside the model");
        std::vector<std::size_t>& list = watches_[var];
        if (list.empty() || list.back() != id) list.push_back(id);
    };
    // The second step of a split rule watches its own variable: it reads only lo(a), and the
    // first step reads only hi(b); a step that narrows its own variable checks it at once.
    auto watch_next = [&](std::size_t var) { watches_[var].push_back(id + 1); };
    auto difference = [&](VarIndex a, VarIndex b, std::int64_t c) {
        const bool distinct = a != b;
        rules_.push_back({.kind = Kind::LeUpper, .idempotent = distinct, .a = a, .b = b, .c = c});
        watch(b);
        rules_.push_back({.kind = Kind::LeLower, .idempotent = distinct, .a = a, .b = b, .c = c});
        watch_next(a);
    };
    std::visit(
        Overloaded{
            [&](const Eq& eq) {
                rules_.push_back({.kind = Kind::Eq, .idempotent = eq.a != eq.b, .a = eq.a, .b = eq.b});
                watch(eq.a), watch(eq.b);
            },
            [&](const Neq& neq) {
                rules_.push_back({.kind = Kind::Neq, .idempotent = neq.a != neq.b, .a = neq.a, .b = neq.b});
                watch(neq.a), watch(neq.b);
            },
            [&](const Lt& lt) { difference(lt.a, lt.b, -1); },
            [&](const Le& le) { difference(le.a, le.b, le.c); },
            [&](const Linear& linear) {
                compile_linear(linear);
                const Rule& rule = rules_.back();
                if (rule.kind == Kind::Offset) {
                    watch(rule.a), watch(rule.b);
                } else {
                    for (std::size_t t = rule.begin; t < rule.end; ++t) watch(terms_[t].var);
                }
            },
            [&](const AllDiff& all) {
                Rule rule{.kind = Kind::AllDiff, .begin = vars_.size()};
                vars_.insert(vars_.end(), all.vars.begin(), all.vars.end());
                rule.end = vars_.size();
                rules_.push_back(rule);
                // Watch each variable once even when it is listed twice.
                std::vector<std::size_t> sorted(all.vars.begin(), all.vars.end());
                std::sort(sorted.begin(), sorted.end());
                sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
                for (std::size_t var : sorted) watch(var);
            },
        },
        constraint);
}

void CpStore::compile_linear(const Linear& linear) {
    std::unordered_map<VarIndex, std::size_t> position;
    std::vector<Term> merged;
    for (const LinearTerm& term : linear.terms) {
        auto [it, inserted] = position.try_emplace(term.var, merged.size());
        if (inserted) {
            merged.push_back({term.coeff, term.var});
        } else {
            merged[it->second].coeff += term.coeff;
        }
    }
    Rule rule{.kind = Kind::Linear, .relation = linear.relation, .c = linear.rhs, .begin = terms_.size()};
    for (const Term& term : merged) {
        if (term.coeff != 0) terms_.push_back(term);
    }
    rule.end = terms_.size();
    if (linear.relation == LinearRelation::Eq && rule.end - rule.begin == 2 &&
        terms_[rule.begin].coeff == -terms_[rule.begin + 1].coeff &&
        (terms_[rule.begin].coeff == 1 || terms_[rule.begin].coeff == -1)) {
        // a - b = rhs holds at a fixpoint exactly when lo(a) = lo(b) + rhs and
        // hi(a) = hi(b) + rhs, which the Offset rule reaches in one step
        const bool first_positive = terms_[rule.begin].coeff == 1;
        const std::size_t a = terms_[rule.begin + (first_positive ? 0 : 1)].var;
        const std::size_t b = terms_[rule.begin + (first_positive ? 1 : 0)].var;
        terms_.resize(rule.begin);
        rules_.push_back({.kind = Kind::Offset, .a = a, .b = b, .c = linear.rhs});
        return;
    }
    for (std::size_t t = rule.begin; t < rule.end; ++t) {
        Term& term = terms_[t];
        const Domain& d = domains_[term.var];
        const UInt128 width =
            d.lo > d.hi ? 0 : static_cast<std::uint64_t>(d.hi) - static_cast<std::uint64_t>(d.lo);
        const UInt128 magnitude =
            term.coeff < 0 ? -static_cast<UInt128>(term.coeff) : static_cast<UInt128>(term.coeff);
        const bool fits = width == 0 || magnitude <= static_cast<UInt128>(UNBOUNDED_REACH) / width;
        term.reach = fits ? static_cast<Int128>(magnitude * width) : UNBOUNDED_REACH;
    }
    // Terms of wide reach first: a run stops at the first term whose reach the room covers.
    std::stable_sort(terms_.begin() + static_cast<std::ptrdiff_t>(rule.begin), terms_.end(),
                     [](const Term& x, const Term& y) { return x.reach > y.reach; });
    rule.sums = sums_.size();
    sums_.emplace_back();
    if (keeps_sums(rule)) {
        for (std::size_t t = rule.begin; t < rule.end; ++t)
            linear_occurrences_[terms_[t].var].push_back({rule.sums, t});
    }
    // With only Le or Ge, narrowing one term never changes the sums the others read.
    rule.idempotent = linear.relation != LinearRelation::Eq;
    rules_.push_back(rule);
}

}  // namespace mekra::cp
