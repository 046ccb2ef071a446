#pragma once
// Depth-first search over a propagated store.
//
// Branches on the open variable (lo < hi) with the smallest domain, the lowest index on ties,
// and tries its values in ascending order, propagating at every node. The first solution
// found is the answer. Written with an explicit stack, a trail and values produced one at a
// time, so neither depth nor domain width costs call stack or value lists.

#include <optional>

#include "core/outcome.hpp"
#include "cp/propagator.hpp"

namespace mekra::cp {

// Propagates the store, then searches it; the solution holds every variable's value in index
// order, or there is none. The store's domains are left as the search ended.
std::optional<Model> search(CpStore& store);

}  // namespace mekra::cp
