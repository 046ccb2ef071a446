// Models that no assignment satisfies, found from the difference constraints before any
// propagation: a negative cycle, or two positions of a neq or allDiff that the constraints tie
// equal. Both only ever conclude that there is no solution, so an answer with a solution is
// never changed.

#include <algorithm>

#include "cp/linear_relation.hpp"
#include "cp/propagator.hpp"

namespace mekra::cp {

// An edge (b, a, c) for every constraint implying a <= b + c.
std::vector<DifferenceEdge> CpStore::difference_edges() const {
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
    return edges;
}

void CpStore::detect_certain_infeasibility() {
    const std::vector<DifferenceEdge> edges = difference_edges();
    if (has_negative_cycle(domains_.size(), edges)) {
        certainly_infeasible_ = true;
        return;
    }
    const TiedClasses tied = tied_classes(domains_.size(), edges);
    if (tied.negative_cycle) {
        certainly_infeasible_ = true;
        return;
    }
    std::vector<std::size_t> classes;
    for (const Rule& r : rules_) {
        if (r.kind == Kind::Neq) {
            if (tied.of[r.a] == tied.of[r.b]) certainly_infeasible_ = true;
        } else if (r.kind == Kind::AllDiff) {
            classes.clear();
            for (std::size_t p = r.begin; p < r.end; ++p) classes.push_back(tied.of[vars_[p]]);
            std::sort(classes.begin(), classes.end());
            if (std::adjacent_find(classes.begin(), classes.end()) != classes.end())
                certainly_infeasible_ = true;
        }
        if (certainly_infeasible_) return;
    }
}

}  // namespace mekra::cp
