#pragma once
// Test-only formulas: random DIMACS clause lists with the awkward cases mixed in: empty clauses,
// units, duplicate and complementary literals, variables that never occur; and pigeonholes.

#include <cstdint>
#include <random>
#include <vector>

namespace random_cnf {

using Clauses = std::vector<std::vector<std::int32_t>>;

inline Clauses generate(std::mt19937_64& rng, int max_vars) {
    std::uniform_int_distribution<int> var_count(1, max_vars);
    const int vars = var_count(rng);
    std::uniform_real_distribution<double> ratio(1.0, 7.0);
    const int clause_count = static_cast<int>(ratio(rng) * vars) + 1;
    std::uniform_int_distribution<int> pick_var(1, vars);
    std::uniform_int_distribution<int> percent(0, 99);
    Clauses clauses;
    for (int k = 0; k < clause_count; ++k) {
        const int p = percent(rng);
        int length = p < 1 ? 0 : p < 6 ? 1 : p < 20 ? 2 : p < 75 ? 3 : 4 + percent(rng) % 3;
        std::vector<std::int32_t> clause;
        for (int i = 0; i < length; ++i) {
            const int q = percent(rng);
            if (!clause.empty() && q < 5) {
                clause.push_back(clause[percent(rng) % clause.size()]);  // duplicate
            } else if (!clause.empty() && q < 10) {
                clause.push_back(-clause[percent(rng) % clause.size()]);  // complement
            } else {
                const int v = pick_var(rng);
                clause.push_back(percent(rng) < 50 ? v : -v);
            }
        }
        clauses.push_back(std::move(clause));
    }
    return clauses;
}

// n + 1 pigeons into n holes (unsatisfiable when pigeons > holes).
inline Clauses pigeonhole(int pigeons, int holes) {
    auto var = [&](int p, int h) { return p * holes + h + 1; };
    Clauses clauses;
    for (int p = 0; p < pigeons; ++p) {
        std::vector<std::int32_t> some;
        for (int h = 0; h < holes; ++h) some.push_back(var(p, h));
        clauses.push_back(some);
    }
    for (int h = 0; h < holes; ++h)
        for (int p = 0; p < pigeons; ++p)
            for (int q = p + 1; q < pigeons; ++q) clauses.push_back({-var(p, h), -var(q, h)});
    return clauses;
}

}  // namespace random_cnf
