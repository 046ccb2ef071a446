#pragma once
// Test oracle: the two-phase simplex written out literally on a dense tableau, every entry
// of every row visited in ascending order, no sparsity and no reuse. The production solver
// must give exactly its answers (outcome, model, objective, labels).

#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

#include "lp/solver.hpp"

namespace mekra::lp::testing {

struct LiteralOptions {
    bool anti_cycling = true;
    // Pivots allowed in one simplex loop before giving up with ResourceLimit (only to show
    // that a program cycles without the anti-cycling rule).
    std::size_t max_pivots = std::numeric_limits<std::size_t>::max();
};

class LiteralSimplex {
public:
    explicit LiteralSimplex(LiteralOptions options = {}) : options_(options) {}

    LpOutcome solve(const LinearProgram& program) { return run(program); }
    const std::vector<ColumnLabel>& labels() const { return labels_; }
    // Every pivot of the last solve, the artificial columns' drive-out included.
    std::size_t pivots() const { return pivots_; }

private:
    using Row = std::vector<Rational>;
    enum class End { Optimal, NoLeavingRow, Limit };

    LiteralOptions options_;
    std::vector<ColumnLabel> labels_;
    std::size_t pivots_ = 0;
    std::vector<Row> rows_;
    std::vector<std::optional<std::size_t>> basis_;
    std::size_t cols_ = 0;

    std::size_t rhs() const { return cols_ - 1; }

    std::optional<std::size_t> entering(const std::vector<bool>& excluded, bool bland) const {
        std::optional<std::size_t> kept;
        for (std::size_t j = 0; j + 1 < cols_; ++j) {
            if (excluded[j] || !rows_[0][j].is_positive()) continue;
            if (!kept) {
                kept = j;
                if (bland) break;
            } else if (rows_[0][j] > rows_[0][*kept]) {
                kept = j;
            }
        }
        return kept;
    }

    std::optional<std::size_t> leaving(std::size_t c, bool bland) const {
        std::optional<std::size_t> kept;
        Rational kept_ratio;
        for (std::size_t i = 1; i < rows_.size(); ++i) {
            if (!rows_[i][c].is_positive()) continue;
            const Rational ratio = rows_[i][rhs()] / rows_[i][c];
            bool take = !kept || ratio < kept_ratio;
            if (kept && bland && ratio == kept_ratio) take = *basis_[i] < *basis_[*kept];
            if (take) {
                kept = i;
                kept_ratio = ratio;
            }
        }
        if (!kept || !basis_[*kept]) return std::nullopt;
        return kept;
    }

    void pivot(std::size_t r, std::size_t c) {
        const Rational p = rows_[r][c];
        if (p.is_zero()) throw std::logic_error("pivot value is zero");
        ++pivots_;
        for (std::size_t j = 0; j < cols_; ++j) rows_[r][j] = rows_[r][j] / p;
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (i == r) continue;
            const Rational f = rows_[i][c];
            if (f.is_zero()) continue;
            for (std::size_t j = 0; j < cols_; ++j) rows_[i][j] = rows_[i][j] - f * rows_[r][j];
        }
        basis_[r] = c;
    }

    void subtract_from_row0(Rational f, std::size_t r) {
        for (std::size_t j = 0; j < cols_; ++j) rows_[0][j] = rows_[0][j] - f * rows_[r][j];
    }

    End loop(const std::vector<bool>& excluded) {
        int unchanged = 0;
        for (std::size_t pivots = 0;; ++pivots) {
            const bool bland = options_.anti_cycling && unchanged >= 50;
            const auto c = entering(excluded, bland);
            if (!c) return End::Optimal;
            const auto r = leaving(*c, bland);
            if (!r) return End::NoLeavingRow;
            if (pivots == options_.max_pivots) return End::Limit;
            const Rational before = rows_[0][rhs()];
            pivot(*r, *c);
            unchanged = rows_[0][rhs()] == before ? unchanged + 1 : 0;
        }
    }

    LpOutcome run(const LinearProgram& program) {
        pivots_ = 0;
        const LinearProgram copy = program;
        const std::size_t n = copy.variables.size();
        const std::size_t m = copy.constraints.size();
        // Step 3: right-hand sides made non-negative.
        std::vector<Constraint> prepared;
        std::vector<Rational> b(m);
        std::vector<bool> flipped(m, false);
        for (std::size_t i = 0; i < m; ++i) {
            Constraint c = copy.constraints[i];
            b[i] = -c.expr.constant;
            if (b[i].is_negative()) {
                flipped[i] = true;
                b[i] = -b[i];
                for (Term& t : c.expr.terms) t.coefficient = -t.coefficient;
            }
            prepared.push_back(c);
        }
        std::size_t aux = 0;
        for (std::size_t i = 0; i < m; ++i) {
            aux += 1;
            const Relation rel = prepared[i].relation;
            if (rel == Relation::Ge || (rel == Relation::Le && flipped[i])) aux += 1;
        }
        cols_ = n + aux + 1;
        rows_.assign(m + 1, Row(cols_, Rational()));
        basis_.assign(m + 1, std::nullopt);
        std::vector<ColumnLabel> labels;
        for (VarId v : copy.variables) labels.push_back({v, true});
        std::vector<std::size_t> artificial;
        std::size_t h = n;
        for (std::size_t i = 0; i < m; ++i) {
            const std::size_t r = i + 1;
            for (const Term& t : prepared[i].expr.terms) rows_[r][t.var] = t.coefficient;
            rows_[r][rhs()] = b[i];
            const auto column = [&](std::int64_t v, std::uint64_t label) {
                rows_[r][h] = Rational::integer(v);
                labels.push_back({label, false});
                return h++;
            };
            const auto art = [&] {
                const std::size_t a = column(1, 2000 + i);
                artificial.push_back(a);
                basis_[r] = a;
            };
            switch (prepared[i].relation) {
                case Relation::Le:
                    if (!flipped[i]) {
                        basis_[r] = column(1, 1000 + i);
                    } else {
                        column(-1, 1000 + i);
                        art();
                    }
                    break;
                case Relation::Ge:
                    column(flipped[i] ? 1 : -1, 1000 + i);
                    art();
                    break;
                case Relation::Eq:
                    art();
                    break;
            }
        }
        labels_ = labels;
        if (copy.objective) {
            const Rational s = Rational::integer(copy.objective->sense == Sense::Maximize ? 1 : -1);
            for (const Term& t : copy.objective->expr.terms) rows_[0][t.var] = s * t.coefficient;
            if (!copy.objective->expr.constant.is_zero())
                rows_[0][rhs()] = -s * copy.objective->expr.constant;
        }
        std::vector<bool> is_artificial(cols_, false);
        for (std::size_t a : artificial) is_artificial[a] = true;
        if (!artificial.empty()) {
            const Row saved = rows_[0];
            for (std::size_t j = 0; j < cols_; ++j) rows_[0][j] = Rational();
            for (std::size_t a : artificial) rows_[0][a] = Rational::integer(-1);
            for (std::size_t r = 1; r <= m; ++r) {
                const std::size_t q = *basis_[r];
                if (is_artificial[q] && !rows_[0][q].is_zero()) subtract_from_row0(rows_[0][q], r);
            }
            const End end = loop(std::vector<bool>(cols_, false));
            if (end == End::Limit) return LpOutcome::unknown({SolverError::Kind::ResourceLimit, {}});
            if (end == End::NoLeavingRow) return LpOutcome::infeasible();
            if (!rows_[0][rhs()].is_zero()) return LpOutcome::infeasible();
            for (std::size_t r = 1; r <= m; ++r) {
                if (!is_artificial[*basis_[r]]) continue;
                for (std::size_t j = 0; j + 1 < cols_; ++j) {
                    if (!is_artificial[j] && !rows_[r][j].is_zero()) {
                        pivot(r, j);
                        break;
                    }
                }
            }
            rows_[0] = saved;
            for (std::size_t r = 1; r <= m; ++r) {
                const std::size_t q = *basis_[r];
                if (!rows_[r][q].is_zero() && !rows_[0][q].is_zero())
                    subtract_from_row0(rows_[0][q] / rows_[r][q], r);
            }
        }
        const End end = loop(is_artificial);
        if (end == End::Limit) return LpOutcome::unknown({SolverError::Kind::ResourceLimit, {}});
        if (end == End::NoLeavingRow) return LpOutcome::unbounded();
        Model model;
        for (std::size_t j = 0; j < labels_.size(); ++j) {
            if (!labels_[j].structural) continue;
            std::optional<Rational> value;
            for (std::size_t r = 1; r <= m && !value; ++r)
                if (basis_[r] == j) value = rows_[r][rhs()];
            if (!value)
                model.push_back({labels_[j].id, ModelValue::integer(0)});
            else if (value->is_integer() && value->is_small())
                model.push_back({labels_[j].id, ModelValue::integer(value->numerator())});
            else if (value->is_integer())
                model.push_back(
                    {labels_[j].id, ModelValue::wide_integer(value->to_string(), value->to_f64())});
            else
                model.push_back({labels_[j].id, ModelValue::floating(value->to_f64())});
        }
        Rational objective = rows_[0][rhs()];
        if (copy.objective && copy.objective->sense == Sense::Maximize) objective = -objective;
        return LpOutcome::optimal(objective.to_f64(), std::move(model));
    }
};

}  // namespace mekra::lp::testing
