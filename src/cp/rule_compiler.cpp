// Compiling the model's constraints into rules: merged Linear terms, the split steps of Lt
// and Le with their ranks, the watch lists, and the checks that need no propagation.

#include <algorithm>
#include <unordered_map>
#include <variant>

#include "cp/difference_cycle.hpp"
#include "cp/linear_relation.hpp"
#include "cp/overloaded.hpp"
#include "cp/propagator.hpp"
#include "module/invariant.hpp"

namespace mekra::cp {

namespace {

bool fits_64(Int128 v) { return v >= INT64_MIN && v <= INT64_MAX; }

}  // namespace

CpStore::CpStore(const CpModel& model) : constraints_(model.constraints) {
    const std::size_t n = model.variables.size();
    domains_.reserve(n);
    for (const CpVariable& v : model.variables) {
        domains_.push_back({v.min, v.max});
        if (v.min > v.max) certainly_infeasible_ = true;
    }
    watches_.resize(n);
    for (const CpConstraint& constraint : constraints_) compile(constraint);
    queued_.assign(rules_.size(), 0);
    saved_at_.assign(n, NEVER_SAVED);
    touched_flag_.assign(n, 0);
    if (!certainly_infeasible_) detect_infeasible_cycle();
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
        if (!fits_64(terms_[t].coeff)) rule.wide = true;
    }
    // With only Le or Ge, narrowing one term never changes the sums the others read.
    rule.idempotent = linear.relation != LinearRelation::Eq;
    rules_.push_back(rule);
}

void CpStore::detect_infeasible_cycle() {
    std::vector<DifferenceEdge> edges;
    for (const Rule& r : rules_) {
        switch (r.kind) {
            case Kind::Eq:
                edges.push_back({r.b, r.a, 0});
                edges.push_back({r.a, r.b, 0});
                break;
            case Kind::LeUpper:
                edges.push_back({r.b, r.a, r.c});
                break;
            case Kind::Offset:
                edges.push_back({r.b, r.a, r.c});
                edges.push_back({r.a, r.b, -static_cast<Int128>(r.c)});
                break;
            case Kind::Linear: {
                if (r.end - r.begin != 2) break;
                Term x = terms_[r.begin], y = terms_[r.begin + 1];
                if (x.coeff != -y.coeff) break;
                if (x.coeff < 0) std::swap(x, y);
                // k*x - k*y rel rhs with k > 0: x <= y + floor(rhs/k), y <= x - ceil(rhs/k).
                const Int128 k = x.coeff, rhs = r.c;
                const RelationSides sides = sides_of(r.relation);
                if (sides.caps) edges.push_back({y.var, x.var, floor_div(rhs, k)});
                if (sides.floors) edges.push_back({x.var, y.var, -ceil_div(rhs, k)});
                break;
            }
            default:
                break;
        }
    }
    if (has_negative_cycle(domains_.size(), edges)) certainly_infeasible_ = true;
}

}  // namespace mekra::cp
