// Which arbitrary-precision rationals to build on: GMP's mpq_t against Boost.Multiprecision's
// cpp_rational (header-only cpp_int), on the work the simplex does with large values: a full
// Gauss-Jordan elimination of dense n x n matrices of six-place decimals (the Netlib data's
// kind), entry := entry - f * p with a division of the pivot row. Both compute the same exact
// values (checked at the end); the time per elimination is printed for each size.
//
//   g++ -std=c++20 -O2 bench/bignum_compare.cpp -lgmp -o build/bignum_compare   (Debian libboost-dev)

#include <gmp.h>

#include <boost/multiprecision/cpp_int.hpp>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using boost::multiprecision::cpp_rational;

std::vector<std::vector<std::string>> random_matrix(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::vector<std::string>> m(n, std::vector<std::string>(n + 1));
    for (auto& row : m)
        for (auto& cell : row)
            cell = std::to_string(static_cast<int>(rng() % 2000001) - 1000000) + "/1000000";
    return m;
}

template <class F>
double seconds(F f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main() {
    for (int n : {10, 20, 30, 40}) {
        const auto text = random_matrix(n, 7 + n);
        std::vector<std::vector<cpp_rational>> b(n, std::vector<cpp_rational>(n + 1));
        std::vector<std::vector<__mpq_struct>> g(n, std::vector<__mpq_struct>(n + 1));
        for (int i = 0; i < n; ++i)
            for (int j = 0; j <= n; ++j) {
                b[i][j] = cpp_rational(text[i][j]);
                mpq_init(&g[i][j]);
                mpq_set_str(&g[i][j], text[i][j].c_str(), 10);
                mpq_canonicalize(&g[i][j]);
            }
        const double boost_time = seconds([&] {
            for (int r = 0; r < n; ++r) {
                const cpp_rational p = b[r][r];
                for (int j = 0; j <= n; ++j) b[r][j] /= p;
                for (int i = 0; i < n; ++i) {
                    if (i == r || b[i][r] == 0) continue;
                    const cpp_rational f = b[i][r];
                    for (int j = 0; j <= n; ++j) b[i][j] -= f * b[r][j];
                }
            }
        });
        mpq_t p, f, t;
        mpq_inits(p, f, t, nullptr);
        const double gmp_time = seconds([&] {
            for (int r = 0; r < n; ++r) {
                mpq_set(p, &g[r][r]);
                for (int j = 0; j <= n; ++j) mpq_div(&g[r][j], &g[r][j], p);
                for (int i = 0; i < n; ++i) {
                    if (i == r || mpq_sgn(&g[i][r]) == 0) continue;
                    mpq_set(f, &g[i][r]);
                    for (int j = 0; j <= n; ++j) {
                        mpq_mul(t, f, &g[r][j]);
                        mpq_sub(&g[i][j], &g[i][j], t);
                    }
                }
            }
        });
        bool same = true;
        for (int i = 0; i < n; ++i) {
            char* s = mpq_get_str(nullptr, 10, &g[i][n]);
            same = same && b[i][n].str() == s;
            free(s);
        }
        std::printf("n = %2d: GMP %9.3f ms, Boost cpp_rational %9.3f ms, Boost/GMP %5.1fx, same values: %s\n",
                    n, gmp_time * 1e3, boost_time * 1e3, boost_time / gmp_time, same ? "yes" : "NO");
        mpq_clears(p, f, t, nullptr);
        for (auto& row : g)
            for (auto& cell : row) mpq_clear(&cell);
    }
}
