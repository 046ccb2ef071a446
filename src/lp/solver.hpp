#pragma once
// Two-phase simplex over exact rationals.
//
// INTERFACE SKETCH: implementation in solver.cpp (with the tableau in tableau.hpp/.cpp);
// keep the names used here.

#include <cstdint>
#include <optional>
#include <vector>

#include "module/outcome.hpp"
#include "parser/lp_format.hpp"

namespace mekra {

// A variable column of the last solve: a structural column carries its VarId; a slack or
// surplus column of constraint i carries 1000 + i, an artificial column 2000 + i.
struct ColumnLabel {
    std::uint64_t id;
    bool structural;
};

class LpSolver {
public:
    LpSolver() = default;
    void load(LinearProgram program);
    // Runs the two-phase simplex on the loaded program. Never throws for numeric reasons:
    // an exact value that does not fit 64 bits gives Unknown(NumericalIssue).
    LpOutcome solve();
    const std::vector<ColumnLabel>& labels() const { return labels_; }

private:
    std::optional<LinearProgram> program_;
    std::vector<ColumnLabel> labels_;
};

}  // namespace mekra
