#include "sat/heuristics.hpp"

namespace mekra::sat {

void ActivityHeuristic::build_heap() {
    const std::size_t n = activities_.size();
    heap_.resize(n);
    heap_position_.assign(n, NOT_IN_HEAP);
    // Descending index order is already a heap while activities are equal (as at the start
    // of the search); the sift-downs below make it one in any case.
    for (std::size_t i = 0; i < n; ++i) place(static_cast<std::uint32_t>(i), static_cast<Var>(n - 1 - i));
    for (std::size_t i = n / 2; i-- > 0;) sift_down(static_cast<std::uint32_t>(i));
}

void ActivityHeuristic::insert(Var v) {
    if (in_heap(v)) return;
    const auto i = static_cast<std::uint32_t>(heap_.size());
    heap_.push_back(v);
    heap_position_[v] = i;
    sift_up(i);
}

Var ActivityHeuristic::pop_first() {
    check_invariant(!heap_.empty(), "decision heap is empty");
    const Var first = heap_.front();
    const Var last = heap_.back();
    heap_.pop_back();
    heap_position_[first] = NOT_IN_HEAP;
    if (!heap_.empty()) {
        place(0, last);
        sift_down(0);
    }
    return first;
}

void ActivityHeuristic::sift_up(std::uint32_t i) {
    const Var v = heap_[i];
    while (i > 0) {
        const std::uint32_t parent = (i - 1) / 2;
        if (!before(v, heap_[parent])) break;
        place(i, heap_[parent]);
        i = parent;
    }
    place(i, v);
}

void ActivityHeuristic::sift_down(std::uint32_t i) {
    const Var v = heap_[i];
    const auto size = static_cast<std::uint32_t>(heap_.size());
    for (;;) {
        std::uint32_t child = 2 * i + 1;
        if (child >= size) break;
        if (child + 1 < size && before(heap_[child + 1], heap_[child])) ++child;
        if (!before(heap_[child], v)) break;
        place(i, heap_[child]);
        i = child;
    }
    place(i, v);
}

}  // namespace mekra::sat
