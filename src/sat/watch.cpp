#include "sat/watch.hpp"

#include <algorithm>
#include <utility>

namespace mekra::sat {

void Watches::remove_first(std::uint32_t code, ClauseIndex c) {
    auto& list = lists_[code];
    auto it = std::find(list.begin(), list.end(), c);
    check_invariant(it != list.end(), "clause missing from the watch list it is removed from");
    *it = list.back();
    list.pop_back();
}

// A clause watches exactly two literals (possibly the same one twice), so it occurs at most
// twice in one list: two position slots per clause make "first occurrence" a constant-time
// lookup while the removals are replayed.
void Watches::remove_each_first(std::uint32_t code, std::span<const ClauseIndex> removed) {
    auto& list = lists_[code];
    check_invariant(list.size() < NONE, "watch list too long");
    for (std::size_t j = 0; j < list.size(); ++j) {
        const ClauseIndex c = list[j];
        if (c >= positions_.size()) positions_.resize(static_cast<std::size_t>(c) + 1, {NONE, NONE});
        auto& slots = positions_[c];
        if (slots[0] == NONE) {
            slots[0] = static_cast<std::uint32_t>(j);
        } else {
            check_invariant(slots[1] == NONE, "clause watched more than twice by one literal");
            slots[1] = static_cast<std::uint32_t>(j);
        }
    }
    std::size_t size = list.size();
    for (ClauseIndex c : removed) {
        check_invariant(c < positions_.size() && positions_[c][0] != NONE && size > 0,
                        "clause missing from the watch list it is removed from");
        auto& slots = positions_[c];
        const std::uint32_t hole = slots[0];
        slots[0] = slots[1];
        slots[1] = NONE;
        const auto last = static_cast<std::uint32_t>(size - 1);
        if (hole != last) {
            const ClauseIndex moved = list[last];
            list[hole] = moved;
            auto& moved_slots = positions_[moved];
            moved_slots[moved_slots[0] == last ? 0 : 1] = hole;
            if (moved_slots[1] != NONE && moved_slots[1] < moved_slots[0]) std::swap(moved_slots[0], moved_slots[1]);
        }
        --size;
    }
    for (std::size_t j = 0; j < list.size(); ++j) positions_[list[j]] = {NONE, NONE};
    list.resize(size);
}

}  // namespace mekra::sat
