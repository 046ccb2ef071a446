"""The one exact oracle of the LP and MILP tests: a plain, literal (slow) two-phase simplex
over fractions.Fraction and the branch and bound around it.

Programs are plain data, not text: a `Program` lists the objective, the constraints and the
integer variables exactly as the LP reader would store them, and `Program.text()` writes the
LP text that reads back to it. Everything here follows the written procedures step by step,
with Python's Fraction as the exact arithmetic, unbounded in size, on a dense list-of-lists
tableau; values leave as the result dictionary's numbers by the rule of `to_f64`.
"""

from __future__ import annotations

import math
from dataclasses import dataclass, field
from fractions import Fraction

MAX_NODES = 1000
INTEGRALITY_TOL = 1e-8
BRANCH_FRAC_LOW = 1e-10
BRANCH_FRAC_HIGH = 0.9999999999
STALL_LIMIT = 50  # pivots without objective change before the smallest-index rule takes over

INT64_MIN, INT64_MAX = -(2**63), 2**63 - 1


# ---------------------------------------------------------------- programs


@dataclass
class Constraint:
    coeffs: dict  # var -> Fraction (no zeros)
    constant: Fraction  # left-hand constant minus right-hand side
    relation: str  # "=", "<=", ">="


@dataclass
class Program:
    nvars: int
    sense: str | None  # "min", "max" or None
    objective: dict = field(default_factory=dict)  # var -> Fraction
    objective_constant: Fraction = Fraction(0)
    constraints: list = field(default_factory=list)
    integer: list = field(default_factory=list)  # sorted VarIds

    def text(self) -> str:
        """LP text that reads back to this program: the objective (or, without one, the first
        constraint) names every variable in order, so variable k is called xk."""
        lines = []
        if self.sense is not None:
            terms = [f"{_num(self.objective.get(v, Fraction(0)))}*x{v}" for v in range(self.nvars)]
            lines.append(f"{self.sense} " + _join(terms, self.objective_constant))
        else:
            assert not self.integer, "without an objective no declaration can take effect"
        for v in self.integer:
            lines.append(f"int x{v}")
        for i, c in enumerate(self.constraints):
            named = range(self.nvars) if (i == 0 and self.sense is None) else sorted(c.coeffs)
            # Without an objective the first constraint names every variable (zero terms
            # create a variable and add nothing), so that variable k is still called xk.
            terms = [f"{_num(c.coeffs.get(v, Fraction(0)))}*x{v}" for v in named]
            lhs = _join(terms, Fraction(0)) if terms else "0"
            lines.append(f"{lhs} {c.relation} {_num(-c.constant)}")
        return "\n".join(lines) + "\n"


def _num(q: Fraction) -> str:
    assert 10**9 % q.denominator == 0
    text = f"{q.numerator // q.denominator}" if q.denominator == 1 else repr(float(q))
    return text


def _join(terms, constant):
    out = " + ".join(terms)
    if constant:
        out += f" + {_num(constant)}" if constant > 0 else f" - {_num(-constant)}"
    return out


# ---------------------------------------------------------------- exact two-phase simplex


class _Tableau:
    def __init__(self, ncols, m):
        self.rows = [[Fraction(0)] * (ncols + 1) for _ in range(m + 1)]
        self.basis = [None] * (m + 1)
        self.m = m
        self.width = ncols + 1

    def entering(self, excluded, smallest_index):
        kept = None
        for j in range(self.width - 1):
            if j in excluded or self.rows[0][j].numerator <= 0:
                continue
            if smallest_index:
                return j
            if kept is None or self.rows[0][j] > self.rows[0][kept]:
                kept = j
        return kept

    def leaving(self, c, smallest_index):
        kept, kept_ratio = None, None
        for i in range(1, self.m + 1):
            entry = self.rows[i][c]
            if entry.numerator <= 0:
                continue
            ratio = self.rows[i][-1] / entry
            if kept is None or ratio < kept_ratio:
                kept, kept_ratio = i, ratio
            elif smallest_index and ratio == kept_ratio and self.basis[i] < self.basis[kept]:
                kept, kept_ratio = i, ratio
        if kept is None or self.basis[kept] is None:
            return None
        return kept

    def pivot(self, r, c):
        p = self.rows[r][c]
        assert p != 0, "pivot value is zero"
        row = self.rows[r]
        for j in range(self.width):
            row[j] = row[j] / p
        for i in range(self.m + 1):
            if i == r:
                continue
            self.subtract(i, self.rows[i][c], r)
        self.basis[r] = c

    def subtract(self, i, f, r):
        """row i -= f * row r, when f is not zero."""
        if f == 0:
            return
        target, source = self.rows[i], self.rows[r]
        for j in range(self.width):
            target[j] = target[j] - f * source[j]

    def loop(self, excluded):
        """Returns True at an optimal basis, False when the entering column has no leaving row."""
        stalled = 0
        while True:
            smallest_index = stalled >= STALL_LIMIT
            c = self.entering(excluded, smallest_index)
            if c is None:
                return True
            r = self.leaving(c, smallest_index)
            if r is None:
                return False
            before = self.rows[0][-1]
            self.pivot(r, c)
            stalled = 0 if self.rows[0][-1] != before else stalled + 1


def solve_lp(program: Program, extra=()):
    """The two-phase simplex on the program with `extra` constraints appended.
    Returns ("OPTIMAL", values, objective), ("INFEASIBLE",) or ("UNBOUNDED",); values are
    Fractions by VarId."""
    return _solve_lp(program, list(program.constraints) + list(extra))


def _solve_lp(program, constraints):
    n, m = program.nvars, len(constraints)
    prepared = []
    aux = 0
    for c in constraints:
        b = -c.constant
        coeffs = dict(c.coeffs)
        flipped = b < 0
        if flipped:
            b = -b
            coeffs = {v: -q for v, q in coeffs.items()}
        prepared.append((coeffs, b, c.relation, flipped))
        aux += 1 + (c.relation == ">=" or (c.relation == "<=" and flipped))
    t = _Tableau(n + aux, m)
    artificial = []
    h = n
    for i, (coeffs, b, rel, flipped) in enumerate(prepared):
        r = i + 1
        for v, q in coeffs.items():
            t.rows[r][v] = q
        t.rows[r][-1] = b
        if rel == "<=" and not flipped:
            t.rows[r][h] = Fraction(1)
            t.basis[r] = h
            h += 1
        elif rel == "=":
            t.rows[r][h] = Fraction(1)
            artificial.append(h)
            t.basis[r] = h
            h += 1
        else:
            t.rows[r][h] = Fraction(1 if (rel == ">=" and flipped) else -1)
            t.rows[r][h + 1] = Fraction(1)
            artificial.append(h + 1)
            t.basis[r] = h + 1
            h += 2
    s = 1 if program.sense == "max" else -1
    if program.sense is not None:
        for v, q in program.objective.items():
            t.rows[0][v] = s * q
        if program.objective_constant != 0:
            t.rows[0][-1] = -(s * program.objective_constant)

    if artificial:
        saved = list(t.rows[0])
        t.rows[0] = [Fraction(0)] * t.width
        for q in artificial:
            t.rows[0][q] = Fraction(-1)
        for r in range(1, m + 1):
            if t.basis[r] in artificial:
                t.subtract(0, t.rows[0][t.basis[r]], r)
        if not t.loop(set()):
            return ("INFEASIBLE",)
        if t.rows[0][-1] != 0:
            return ("INFEASIBLE",)
        for r in range(1, m + 1):
            if t.basis[r] in artificial:
                for j in range(t.width - 1):
                    if j not in artificial and t.rows[r][j] != 0:
                        t.pivot(r, j)
                        break
        t.rows[0] = saved
        for r in range(1, m + 1):
            q = t.basis[r]
            if t.rows[r][q] != 0 and t.rows[0][q] != 0:
                t.subtract(0, t.rows[0][q] / t.rows[r][q], r)
    if not t.loop(set(artificial)):
        return ("UNBOUNDED",)
    values = []
    for j in range(n):
        rows = [r for r in range(1, m + 1) if t.basis[r] == j]
        values.append(t.rows[rows[0]][-1] if rows else Fraction(0))
    objective = -t.rows[0][-1] if program.sense == "max" else t.rows[0][-1]
    return ("OPTIMAL", values, objective)


def nearest_float(x) -> float:
    """The double nearest to an int or Fraction (ties to even), +-inf beyond the double range."""
    try:
        return float(x)
    except OverflowError:
        return math.inf if x > 0 else -math.inf


def to_f64(q: Fraction) -> float:
    """A reduced numerator and denominator that fit 64 bits: one double divided by the other;
    any larger value: the nearest double."""
    if INT64_MIN <= q.numerator <= INT64_MAX and q.denominator <= INT64_MAX:
        return float(q.numerator) / float(q.denominator)
    return nearest_float(q)


def model_of(values):
    return {f"x{j}": (int(q) if q.denominator == 1 else to_f64(q)) for j, q in enumerate(values)}


def lp_dict(result):
    if result[0] == "OPTIMAL":
        return {"status": "OPTIMAL", "model": model_of(result[1]), "objective": to_f64(result[2])}
    return {"status": result[0]}


# ---------------------------------------------------------------- branch and bound


def _heap_push(heap, key, node):
    heap.append((key, node))
    i = len(heap) - 1
    while i > 0 and key < heap[(i - 1) // 2][0]:
        heap[i] = heap[(i - 1) // 2]
        i = (i - 1) // 2
    heap[i] = (key, node)


def _heap_pop(heap):
    if not heap:
        return None
    result = heap[0]
    last = heap.pop()
    if not heap:
        return result
    hole, n = 0, len(heap)
    while 2 * hole + 2 < n:
        left, right = 2 * hole + 1, 2 * hole + 2
        child = left if heap[left][0] < heap[right][0] else right
        heap[hole] = heap[child]
        hole = child
    if 2 * hole + 1 < n:
        heap[hole] = heap[2 * hole + 1]
        hole = 2 * hole + 1
    while hole > 0 and last[0] < heap[(hole - 1) // 2][0]:
        heap[hole] = heap[(hole - 1) // 2]
        hole = (hole - 1) // 2
    heap[hole] = last
    return result


def _value(model, v):
    """A model value read as a double: an int beyond 64 bits as the double nearest to it."""
    return nearest_float(model[f"x{v}"])


def _integral(model, integers):
    return all(_distance_to_integer(_value(model, v)) < INTEGRALITY_TOL for v in integers)


def _distance_to_integer(x):
    if not math.isfinite(x):
        return math.nan  # no distance is below the tolerance
    below = x - math.floor(x)  # exact for doubles
    return min(below, math.ceil(x) - x)


def _whole_bound(x):
    """The bound of a branch: the whole double x as a Fraction, saturated at the 64-bit ends."""
    return Fraction(min(max(int(x), INT64_MIN), INT64_MAX))


def _pruned(bound, incumbent, maximize):
    if maximize:
        return incumbent >= (math.inf if bound is None else bound)
    return not ((-math.inf if bound is None else bound) < incumbent)


def _bound_constraint(var, lower, upper):
    if lower is not None:
        return Constraint({var: Fraction(1)}, -lower, ">=")
    return Constraint({var: Fraction(1)}, -upper, "<=")


def solve_milp(program: Program):
    """The written search with its amendment: a cut-short search is OPTIMAL only when every
    unfinished node would be pruned by the final incumbent, else FEASIBLE.
    Returns (result dict, explored count)."""
    integers = list(program.integer)
    root = lp_dict(solve_lp(program))
    if not integers or root["status"] != "OPTIMAL" or _integral(root["model"], integers):
        return root, 0
    maximize = program.sense != "min"
    nodes = []  # (bound, bounds list)
    heap = []

    def branch(model, objective, bounds, bound):
        for v in integers:
            x = _value(model, v)
            if not math.isfinite(x):
                continue  # its fractional part is NaN
            frac = x - math.floor(x)
            if BRANCH_FRAC_LOW < frac < BRANCH_FRAC_HIGH:
                nodes.append((bound, bounds + [(v, None, _whole_bound(math.floor(x)))]))
                _heap_push(heap, objective, len(nodes) - 1)
                nodes.append((bound, bounds + [(v, _whole_bound(math.ceil(x)), None)]))
                _heap_push(heap, objective, len(nodes) - 1)
                return
        raise AssertionError("no branching variable")

    branch(root["model"], root["objective"], [], None)
    incumbent, incumbent_obj = None, (-math.inf if maximize else math.inf)
    explored = 0
    cut_at = None
    while True:
        top = _heap_pop(heap)
        if top is None:
            break
        if explored == MAX_NODES:
            cut_at = top[1]
            break
        explored += 1
        bound, bounds = nodes[top[1]]
        if _pruned(bound, incumbent_obj, maximize):
            continue
        extra = [_bound_constraint(*b) for b in bounds]
        result = lp_dict(solve_lp(program, extra))
        if result["status"] != "OPTIMAL":
            continue
        o = result["objective"]
        if _integral(result["model"], integers):
            if (o > incumbent_obj) if maximize else (o < incumbent_obj):
                incumbent, incumbent_obj = result["model"], o
            continue
        branch(result["model"], o, bounds, o)

    if incumbent is not None:
        unfinished = ([cut_at] if cut_at is not None else []) + [n for _, n in heap]
        if all(_pruned(nodes[i][0], incumbent_obj, maximize) for i in unfinished):
            return {"status": "OPTIMAL", "model": incumbent, "objective": incumbent_obj}, explored
        return {"status": "FEASIBLE", "model": incumbent}, explored
    if cut_at is not None or explored >= MAX_NODES:
        return {"status": "UNKNOWN (resource limit)"}, explored
    return {"status": "INFEASIBLE"}, explored
