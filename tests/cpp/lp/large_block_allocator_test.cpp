#include "lp/large_block_allocator.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "linear/rational.hpp"

namespace mekra::lp {
namespace {

using linear::Rational;
constexpr std::size_t MIB = std::size_t{1} << 20;

TEST(LargeBlockCache, ReusesAFreedBlockOfTheSameSizeOnly) {
    LargeBlockCache::release_all();
    void* first = LargeBlockCache::take(4 * MIB);
    LargeBlockCache::give_back(first, 4 * MIB);
    EXPECT_EQ(LargeBlockCache::kept_bytes(), 4 * MIB);
    void* other_size = LargeBlockCache::take(6 * MIB);
    EXPECT_NE(other_size, first);
    void* same_size = LargeBlockCache::take(4 * MIB);
    EXPECT_EQ(same_size, first);
    EXPECT_EQ(LargeBlockCache::kept_bytes(), 0u);
    LargeBlockCache::give_back(other_size, 6 * MIB);
    LargeBlockCache::give_back(same_size, 4 * MIB);
    LargeBlockCache::release_all();
    EXPECT_EQ(LargeBlockCache::kept_bytes(), 0u);
}

TEST(LargeBlockCache, KeepsNoMoreThanItsLimitDroppingTheOldestFirst) {
    LargeBlockCache::release_all();
    const std::size_t third =
        LargeBlockCache::KEPT_BYTES / 3 / LargeBlockCache::HUGE_PAGE * LargeBlockCache::HUGE_PAGE;
    std::vector<void*> blocks;
    for (int i = 0; i < 4; ++i) blocks.push_back(LargeBlockCache::take(third));
    for (void* block : blocks) {
        LargeBlockCache::give_back(block, third);
        EXPECT_LE(LargeBlockCache::kept_bytes(), LargeBlockCache::KEPT_BYTES);
    }
    EXPECT_EQ(LargeBlockCache::kept_bytes(), 3 * third);
    // The newest comes back first; the oldest was freed.
    EXPECT_EQ(LargeBlockCache::take(third), blocks[3]);
    LargeBlockCache::give_back(blocks[3], third);
    // A block beyond the limit is never kept.
    void* huge = LargeBlockCache::take(LargeBlockCache::KEPT_BYTES + LargeBlockCache::HUGE_PAGE);
    LargeBlockCache::give_back(huge, LargeBlockCache::KEPT_BYTES + LargeBlockCache::HUGE_PAGE);
    EXPECT_EQ(LargeBlockCache::kept_bytes(), 3 * third);
    LargeBlockCache::release_all();
}

// A reused block holds the previous user's values; a new vector still starts from zeros.
TEST(LargeBlockAllocator, AReusedBlockStartsFromConstructedElements) {
    LargeBlockCache::release_all();
    const std::size_t count = 3 * MIB / sizeof(Rational);
    const Rational* first_data = nullptr;
    {
        std::vector<Rational, LargeBlockAllocator<Rational>> cells(count);
        for (std::size_t i = 0; i < count; i += 97) cells[i] = Rational::integer(-7);
        first_data = cells.data();
    }
    std::vector<Rational, LargeBlockAllocator<Rational>> again(count);
    EXPECT_EQ(again.data(), first_data);
    for (std::size_t i = 0; i < count; i += 97) ASSERT_TRUE(again[i].is_zero()) << i;
    // Small vectors do not go through the cache.
    std::vector<Rational, LargeBlockAllocator<Rational>> small(10);
    EXPECT_TRUE(small[3].is_zero());
}

}  // namespace
}  // namespace mekra::lp
