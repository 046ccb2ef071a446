#include "lp/float_basis.hpp"

#include <Clp_C_Interface.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <memory>

namespace mekra::lp {

namespace {

// CLP's status of a column or row activity that is basic.
constexpr int CLP_BASIC = 1;
// CLP reads magnitudes from 1e30 on as infinite; such programs, and those with values beyond
// the double range, are left to the exact simplex alone.
constexpr double LARGEST_FINITE = 1e29;

bool usable(double value) { return std::isfinite(value) && std::fabs(value) <= LARGEST_FINITE; }

struct ClpDeleter {
    void operator()(Clp_Simplex* model) const { Clp_deleteModel(model); }
};

// Whether the optimum found looks like the only optimal vertex: restricted to (a rounded view
// of) the optimal face, minimising a positive weight of the variables lands on the same point.
// Another optimal vertex would usually win; a ray of optimal solutions would not, as it raises
// some variable. Exact checks follow either way: this only spares them where they would fail.
bool looks_unique(Clp_Simplex* model, const std::vector<double>& objective) {
    const int n = Clp_numberColumns(model);
    const int m = Clp_numberRows(model);
    const double* solution = Clp_primalColumnSolution(model);
    const std::vector<double> optimum(solution, solution + n);
    double cost_scale = 1.0;
    for (double c : objective) cost_scale = std::max(cost_scale, std::fabs(c));
    const double zero = 1e-9 * cost_scale;
    // The face: non-basic columns with a non-zero reduced cost stay at zero, and rows with a
    // non-zero dual at their bound.
    const double* reduced = Clp_dualColumnSolution(model);
    std::vector<double> column_upper(Clp_getColUpper(model), Clp_getColUpper(model) + n);
    for (int j = 0; j < n; ++j)
        if (Clp_getColumnStatus(model, j) != CLP_BASIC && std::fabs(reduced[j]) > zero) column_upper[j] = 0.0;
    const double* dual = Clp_dualRowSolution(model);
    std::vector<double> row_lower(Clp_getRowLower(model), Clp_getRowLower(model) + m);
    std::vector<double> row_upper(Clp_getRowUpper(model), Clp_getRowUpper(model) + m);
    for (int i = 0; i < m; ++i) {
        if (Clp_getRowStatus(model, i) == CLP_BASIC || std::fabs(dual[i]) <= zero) continue;
        if (row_lower[i] < -LARGEST_FINITE)
            row_lower[i] = row_upper[i];
        else if (row_upper[i] > LARGEST_FINITE)
            row_upper[i] = row_lower[i];
    }
    Clp_chgColumnUpper(model, column_upper.data());
    Clp_chgRowLower(model, row_lower.data());
    Clp_chgRowUpper(model, row_upper.data());
    // Two weightings in [1, 2), fixed so that the guess is the same on every run, the second
    // preferring what the first avoids.
    std::vector<double> weight(n);
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (double& w : weight) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        w = 1.0 + static_cast<double>(state >> 11) * 0x1.0p-53;
    }
    Clp_setOptimizationDirection(model, 1.0);
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            for (double& w : weight) w = 3.0 - w;
        Clp_chgObjCoefficients(model, weight.data());
        Clp_setNumberIterations(model, 0);
        Clp_primal(model, 0);
        if (Clp_status(model) != 0) return false;
        const double* other = Clp_primalColumnSolution(model);
        for (int j = 0; j < n; ++j)
            if (std::fabs(other[j] - optimum[j]) > 1e-7 * (1.0 + std::fabs(optimum[j]))) return false;
    }
    return true;
}

}  // namespace

std::optional<std::vector<std::size_t>> float_optimal_basis(const LinearProgram& program,
                                                            std::span<const Constraint> extra,
                                                            std::span<const std::size_t> row_columns,
                                                            bool screen) {
    const std::size_t n = program.variables.size();
    const std::size_t own = program.constraints.size();
    const std::size_t m = own + extra.size();
    if (row_columns.size() != m || n > INT32_MAX || m > INT32_MAX) return std::nullopt;
    const auto constraint = [&](std::size_t i) -> const Constraint& {
        return i < own ? program.constraints[i] : extra[i - own];
    };

    // Column-major matrix; constraint i reads sum(a * x) REL -constant.
    std::vector<CoinBigIndex> start(n + 1, 0);
    for (std::size_t i = 0; i < m; ++i)
        for (const Term& term : constraint(i).expr.terms)
            if (term.var < n) ++start[term.var + 1];
    for (std::size_t j = 0; j < n; ++j) start[j + 1] += start[j];
    std::vector<int> index(static_cast<std::size_t>(start[n]));
    std::vector<double> value(index.size());
    std::vector<CoinBigIndex> next(start.begin(), start.end() - 1);
    std::vector<double> row_lower(m), row_upper(m);
    for (std::size_t i = 0; i < m; ++i) {
        const Constraint& c = constraint(i);
        for (const Term& term : c.expr.terms) {
            if (term.var >= n) return std::nullopt;
            const auto at = static_cast<std::size_t>(next[term.var]++);
            index[at] = static_cast<int>(i);
            value[at] = term.coefficient.to_f64();
            if (!usable(value[at])) return std::nullopt;
        }
        const double rhs = (-c.expr.constant).to_f64();
        if (!usable(rhs)) return std::nullopt;
        row_lower[i] = c.relation == Relation::Le ? -DBL_MAX : rhs;
        row_upper[i] = c.relation == Relation::Ge ? DBL_MAX : rhs;
    }
    std::vector<double> objective(n, 0.0);
    if (program.objective)
        for (const Term& term : program.objective->expr.terms)
            if (term.var < n) objective[term.var] = term.coefficient.to_f64();
    for (double c : objective)
        if (!usable(c)) return std::nullopt;
    std::vector<double> column_lower(n, 0.0), column_upper(n, DBL_MAX);

    // CLP reports its own failures by C++ exceptions; the guess is then simply not made.
    try {
        std::unique_ptr<Clp_Simplex, ClpDeleter> model(Clp_newModel());
        if (!model) return std::nullopt;
        Clp_setLogLevel(model.get(), 0);
        Clp_loadProblem(model.get(), static_cast<int>(n), static_cast<int>(m), start.data(), index.data(),
                        value.data(), column_lower.data(), column_upper.data(), objective.data(),
                        row_lower.data(), row_upper.data());
        Clp_setOptimizationDirection(
            model.get(), program.objective && program.objective->sense == Sense::Maximize ? -1.0 : 1.0);
        // Tight tolerances: a basis that is optimal only within looser ones fails the exact checks.
        Clp_setPrimalTolerance(model.get(), 1e-10);
        Clp_setDualTolerance(model.get(), 1e-10);
        // A bound on the work of a guess that may be thrown away.
        Clp_setMaximumIterations(model.get(),
                                 static_cast<int>(std::min<std::size_t>(INT32_MAX, 20 * (n + m) + 1000)));
        // The dual simplex without presolve: CoinUtils' presolve leaks a few hundred bytes on
        // some programs, and the automatic choice without it proposes worse bases.
        Clp_dual(model.get(), 0);
        if (Clp_status(model.get()) != 0 || !Clp_isProvenOptimal(model.get())) return std::nullopt;

        std::vector<std::size_t> basic;
        basic.reserve(m);
        for (std::size_t j = 0; j < n; ++j)
            if (Clp_getColumnStatus(model.get(), static_cast<int>(j)) == CLP_BASIC) basic.push_back(j);
        for (std::size_t i = 0; i < m; ++i)
            if (Clp_getRowStatus(model.get(), static_cast<int>(i)) == CLP_BASIC)
                basic.push_back(row_columns[i]);
        if (basic.size() != m) return std::nullopt;
        std::sort(basic.begin(), basic.end());
        if (screen && !looks_unique(model.get(), objective)) return std::nullopt;
        return basic;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace mekra::lp
