#include "milp/node_queue.hpp"

namespace mekra::milp {

void NodeQueue::push(double key, std::uint64_t node) {
    heap_.push_back({key, node});
    std::size_t i = heap_.size() - 1;
    while (i > 0) {
        const std::size_t parent = (i - 1) / 2;
        if (!(key < heap_[parent].key)) break;
        heap_[i] = heap_[parent];
        i = parent;
    }
    heap_[i] = {key, node};
}

std::optional<QueueEntry> NodeQueue::pop() {
    if (heap_.empty()) return std::nullopt;
    const QueueEntry result = heap_.front();
    const QueueEntry last = heap_.back();
    heap_.pop_back();
    const std::size_t n = heap_.size();
    if (n == 0) return result;

    // Walk the hole from the root down to the bottom level.
    std::size_t hole = 0;
    while (2 * hole + 2 < n) {
        const std::size_t left = 2 * hole + 1;
        const std::size_t right = left + 1;
        const std::size_t child = heap_[left].key < heap_[right].key ? left : right;
        heap_[hole] = heap_[child];
        hole = child;
    }
    if (2 * hole + 1 < n) {
        heap_[hole] = heap_[2 * hole + 1];
        hole = 2 * hole + 1;
    }
    // Put the former last pair back, lifting it while it is strictly smaller than its parent.
    while (hole > 0) {
        const std::size_t parent = (hole - 1) / 2;
        if (!(last.key < heap_[parent].key)) break;
        heap_[hole] = heap_[parent];
        hole = parent;
    }
    heap_[hole] = last;
    return result;
}

}  // namespace mekra::milp
