#pragma once
// Variable activities and the decision order.
//
// The decision rule picks, among the unassigned variables, the one of highest activity, ties
// going to the highest index. Activities only grow (var_inc is positive) and can reach +inf,
// never NaN (nothing subtracts infinities); infinite activities compare equal and fall back
// to the index. A binary max-heap ordered by exactly that rule finds the same variable in
// O(log n) instead of a scan of all variables.

#include <cstdint>
#include <vector>

#include "sat/literal.hpp"

namespace mekra::sat {

class ActivityHeuristic {
public:
    // Adds variables up to `n` with activity 0.0.
    void grow(std::size_t n) {
        if (n > activities_.size()) activities_.resize(n, 0.0);
    }
    std::size_t size() const { return activities_.size(); }
    double activity(Var v) const { return activities_[v]; }
    double var_inc() const { return var_inc_; }

    // Adds var_inc to v's activity and restores the heap order around v.
    void bump(Var v) {
        activities_[v] += var_inc_;
        if (heap_position_[v] != NOT_IN_HEAP) sift_up(heap_position_[v]);
    }
    // After every analysed conflict: var_inc grows by 1/decay, with no rescaling.
    void decay_step() { var_inc_ /= decay_; }

    // Puts every variable into the heap (start of the search).
    void build_heap();
    bool in_heap(Var v) const { return heap_position_[v] != NOT_IN_HEAP; }
    void insert(Var v);
    // Removes and returns the first variable in decision order.
    Var pop_first();

private:
    static constexpr std::uint32_t NOT_IN_HEAP = UINT32_MAX;

    // True when a is chosen over b: higher activity, or equal activity and higher index.
    bool before(Var a, Var b) const {
        const double x = activities_[a], y = activities_[b];
        return x > y || (x == y && a > b);
    }
    void sift_up(std::uint32_t i);
    void sift_down(std::uint32_t i);
    void place(std::uint32_t i, Var v) {
        heap_[i] = v;
        heap_position_[v] = i;
    }

    std::vector<double> activities_;
    double var_inc_ = 1.0;
    double decay_ = 0.95;
    std::vector<Var> heap_;
    std::vector<std::uint32_t> heap_position_;  // per variable: index in heap_, or NOT_IN_HEAP
};

}  // namespace mekra::sat
