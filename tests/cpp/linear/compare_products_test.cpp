#include <gmp.h>
#include <gtest/gtest.h>

#include <random>

#include "linear/gmp_integers.hpp"

namespace mekra::linear {
namespace {

struct Z {
    mpz_t z;
    Z() { mpz_init(z); }
    ~Z() { mpz_clear(z); }
    Z(const Z&) = delete;
    Z& operator=(const Z&) = delete;
};

int exact_order(mpz_srcptr a, mpz_srcptr b, mpz_srcptr c, mpz_srcptr d) {
    Z left, right;
    mpz_mul(left.z, a, b);
    mpz_mul(right.z, c, d);
    const int order = mpz_cmp(left.z, right.z);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

// Random factors of 0 to 600 bits, signs and zeros included, and products built to be equal or
// one apart, where only the exact comparison can tell.
TEST(CompareProducts, AgreesWithTheExactProducts) {
    std::mt19937_64 rng(8128);
    gmp_randstate_t state;
    gmp_randinit_mt(state);
    gmp_randseed_ui(state, 8128);
    Z a, b, c, d, s1, s2;
    const auto random_integer = [&](mpz_ptr out) {
        const unsigned long bits = rng() % 8 == 0 ? 0 : 1 + rng() % 600;
        mpz_urandomb(out, state, bits);
        if (rng() % 2) mpz_neg(out, out);
    };
    int close = 0;
    for (int i = 0; i < 20000; ++i) {
        random_integer(a.z);
        random_integer(b.z);
        switch (i % 4) {
            case 0:  // unrelated
                random_integer(c.z);
                random_integer(d.z);
                break;
            case 1:  // equal products from other factors: a * b = (a * k) * (b / k)
                mpz_mul_ui(c.z, a.z, 6);
                mpz_mul_ui(d.z, b.z, 6);
                mpz_swap(a.z, c.z);  // (6a) * b against a * (6b)
                break;
            case 2:  // one apart
                mpz_set(c.z, a.z);
                mpz_add_ui(d.z, b.z, 1);
                break;
            case 3:  // the same leading digits, a tiny difference far below them
                mpz_mul_2exp(a.z, a.z, 300);
                mpz_add_ui(c.z, a.z, 1);
                mpz_set(d.z, b.z);
                break;
        }
        const int expected = exact_order(a.z, b.z, c.z, d.z);
        ASSERT_EQ(compare_products(a.z, b.z, c.z, d.z, s1.z, s2.z), expected) << "case " << i;
        ASSERT_EQ(compare_products(c.z, d.z, a.z, b.z, s1.z, s2.z), -expected) << "case " << i;
        close += i % 4 != 0;
    }
    gmp_randclear(state);
    RecordProperty("close", close);
}

}  // namespace
}  // namespace mekra::linear
