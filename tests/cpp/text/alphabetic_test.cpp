#include "text/alphabetic.hpp"

#include <gtest/gtest.h>

namespace mekra::text {
namespace {

TEST(AlphabeticTest, SpotChecks) {
    const char32_t yes[] = {U'A', U'Z', U'a', U'z', 0xAA, 0xE9, 0x345, 0x2167, 0x4E2D, 0x3134A, 0x323AF};
    const char32_t no[] = {0,    U'0', U'9',   U'_',    U'@',    U'[',     U'`',    U'{',
                           0xB2, 0xD7, 0xFF11, 0x1F600, 0x3134B, 0x10FFFF, 0x110000};
    for (char32_t cp : yes) EXPECT_TRUE(is_alphabetic(cp)) << static_cast<unsigned>(cp);
    for (char32_t cp : no) EXPECT_FALSE(is_alphabetic(cp)) << static_cast<unsigned>(cp);
}

}  // namespace
}  // namespace mekra::text
