#include "milp/node_queue.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace mekra::milp {
namespace {

std::vector<std::uint64_t> drain(NodeQueue& queue) {
    std::vector<std::uint64_t> order;
    while (std::optional<QueueEntry> top = queue.pop()) order.push_back(top->node);
    return order;
}

TEST(NodeQueue, EmptyPopsNothing) {
    NodeQueue queue;
    EXPECT_FALSE(queue.pop().has_value());
}

TEST(NodeQueue, SmallestKeyFirst) {
    NodeQueue queue;
    const double keys[] = {5.0, 3.0, 8.0, 1.0, 4.0, -2.0, 7.0};
    for (std::uint64_t i = 0; i < 7; ++i) queue.push(keys[i], i);
    EXPECT_EQ(drain(queue), (std::vector<std::uint64_t>{5, 3, 1, 4, 0, 6, 2}));
}

// Equal keys: the hole walks down promoting the right child, and the last pair fills the
// bottom hole, so four equal pushes a, b, c, d come out a, c, b, d.
TEST(NodeQueue, EqualKeysPromoteTheRightChild) {
    NodeQueue queue;
    for (std::uint64_t i = 0; i < 4; ++i) queue.push(1.0, i);
    EXPECT_EQ(drain(queue), (std::vector<std::uint64_t>{0, 2, 1, 3}));
}

TEST(NodeQueue, EqualKeysSevenEntries) {
    // Heap [0..6]. Pop 0: the hole goes 0 -> 2 -> 5 (2's only child), 6 fills it: [2,1,5,3,4,6].
    // Pop 2: hole 0 -> 2, 6 fills it: [5,1,6,3,4]. Pop 5: [6,1,4,3]. Pop 6: [4,1,3].
    // Pop 4: the hole has one child (1), 3 fills its place: [1,3]. Then 1, then 3.
    NodeQueue queue;
    for (std::uint64_t i = 0; i < 7; ++i) queue.push(0.5, i);
    EXPECT_EQ(drain(queue), (std::vector<std::uint64_t>{0, 2, 5, 6, 4, 1, 3}));
}

TEST(NodeQueue, PushDoesNotPassAnEqualParent) {
    NodeQueue queue;
    queue.push(2.0, 0);
    queue.push(1.0, 1);
    queue.push(1.0, 2);  // parent (node 1) has an equal key: stays below it
    EXPECT_EQ(queue.entries()[0].node, 1u);
    EXPECT_EQ(queue.entries()[2].node, 2u);
    EXPECT_EQ(drain(queue), (std::vector<std::uint64_t>{1, 2, 0}));
}

// Interleaved pushes and pops against a literal transcription of the two procedures.
TEST(NodeQueue, MatchesLiteralHeapOnMixedOperations) {
    std::vector<QueueEntry> literal;
    auto literal_push = [&](double key, std::uint64_t node) {
        literal.push_back({key, node});
        std::size_t i = literal.size() - 1;
        while (i > 0 && key < literal[(i - 1) / 2].key) {
            std::swap(literal[i], literal[(i - 1) / 2]);
            i = (i - 1) / 2;
        }
    };
    auto literal_pop = [&]() {
        QueueEntry result = literal[0];
        QueueEntry last = literal.back();
        literal.pop_back();
        if (literal.empty()) return result;
        std::size_t hole = 0, n = literal.size();
        for (;;) {
            std::size_t l = 2 * hole + 1, r = l + 1;
            if (r < n) {
                std::size_t c = literal[r].key <= literal[l].key ? r : l;
                literal[hole] = literal[c];
                hole = c;
            } else if (l < n) {
                literal[hole] = literal[l];
                hole = l;
                break;
            } else {
                break;
            }
        }
        while (hole > 0 && last.key < literal[(hole - 1) / 2].key) {
            literal[hole] = literal[(hole - 1) / 2];
            hole = (hole - 1) / 2;
        }
        literal[hole] = last;
        return result;
    };

    NodeQueue queue;
    std::uint64_t state = 12345;
    std::uint64_t next = 0;
    for (int step = 0; step < 3000; ++step) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const bool push = literal.empty() || (state >> 33) % 5 < 3;
        if (push) {
            const double key = static_cast<double>((state >> 40) % 4);  // many ties
            literal_push(key, next);
            queue.push(key, next);
            ++next;
        } else {
            const QueueEntry expected = literal_pop();
            const std::optional<QueueEntry> got = queue.pop();
            ASSERT_TRUE(got.has_value());
            ASSERT_EQ(got->node, expected.node) << "step " << step;
        }
    }
}

}  // namespace
}  // namespace mekra::milp
