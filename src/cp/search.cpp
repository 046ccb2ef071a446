#include "cp/search.hpp"

#include <string>
#include <variant>
#include <vector>

#include "core/invariant.hpp"

namespace mekra::cp {

namespace {

// The open variable with the smallest domain, lowest index first on ties: a tournament tree
// over the variables, refreshed only along the paths of variables whose bounds changed.
class BranchChoice {
public:
    explicit BranchChoice(const CpStore& store) : store_(store) {
        leaves_ = 1;
        while (leaves_ < store.size()) leaves_ *= 2;
        tree_.assign(2 * leaves_, none);
        for (std::size_t v = 0; v < store.size(); ++v) tree_[leaves_ + v] = v;
        for (std::size_t node = leaves_ - 1; node >= 1; --node)
            tree_[node] = better(tree_[2 * node], tree_[2 * node + 1]);
    }

    void refresh(std::size_t var) {
        // The variable's key changed, so every match on its path is replayed.
        for (std::size_t node = (leaves_ + var) / 2; node >= 1; node /= 2) {
            tree_[node] = better(tree_[2 * node], tree_[2 * node + 1]);
        }
    }

    // The variable to branch on, or none when every domain is fixed (or empty).
    std::size_t best() const {
        if (store_.size() == 0) return none;
        std::size_t winner = tree_[1];  // a leaf itself when there is one variable
        return key(winner) == ~UInt128{0} ? none : winner;
    }

    static constexpr std::size_t none = SIZE_MAX;

private:
    // Key: hi - lo as an unsigned number (the size minus one, never wrapping), past every
    // size for a fixed or empty domain.
    UInt128 key(std::size_t var) const {
        if (var == none) return ~UInt128{0};
        const Domain& d = store_.domain(var);
        if (d.lo >= d.hi) return ~UInt128{0};
        return static_cast<std::uint64_t>(d.hi) - static_cast<std::uint64_t>(d.lo);
    }
    std::size_t better(std::size_t left, std::size_t right) const {
        UInt128 l = key(left), r = key(right);
        if (l == ~UInt128{0} && r == ~UInt128{0}) return none;
        return r < l ? right : left;  // the left one is the lower index
    }

    const CpStore& store_;
    std::size_t leaves_;
    std::vector<std::size_t> tree_;
};

// One branching level: the variable, the value being tried, the last value, and the trail
// mark to restore before the next value.
struct Level {
    std::size_t var;
    std::int64_t value;
    std::int64_t last;
    std::size_t mark;
};

Model solution(const CpStore& store) {
    Model model;
    model.reserve(store.size());
    for (std::size_t v = 0; v < store.size(); ++v) {
        model.push_back({v, ModelValue::integer(store.domain(v).lo)});
    }
    return model;
}

}  // namespace

std::optional<Model> search(CpStore& store) {
    if (!propagate(store)) return std::nullopt;
    BranchChoice choice(store);
    store.drain_touched([](std::size_t) {});
    std::vector<Level> levels;

    // Tries the current value of the top level; false when propagation fails.
    auto descend = [&]() {
        Level& top = levels.back();
        store.new_branch();
        store.assign(top.var, top.value);
        return store.run_queue();
    };
    // Restores the top level and moves it to its next value, dropping exhausted levels;
    // false when no level is left.
    auto next_value = [&]() {
        while (!levels.empty()) {
            Level& top = levels.back();
            store.undo_to(top.mark);
            if (top.value < top.last) {
                ++top.value;
                return true;
            }
            levels.pop_back();
        }
        return false;
    };

    bool consistent = true;  // the store is at a fixpoint that did not fail
    for (;;) {
        if (consistent) {
            store.drain_touched([&](std::size_t var) { choice.refresh(var); });
            std::size_t var = choice.best();
            if (var == BranchChoice::none) {
                // Every domain is fixed (no empty one survives a search: see CpStore). The
                // exact check guards the answer; a leaf that fails it is skipped.
                if (store.satisfied_by_fixed()) return solution(store);
            } else {
                const Domain& d = store.domain(var);
                levels.push_back({var, d.lo, d.hi, store.trail_mark()});
                consistent = descend();
                continue;
            }
        }
        if (!next_value()) return std::nullopt;
        consistent = descend();
    }
}

}  // namespace mekra::cp
