#pragma once
// Negative cycles among difference constraints.
//
// An edge (from b, to a, weight c) stands for a <= b + c. At any fixpoint of bounds
// propagation that did not fail, hi(a) <= hi(b) + c holds for every such constraint, and
// summing around a cycle gives 0 <= the sum of its weights. A cycle whose weights sum below
// zero therefore makes propagation fail, however long it would take to get there.

#include <cstddef>
#include <vector>

#include "cp/exact.hpp"

namespace mekra::cp {

struct DifferenceEdge {
    std::size_t from;
    std::size_t to;
    Int128 weight;
};

// The nodes in reverse post-order of a depth-first search started from every node in turn:
// along any path that is not closed by a cycle, a node comes before the nodes it leads to.
std::vector<std::size_t> depth_first_order(std::size_t nodes, const std::vector<DifferenceEdge>& edges);

// True when the graph over `nodes` nodes has a cycle of negative total weight. May answer
// false without finishing on graphs that would take too long (the caller then learns the
// same by propagating).
bool has_negative_cycle(std::size_t nodes, const std::vector<DifferenceEdge>& edges);

// The edges of weight at most zero say a <= b. Nodes joined by a cycle of them take one value
// in every solution (a <= b <= ... <= a), unless the cycle holds a negative edge, which no
// solution can satisfy. `of` numbers each node's class.
struct TiedClasses {
    std::vector<std::size_t> of;
    bool negative_cycle = false;
};
TiedClasses tied_classes(std::size_t nodes, const std::vector<DifferenceEdge>& edges);

}  // namespace mekra::cp
