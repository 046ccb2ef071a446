"""solve_milp_text: the example programs, a differential test against the literal search of
literal_oracle.py, and every answer's model checked against its program."""

from fractions import Fraction

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import mekra
from literal_oracle import Constraint, Program, solve_milp


def typed(result):
    """The dict with every value paired with its type, so that 1 and 1.0 differ."""
    out = {k: (type(v).__name__, v) for k, v in result.items() if k != "model"}
    if "model" in result:
        out["model"] = [(k, type(v).__name__, v) for k, v in result["model"].items()]
    return out


EXAMPLES = [
    ("max x0\n2*x0 <= 3\nint x0", {"status": "OPTIMAL", "model": {"x0": 1}, "objective": 1.0}),
    ("min x0\n2*x0 >= 3\nint x0", {"status": "OPTIMAL", "model": {"x0": 2}, "objective": 2.0}),
    (
        "max x0 + x1\n2*x0 + 2*x1 <= 3\nint x0\nint x1",
        {"status": "OPTIMAL", "model": {"x0": 1, "x1": 0}, "objective": 1.0},
    ),
    ("max x0\n2*x0 = 3\nint x0", {"status": "INFEASIBLE"}),
    ("max x0\nx0 <= 2\nint x0", {"status": "OPTIMAL", "model": {"x0": 2}, "objective": 2.0}),
    ("max x0\nint x0", {"status": "UNBOUNDED"}),
    ("max x0\n2*x0 <= 3", {"status": "OPTIMAL", "model": {"x0": 1.5}, "objective": 1.5}),
    ("max x0\n2*x1 <= 3\nint x1", {"status": "UNBOUNDED"}),
    # A chain about 500 levels deep that never reaches an integral point.
    ("min x0 + 0*x1\n2*x0 - 2*x1 = 1\nint x0\nint x1", {"status": "UNKNOWN (resource limit)"}),
    # Eleven binaries whose doubled sum must be odd: no integral point, a wide tree.
    (
        "min " + " + ".join(f"x{i}" for i in range(11)) + "\n"
        + " + ".join(f"2*x{i}" for i in range(11)) + " = 11\n"
        + "\n".join(f"int x{i}\nx{i} <= 1" for i in range(11)),
        {"status": "UNKNOWN (resource limit)"},
    ),
    # The same with an escape variable x11 that makes integral points cost 0.6 more than
    # the relaxation: found early, never proven before the node limit.
    (
        "min " + " + ".join(f"x{i}" for i in range(11)) + " + 0.6*x11\n"
        + " + ".join(f"2*x{i}" for i in range(11)) + " + x11 = 11\nint x11\nx11 <= 1\n"
        + "\n".join(f"int x{i}\nx{i} <= 1" for i in range(11)),
        {
            "status": "FEASIBLE",
            "model": {f"x{i}": int(i in (1, 2, 7, 8, 9, 11)) for i in range(12)},
        },
    ),
    ("x0 <= 1\nint x0", {"status": "OPTIMAL", "model": {"x0": 0}, "objective": 0.0}),
    # The objective's two terms sum beyond 64 bits while the text is read.
    ("max 9000000000000000000*x0 + 9000000000000000000*x0\nint x0\nx0 <= 1",
     {"status": "OPTIMAL", "model": {"x0": 1}, "objective": 1.8e19}),
    ("", {"status": "OPTIMAL", "model": {}, "objective": 0.0}),
]


@pytest.mark.parametrize("text, expected", EXAMPLES)
def test_examples(text, expected):
    result = mekra.solve_milp_text(text)
    assert typed(result) == typed(expected)
    assert list(result) == list(expected)


def test_reader_message_is_value_error():
    with pytest.raises(ValueError, match=r"^line 1: bad syntax: foo$"):
        mekra.solve_milp_text("foo\nint x0")


# ---------------------------------------------------------------- random programs

POSITIVE = [Fraction(c) for c in (1, 2, 3, 4, 5, 6, 7)] + [Fraction(3, 2), Fraction(5, 2)]
MIXED = POSITIVE + [Fraction(c) for c in (-1, -2, -3)] + [Fraction(-1, 2)]


# Nine-place decimals: exact in the text, but their products soon leave the 64-bit range.
FINE = st.builds(lambda n: Fraction(n, 10**9), st.integers(10**9, 9 * 10**9))


def _coefficient(draw, pool, fine):
    if fine and draw(st.booleans()):
        return draw(FINE)
    return draw(st.sampled_from(pool))


def _row(draw, nvars, pool, relation, low, high, fine=False):
    vs = draw(st.lists(st.integers(0, nvars - 1), min_size=1, max_size=nvars, unique=True))
    coeffs = {v: _coefficient(draw, pool, fine) for v in vs}
    rhs = Fraction(draw(st.integers(low, high)), draw(st.sampled_from([1, 1, 2, 4])))
    return Constraint(coeffs, -rhs, relation)


@st.composite
def programs(draw, fine=False):
    """Small programs whose relaxations are mostly fractional: a knapsack (max over a packing
    row) or a covering program (min over a covering row), then up to two arbitrary rows, with
    most variables integer and bounded above; a few programs without an objective. With `fine`,
    half the row coefficients are nine-place decimals."""
    nvars = draw(st.integers(1, 5))
    sense = draw(st.sampled_from(["min", "max", "max", "min", "max", "min", None]))
    objective = {}
    if sense is not None:
        for v in range(nvars):
            c = draw(st.sampled_from([Fraction(0)] + (POSITIVE if draw(st.integers(0, 3)) else MIXED)))
            if c:
                objective[v] = c
    core = "<=" if sense != "min" else ">="
    constraints = [_row(draw, nvars, POSITIVE, core, 1, 20, fine)]
    for _ in range(draw(st.integers(0, 2))):
        relation = draw(st.sampled_from(["<=", "<=", "<=", ">=", "="]))
        constraints.append(_row(draw, nvars, MIXED, relation, -2, 16, fine))
    integer = []
    if sense is not None:
        integer = [v for v in range(nvars) if draw(st.integers(0, 3))]
    # Upper bounds on every integer variable keep the search short (the literal solver is slow).
    for v in range(nvars):
        if v in integer or draw(st.booleans()):
            constraints.append(Constraint({v: Fraction(1)}, -Fraction(draw(st.integers(1, 6))), "<="))
    constant = Fraction(draw(st.integers(-2, 2))) if sense is not None else Fraction(0)
    return Program(nvars, sense, objective, constant, constraints, integer)


def check_model(program, result):
    """Every constraint holds (within rounding of reported floats) and every integer variable
    is integral."""
    model = result["model"]
    assert list(model) == [f"x{v}" for v in range(program.nvars)]
    values = [Fraction(model[f"x{v}"]) for v in range(program.nvars)]
    assert all(x >= 0 for x in values)
    for c in program.constraints:
        lhs = sum(q * values[v] for v, q in c.coeffs.items()) + c.constant
        slack = Fraction(1, 10**6)
        if c.relation == "<=":
            assert lhs <= slack
        elif c.relation == ">=":
            assert lhs >= -slack
        else:
            assert abs(lhs) <= slack
    for v in program.integer:
        x = float(model[f"x{v}"])
        assert abs(x - round(x)) < 1e-8
    if result["status"] == "OPTIMAL" and program.sense is not None:
        value = sum(q * values[v] for v, q in program.objective.items()) + program.objective_constant
        assert abs(float(value) - result["objective"]) <= 1e-6 * max(1.0, abs(result["objective"]))


def compare_with_literal(program):
    expected, _ = solve_milp(program)
    result = mekra.solve_milp_text(program.text())
    assert typed(result) == typed(expected)
    assert list(result) == list(expected)
    if result["status"] in ("OPTIMAL", "FEASIBLE"):
        check_model(program, result)


@settings(max_examples=150, deadline=None, derandomize=True, suppress_health_check=[HealthCheck.too_slow])
@given(programs())
def test_matches_literal_search(program):
    compare_with_literal(program)


# Fine decimals: node relaxations whose exact values leave 64 bits.
@settings(max_examples=40, deadline=None, derandomize=True, suppress_health_check=[HealthCheck.too_slow])
@given(programs(fine=True))
def test_matches_literal_search_with_fine_decimals(program):
    compare_with_literal(program)


F = Fraction
# Programs whose node relaxations once ended with the numerical issue; now solved exactly.
WIDE_NODES = [
    (
        Program(2, "min", {0: F(9), 1: F(3)}, F(0),
                [Constraint({0: F(1), 1: F("7.193707387")}, F(-27), "="),
                 Constraint({0: F(4), 1: F(9)}, F(-9), ">=")], [0, 1]),
        {"status": "OPTIMAL", "model": {"x0": 27, "x1": 0}, "objective": 243.0},
    ),
    (
        Program(2, "max", {0: F(2), 1: F(5)}, F(0),
                [Constraint({0: F(3), 1: F("8.078529431")}, F(-26), "<="),
                 Constraint({0: F(1)}, F(-5), "<="), Constraint({1: F(1)}, F(-5), "<=")], [0, 1]),
        None,
    ),
    (
        Program(2, "min", {0: F(4), 1: F(5)}, F(0),
                [Constraint({0: F("8.642521001"), 1: F("7.463734936")}, F(-18), "=")], [0, 1]),
        {"status": "INFEASIBLE"},
    ),
]


@pytest.mark.parametrize("program, expected", WIDE_NODES)
def test_nodes_beyond_64_bits(program, expected):
    result = mekra.solve_milp_text(program.text())
    assert not result["status"].startswith("UNKNOWN")
    if expected is not None:
        assert typed(result) == typed(expected)
    compare_with_literal(program)
