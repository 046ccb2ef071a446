#pragma once
// A floating-point simplex (COIN-OR CLP) proposes an optimal basis of a program. Its answer is
// only a guess: rounding can make it wrong, and nothing is reported from it before the exact
// tableau has confirmed it (see LpSolver::solve_by_unique_vertex).

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "lp/program.hpp"

namespace mekra::lp {

// The basic columns (ascending, one per constraint) of an optimal basis of `program` with
// `extra` appended, as the floating-point simplex sees it: the program's variables are columns
// 0..n-1 and constraint i's row activity is the column `row_columns[i]`. None when that
// simplex does not end optimal, or, with `screen`, when its optimum does not look like the
// only optimal vertex.
std::optional<std::vector<std::size_t>> float_optimal_basis(const LinearProgram& program,
                                                            std::span<const Constraint> extra,
                                                            std::span<const std::size_t> row_columns,
                                                            bool screen);

}  // namespace mekra::lp
