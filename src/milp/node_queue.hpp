#pragma once
// The open nodes of branch and bound: a binary min-heap in an array, ordered by key alone.
//
// The order among equal keys is part of the search's answer (it decides which of two equally
// good subproblems is explored first, and so which incumbent is kept), so push and pop follow
// one fixed procedure instead of a library heap:
//  - push sifts the new pair up while its key is strictly less than its parent's;
//  - pop moves the hole left at the root all the way down, always promoting the child with the
//    smaller key (the right child when the keys are equal), then sifts the former last pair up
//    from where the hole ended.
// Both are O(log n); nothing else touches the array.

#include <cstdint>
#include <optional>
#include <vector>

namespace mekra::milp {

struct QueueEntry {
    double key;
    std::uint64_t node;  // index into the search's node list
};

class NodeQueue {
public:
    void push(double key, std::uint64_t node);
    // The entry with the smallest key, or none when the queue is empty.
    std::optional<QueueEntry> pop();

    bool empty() const { return heap_.empty(); }
    std::size_t size() const { return heap_.size(); }
    // The queued entries in heap order (for inspecting what a cut-short search left open).
    const std::vector<QueueEntry>& entries() const { return heap_; }

private:
    std::vector<QueueEntry> heap_;
};

}  // namespace mekra::milp
