#include "lp/factored_basis.hpp"

#include <algorithm>

#include "core/invariant.hpp"

namespace mekra::lp {

namespace {

constexpr std::uint32_t NONE = UINT32_MAX;

}  // namespace

void FactoredBasis::factor(std::size_t m, const std::vector<std::vector<Entry>>& columns) {
    check_invariant(columns.size() == m, "basis column count mismatch");
    m_ = m;
    // The active part: each row's entries by position, and each position's rows (kept from
    // one factorization to the next, so that their storage is reused).
    std::vector<std::vector<Entry>>& rows = active_rows_;
    std::vector<std::vector<std::uint32_t>>& rows_of = active_rows_of_;
    if (rows.size() < m) rows.resize(m);
    if (rows_of.size() < m) rows_of.resize(m);
    for (std::size_t k = 0; k < m; ++k) {
        rows[k].clear();
        rows_of[k].clear();
    }
    for (std::size_t k = 0; k < m; ++k)
        for (const Entry& e : columns[k]) {
            check_invariant(e.index < m, "basis entry out of range");
            rows[e.index].push_back({static_cast<std::uint32_t>(k), e.value});
            rows_of[k].push_back(e.index);
        }
    pivot_row_.clear();
    pivot_position_.clear();
    pivot_value_.clear();
    l_start_.assign(1, 0);
    l_row_.clear();
    l_value_.clear();
    u_start_.assign(1, 0);
    u_position_.clear();
    u_value_.clear();
    eta_position_.clear();
    eta_pivot_.clear();
    eta_start_.assign(1, 0);
    eta_index_.clear();
    eta_value_.clear();

    factor_work_ = m;
    eta_work_ = 0;
    for (const std::vector<Entry>& column : columns) factor_work_ += column.size();
    std::vector<std::uint8_t>& position_done = position_done_;
    position_done.assign(m, 0);
    std::vector<std::uint32_t>& where = where_;  // scatter of the row being updated
    where.assign(m, NONE);
    // Positions by their count of rows when last changed; an entry whose count has changed
    // since is skipped when it comes up.
    std::vector<std::vector<std::uint32_t>>& by_count = by_count_;
    if (by_count.size() < m + 1) by_count.resize(m + 1);
    for (std::size_t count = 0; count <= m; ++count) by_count[count].clear();
    std::size_t lowest_count = 0;
    const auto recount = [&](std::uint32_t k) {
        const std::size_t count = rows_of[k].size();
        by_count[count].push_back(k);
        lowest_count = std::min(lowest_count, count);
    };
    for (std::uint32_t k = 0; k < m; ++k) recount(k);
    for (std::size_t step = 0; step < m; ++step) {
        // The active position with the fewest rows, then its shortest row.
        std::uint32_t c = NONE;
        for (; c == NONE && lowest_count <= m; ++lowest_count) {
            std::vector<std::uint32_t>& bucket = by_count[lowest_count];
            while (!bucket.empty() && c == NONE) {
                const std::uint32_t k = bucket.back();
                bucket.pop_back();
                if (!position_done[k] && rows_of[k].size() == lowest_count) c = k;
            }
            if (c != NONE) break;
        }
        check_invariant(c != NONE && !rows_of[c].empty(), "singular basis");
        std::uint32_t p = NONE;
        for (std::uint32_t i : rows_of[c])
            if (p == NONE || rows[i].size() < rows[p].size()) p = i;

        std::vector<Entry>& pivot_row = rows[p];
        Rational pivot;
        for (Entry& e : pivot_row)
            if (e.index == c) pivot = std::move(e.value);
        pivot_row_.push_back(p);
        pivot_position_.push_back(c);
        for (const Entry& e : pivot_row) {
            if (e.index == c) continue;
            u_position_.push_back(e.index);
            u_value_.push_back(e.value);
            std::vector<std::uint32_t>& others = rows_of[e.index];
            others.erase(std::find(others.begin(), others.end(), p));
            recount(e.index);
        }
        u_start_.push_back(static_cast<std::uint32_t>(u_value_.size()));

        for (std::uint32_t i : rows_of[c]) {
            if (i == p) continue;
            std::vector<Entry>& row = rows[i];
            Rational multiplier;
            for (std::size_t t = 0; t < row.size(); ++t) {
                if (row[t].index == c) {
                    multiplier = row[t].value / pivot;
                    row[t] = std::move(row.back());
                    row.pop_back();
                    break;
                }
            }
            for (std::size_t t = 0; t < row.size(); ++t) where[row[t].index] = static_cast<std::uint32_t>(t);
            factor_work_ += row.size() + pivot_row.size();
            for (const Entry& e : pivot_row) {
                if (e.index == c) continue;
                const std::uint32_t at = where[e.index];
                if (at == NONE) {
                    Rational fill;
                    Rational::subtract_product(fill, multiplier, e.value);
                    where[e.index] = static_cast<std::uint32_t>(row.size());
                    row.push_back({e.index, std::move(fill)});
                    rows_of[e.index].push_back(i);
                    recount(e.index);
                } else {
                    Rational::subtract_product(row[at].value, multiplier, e.value);
                }
            }
            // Cancelled entries leave the row and their position's list.
            for (std::size_t t = 0; t < row.size();) {
                where[row[t].index] = NONE;
                if (row[t].value.is_zero()) {
                    std::vector<std::uint32_t>& others = rows_of[row[t].index];
                    others.erase(std::find(others.begin(), others.end(), i));
                    recount(row[t].index);
                    row[t] = std::move(row.back());
                    row.pop_back();
                } else {
                    ++t;
                }
            }
            l_row_.push_back(i);
            l_value_.push_back(std::move(multiplier));
        }
        l_start_.push_back(static_cast<std::uint32_t>(l_value_.size()));
        pivot_value_.push_back(std::move(pivot));
        pivot_row.clear();
        rows_of[c].clear();
        position_done[c] = 1;
    }

    // U by positions: step s's entries lie in positions pivoted after s.
    ut_start_.assign(m + 1, 0);
    for (std::uint32_t k : u_position_) ++ut_start_[k + 1];
    for (std::size_t k = 0; k < m; ++k) ut_start_[k + 1] += ut_start_[k];
    ut_step_.resize(u_position_.size());
    ut_value_.resize(u_value_.size());
    std::vector<std::uint32_t> next(ut_start_.begin(), ut_start_.end() - 1);
    for (std::size_t s = 0; s < m; ++s)
        for (std::uint32_t e = u_start_[s]; e < u_start_[s + 1]; ++e) {
            const std::uint32_t at = next[u_position_[e]]++;
            ut_step_[at] = static_cast<std::uint32_t>(s);
            ut_value_[at] = u_value_[e];
        }
}

void FactoredBasis::solve(std::vector<Rational>& x) {
    const std::size_t m = m_;
    // M x, by rows.
    for (std::size_t s = 0; s < m; ++s) {
        const Rational& top = x[pivot_row_[s]];
        if (top.is_zero()) continue;
        for (std::uint32_t e = l_start_[s]; e < l_start_[s + 1]; ++e)
            Rational::subtract_product(x[l_row_[e]], l_value_[e], top);
    }
    // U z = M x, by positions, last step first.
    scratch_.resize(m);
    for (std::size_t s = m; s-- > 0;) {
        Rational value = std::move(x[pivot_row_[s]]);
        for (std::uint32_t e = u_start_[s]; e < u_start_[s + 1]; ++e) {
            const Rational& known = scratch_[u_position_[e]];
            if (!known.is_zero()) Rational::subtract_product(value, u_value_[e], known);
        }
        if (!value.is_zero() && pivot_value_[s] != Rational::integer(1)) value = value / pivot_value_[s];
        scratch_[pivot_position_[s]] = std::move(value);
    }
    x.swap(scratch_);
    // The etas in order.
    for (std::size_t t = 0; t < eta_position_.size(); ++t) {
        Rational& top = x[eta_position_[t]];
        if (top.is_zero()) continue;
        eta_work_ += eta_start_[t + 1] - eta_start_[t] + 1;
        top = top / eta_pivot_[t];
        for (std::uint32_t e = eta_start_[t]; e < eta_start_[t + 1]; ++e)
            Rational::subtract_product(x[eta_index_[e]], eta_value_[e], top);
    }
}

void FactoredBasis::solve_transposed(std::vector<Rational>& y) {
    const std::size_t m = m_;
    // The etas, last first: only the entry at each eta's position changes.
    for (std::size_t t = eta_position_.size(); t-- > 0;) {
        Rational& top = y[eta_position_[t]];
        eta_work_ += eta_start_[t + 1] - eta_start_[t] + 1;
        for (std::uint32_t e = eta_start_[t]; e < eta_start_[t + 1]; ++e) {
            const Rational& other = y[eta_index_[e]];
            if (!other.is_zero()) Rational::subtract_product(top, eta_value_[e], other);
        }
        if (!top.is_zero()) top = top / eta_pivot_[t];
    }
    // z^T U = y^T, by rows, first step first.
    scratch_.resize(m);
    for (std::size_t s = 0; s < m; ++s) {
        const std::uint32_t k = pivot_position_[s];
        Rational value = std::move(y[k]);
        for (std::uint32_t e = ut_start_[k]; e < ut_start_[k + 1]; ++e) {
            const Rational& known = scratch_[pivot_row_[ut_step_[e]]];
            if (!known.is_zero()) Rational::subtract_product(value, ut_value_[e], known);
        }
        if (!value.is_zero() && pivot_value_[s] != Rational::integer(1)) value = value / pivot_value_[s];
        scratch_[pivot_row_[s]] = std::move(value);
    }
    y.swap(scratch_);
    // z^T M, last step first.
    for (std::size_t s = m; s-- > 0;) {
        Rational& top = y[pivot_row_[s]];
        for (std::uint32_t e = l_start_[s]; e < l_start_[s + 1]; ++e) {
            const Rational& other = y[l_row_[e]];
            if (!other.is_zero()) Rational::subtract_product(top, l_value_[e], other);
        }
    }
}

void FactoredBasis::replace_column(std::size_t r, const std::vector<Rational>& alpha) {
    check_invariant(r < m_ && alpha.size() == m_ && !alpha[r].is_zero(), "eta pivot is zero");
    eta_position_.push_back(static_cast<std::uint32_t>(r));
    eta_pivot_.push_back(alpha[r]);
    for (std::size_t i = 0; i < m_; ++i)
        if (i != r && !alpha[i].is_zero()) {
            eta_index_.push_back(static_cast<std::uint32_t>(i));
            eta_value_.push_back(alpha[i]);
        }
    eta_start_.push_back(static_cast<std::uint32_t>(eta_value_.size()));
}

}  // namespace mekra::lp
