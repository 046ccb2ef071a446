"""solve_milp_text: the example programs, a differential test against the literal search of
milp_literal.py, and every answer's model checked against its program."""

from fractions import Fraction

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import mekra
from milp_literal import Constraint, Program, solve_milp


def _implemented():
    try:
        mekra.solve_milp_text("")
    except NotImplementedError:
        return False
    return True


pytestmark = pytest.mark.skipif(not _implemented(), reason="solve_milp_text is not built yet")


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

COEFFS = [Fraction(c) for c in (-3, -2, -1, 1, 2, 3, 4)] + [Fraction(1, 2), Fraction(-3, 2)]


@st.composite
def programs(draw):
    nvars = draw(st.integers(1, 4))
    sense = draw(st.sampled_from(["min", "max", "max", "min", None]))
    objective = {}
    if sense is not None:
        for v in range(nvars):
            c = draw(st.sampled_from([Fraction(0)] + COEFFS))
            if c:
                objective[v] = c
    constraints = []
    for _ in range(draw(st.integers(1, 4))):
        vs = draw(st.lists(st.integers(0, nvars - 1), min_size=1, max_size=nvars, unique=True))
        coeffs = {v: draw(st.sampled_from(COEFFS)) for v in vs}
        rhs = Fraction(draw(st.integers(-4, 12)), draw(st.sampled_from([1, 1, 1, 2])))
        relation = draw(st.sampled_from(["<=", "<=", ">=", "="]))
        constraints.append(Constraint(coeffs, -rhs, relation))
    integer = []
    if sense is not None:
        integer = sorted(set(draw(st.lists(st.integers(0, nvars - 1), max_size=nvars))))
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


@settings(max_examples=150, deadline=None, derandomize=True, suppress_health_check=[HealthCheck.too_slow])
@given(programs())
def test_matches_literal_search(program):
    expected, _ = solve_milp(program)
    result = mekra.solve_milp_text(program.text())
    assert typed(result) == typed(expected)
    assert list(result) == list(expected)
    if result["status"] in ("OPTIMAL", "FEASIBLE"):
        check_model(program, result)
