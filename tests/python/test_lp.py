"""solve_lp_text end to end: the documented examples, values beyond 64 bits, and a
differential test against the plain two-phase simplex over fractions.Fraction of
literal_oracle.py."""

import math
import random
from fractions import Fraction

import pytest
from hypothesis import given, settings, strategies as st

import mekra
from literal_oracle import Constraint, Program, lp_dict, solve_lp


def lines(*rows):
    return "\n".join(rows)


EXAMPLES = [
    (lines("max 3*x0 + 2*x1", "x0 + x1 <= 4", "x0 + 3*x1 <= 6"),
     {"status": "OPTIMAL", "model": {"x0": 4, "x1": 0}, "objective": 12.0}),
    (lines("min x0 + x1", "x0 + x1 >= 2"),
     {"status": "OPTIMAL", "model": {"x0": 2, "x1": 0}, "objective": 2.0}),
    (lines("min x0", "x0 = 1"), {"status": "OPTIMAL", "model": {"x0": 1}, "objective": 1.0}),
    (lines("min x0 + 5", "x0 >= 1"),
     {"status": "OPTIMAL", "model": {"x0": 1}, "objective": 6.0}),
    (lines("max x0", "3*x0 <= 1"),
     {"status": "OPTIMAL", "model": {"x0": 1 / 3}, "objective": 1 / 3}),
    ("max x0", {"status": "UNBOUNDED"}),
    ("min x0", {"status": "OPTIMAL", "model": {"x0": 0}, "objective": 0.0}),
    (lines("max x0", "x0 <= -1"), {"status": "INFEASIBLE"}),
    (lines("min x0", "x0 >= -1"), {"status": "OPTIMAL", "model": {"x0": 0}, "objective": 0.0}),
    ("x0 >= 1", {"status": "OPTIMAL", "model": {"x0": 1}, "objective": 0.0}),
    ("", {"status": "OPTIMAL", "model": {}, "objective": 0.0}),
    (lines("x0 <= 1", "x0 >= 2"), {"status": "INFEASIBLE"}),
    (lines("int x0", "max x0", "2*x0 <= 3"),
     {"status": "OPTIMAL", "model": {"x0": 1.5}, "objective": 1.5}),
    # Beale's cycling program ends at its optimum.
    (lines("min -0.75*x0 + 20*x1 - 0.5*x2 + 6*x3",
           "0.25*x0 - 8*x1 - x2 + 9*x3 <= 0",
           "0.5*x0 - 12*x1 - 0.5*x2 + 3*x3 <= 0",
           "x2 <= 1"),
     {"status": "OPTIMAL", "model": {"x0": 1, "x1": 0, "x2": 1, "x3": 0}, "objective": -1.25}),
    # Artificials basic at zero after phase 1 are driven out: x1 is forced to 0.
    (lines("max x0 + 0*x1", "x1 - x0 = 0", "-1*x1 = 0", "x0 <= 1"),
     {"status": "OPTIMAL", "model": {"x0": 0, "x1": 0}, "objective": 0.0}),
    # The losing row's ratio 10^10 / 10^-9 does not fit 64 bits; it is compared exactly.
    (lines("max x0", "x0 <= 1", "0.000000001*x0 <= 10000000000"),
     {"status": "OPTIMAL", "model": {"x0": 1}, "objective": 1.0}),
]


@pytest.mark.parametrize("text,expected", EXAMPLES)
def test_examples(text, expected):
    result = mekra.solve_lp_text(text)
    assert_same(result, expected)


def test_reader_message_becomes_value_error():
    with pytest.raises(ValueError, match="^bad number: y$"):
        mekra.solve_lp_text("x0 <= y")


def test_tableau_beyond_the_memory_budget_is_a_memory_error():
    # 9000 rows of 9002 entries: far more than a solve may allocate.
    message = ("the simplex tableau of 9000 constraint rows and 9001 variable columns exceeds "
               "the limit of 67108864 entries")
    with pytest.raises(MemoryError, match=f"^{message}$"):
        mekra.solve_lp_text("x0 <= 1\n" * 9000)
    with pytest.raises(MemoryError, match=f"^{message}$"):
        mekra.solve_milp_text("x0 <= 1\n" * 9000)


# --- Values beyond 64 bits -------------------------------------------------------------------

MAX = "9223372036854775807"  # the double 2^63: -MAX saturates to -2^63, +MAX to 2^63 - 1


def test_whole_number_beyond_two_to_the_64_is_an_exact_int():
    result = mekra.solve_lp_text(f"max x0\nx0 - {MAX} - {MAX} - {MAX} <= 0")
    assert result["model"]["x0"] == 3 * 2**63
    assert type(result["model"]["x0"]) is int
    assert result["objective"] == float(3 * 2**63)
    huge = mekra.solve_lp_text(f"min x0\nx0 - {' - '.join(['1e18*x1'] * 3)} >= 0\nx1 = {MAX}")
    assert huge["model"] == {"x0": 3 * 10**18 * (2**63 - 1), "x1": 2**63 - 1}


def test_whole_numbers_of_many_thousand_digits_come_out_whole():
    # x_k = 10^(9 * (600 - k)): x0 has 5401 digits, past CPython's limit for one decimal text.
    lines_ = ["max x0"] + [f"x{k} - 1000000000*x{k + 1} = 0" for k in range(600)] + ["x600 = 1"]
    result = mekra.solve_lp_text("\n".join(lines_))
    assert result["model"]["x0"] == 10**5400
    assert result["model"]["x1"] == 10**5391
    assert result["model"]["x600"] == 1
    assert result["objective"] == math.inf


@pytest.mark.parametrize("text,value", [
    # Numerator and denominator fit 64 bits: (double)num / (double)den, rounding twice, which here
    # differs from the double nearest to the value.
    ("max x0\n3*x0 - 4611686018427387904 - 129 <= 0", float(2**62 + 129) / 3.0),
    ("max x0\n7*x0 - 4611686018427387904 - 193 <= 0", float(2**62 + 193) / 7.0),
    ("max x0\n3*x0 <= 1", 1 / 3),
    # Beyond 64 bits: the double nearest to the value, as float(Fraction) gives it.
    (f"max x0\n3*x0 - {MAX} - {MAX} - 3 <= 0", float(Fraction(2**64 + 3, 3))),
    (f"max x0\n{MAX}*x0 + {MAX}*x0 <= 1", float(Fraction(1, 2**64 - 2))),
    (f"max x0\n{MAX}*x0 + {MAX}*x0 + {MAX}*x0 <= 3", float(Fraction(1, 2**63 - 1))),
])
def test_float_rule_at_and_past_the_64_bit_edge(text, value):
    result = mekra.solve_lp_text(text)
    assert result["model"]["x0"] == value and type(result["model"]["x0"]) is float
    assert result["objective"] == value


def test_float_rule_differs_from_nearest_only_within_64_bits():
    inside = Fraction(2**62 + 129, 3)
    assert float(inside.numerator) / float(inside.denominator) != float(inside)


def test_values_past_the_double_range_become_infinite():
    # x_k = 10^(9 * (36 - k)) / 3: x0 and x1 lie past the largest double, x2 does not.
    lines_ = ["max x0"] + [f"x{k} - 1000000000*x{k + 1} = 0" for k in range(36)] + ["3*x36 = 1"]
    result = mekra.solve_lp_text("\n".join(lines_))
    assert result["model"]["x0"] == math.inf
    assert result["model"]["x1"] == math.inf
    assert result["model"]["x2"] == float(Fraction(10**306, 3))
    assert result["objective"] == math.inf
    tiny = mekra.solve_lp_text("\n".join(["max x0"] + [f"1000000000*x{k} - x{k + 1} = 0" for k in range(36)]
                                          + ["3*x36 = 1"]))
    assert tiny["model"]["x0"] == 0.0 and type(tiny["model"]["x0"]) is float


def assert_same(result, expected):
    assert result == expected
    assert list(result) == list(expected)
    for key, value in expected.get("model", {}).items():
        assert type(result["model"][key]) is type(value), key
    if "objective" in expected:
        assert type(result["objective"]) is float


# --- Random programs -------------------------------------------------------------------------


def number(rng, big, digits=False):
    """A number text and its exact value, exact under the reader's decimal conversion; with
    `digits`, also many-digit whole numbers (up to 2^53) and nine-place decimals."""
    roll = rng.random()
    if digits and roll < 0.25:
        k = rng.randint(10**12, 2**53) * rng.choice([1, -1])
        return str(k), Fraction(k)
    if digits and roll < 0.5:
        k = rng.randint(-(10**15), 10**15)
        text = f"{'-' if k < 0 else ''}{abs(k) // 10**9}.{abs(k) % 10**9:09d}"
        return text, Fraction(k, 10**9)
    if big and roll < 0.3:
        k = rng.choice([3037000500, 4000000000, 10**10, 999999937])
        return str(k), Fraction(k)
    if big and roll < 0.5:
        k = rng.randint(1, 9)
        return f"0.00000000{k}", Fraction(k, 10**9)
    if roll < 0.7:
        k = rng.randint(-5, 5)
        return str(k), Fraction(k)
    k = rng.randint(-40, 40)
    d = rng.choice([2, 4, 5, 8, 10])
    value = Fraction(k, d)
    return repr(float(value)), value


def expression(rng, variables, density, big, digits=False):
    """Terms as (sign, coefficient text or None, value, variable or None)."""
    terms = []
    for v in variables:
        if rng.random() < density:
            text, value = number(rng, big, digits)
            if value == 1 and rng.random() < 0.5:
                terms.append((v, None, value))
            else:
                terms.append((v, text, value))
    if rng.random() < 0.3:
        text, value = number(rng, False)
        terms.append((None, text, value))
    rng.shuffle(terms)
    return terms


def random_program(rng, size=6, digits=False):
    n = rng.randint(1, size)
    m = rng.randint(0, size)
    big = rng.random() < 0.3
    density = rng.uniform(0.3, 0.9)
    objective = None
    if rng.random() < 0.8:
        objective = (rng.choice(["min", "max"]), expression(rng, range(n), 0.8, big, digits))
    constraints = []
    for _ in range(m):
        rhs_text, rhs = number(rng, False, digits)
        if rng.random() < 0.3:
            rhs_text, rhs = "0", Fraction(0)
        constraints.append((expression(rng, range(n), density, big, digits),
                            rng.choice(["<=", ">=", "="]), rhs_text, rhs))
    return render(objective, constraints)


def render(objective, constraints):
    """The LP text, with variables named in order of first appearance, and the program the
    reader builds from it, for the oracle."""
    names = {}

    def name(v):
        if v not in names:
            names[v] = len(names)
        return f"x{names[v]}"

    def write(terms):
        pieces = []
        coefficients, constant = {}, Fraction(0)
        for v, text, value in terms:
            sign = "-" if text is not None and text.startswith("-") else "+"
            body = text[1:] if sign == "-" else text
            if v is None:
                pieces.append((sign, body))
                constant += value
                continue
            pieces.append((sign, name(v) if body is None else f"{body}*{name(v)}"))
            index = names[v]
            coefficients[index] = coefficients.get(index, Fraction(0)) + value
        text = " ".join(f"{s} {p}" for s, p in pieces).removeprefix("+ ")
        return text, {v: c for v, c in coefficients.items() if c != 0}, constant

    out, program_constraints = [], []
    sense, program_objective, objective_constant = None, {}, Fraction(0)
    if objective:
        text, program_objective, objective_constant = write(objective[1])
        out.append(f"{objective[0]} {text or '0'}")
        sense = objective[0]
    for terms, relation, rhs_text, rhs in constraints:
        text, coefficients, constant = write(terms)
        out.append(f"{text or '0'} {relation} {rhs_text}")
        program_constraints.append(Constraint(coefficients, constant - rhs, relation))
    program = Program(len(names), sense, program_objective, objective_constant, program_constraints)
    return "\n".join(out), program


def check_against_oracle(text, program):
    answer = solve_lp(program)
    expected = lp_dict(answer)
    result = mekra.solve_lp_text(text)
    assert_same(result, expected)
    if expected["status"] == "OPTIMAL":
        # The exact vertex behind the reported model satisfies every constraint as written.
        values = answer[1]
        for c in program.constraints:
            lhs = sum((q * values[v] for v, q in c.coeffs.items()), c.constant)
            assert {"<=": lhs <= 0, ">=": lhs >= 0, "=": lhs == 0}[c.relation], text
        assert all(v >= 0 for v in values)
        # Integral models are checked as reported.
        if all(type(v) is int for v in result["model"].values()):
            assert [Fraction(result["model"][f"x{j}"]) for j in range(program.nvars)] == values
    return expected["status"], answer


@settings(max_examples=250, deadline=None, derandomize=True)
@given(st.integers(min_value=0, max_value=2**32))
def test_random_programs_match_literal_simplex(seed):
    text, program = random_program(random.Random(seed))
    check_against_oracle(text, program)


def is_wide(q):
    return not (-(2**63) <= q.numerator < 2**63 and q.denominator < 2**63)


def test_random_programs_cover_every_outcome():
    seen = {}
    rng = random.Random(2026)
    for _ in range(250):
        text, program = random_program(rng)
        status, _ = check_against_oracle(text, program)
        seen[status] = seen.get(status, 0) + 1
    for status in ["OPTIMAL", "INFEASIBLE", "UNBOUNDED"]:
        assert seen.get(status, 0) >= 10, seen
    wide = 0
    for _ in range(80):
        text, program = random_program(rng, size=12, digits=True)
        status, answer = check_against_oracle(text, program)
        wide += status == "OPTIMAL" and any(is_wide(v) for v in answer[1] + [answer[2]])
    assert wide >= 5  # answers whose exact values leave 64 bits


@settings(max_examples=30, deadline=None, derandomize=True)
@given(st.integers(min_value=0, max_value=2**32))
def test_larger_many_digit_programs_match_literal_simplex(seed):
    text, program = random_program(random.Random(seed), size=12, digits=True)
    check_against_oracle(text, program)


def dense_decimal_program(rng, n, m):
    """Dense rows of three-place decimals: inline values at first, past 64 bits after a few
    pivots, so the solve finishes in the integer tableau."""
    def decimal():
        k = rng.randint(1, 99999)
        return f"{k // 1000}.{k % 1000:03d}", Fraction(k, 1000)

    objective = ("max", [(v, *decimal()) for v in range(n)])
    constraints = []
    for _ in range(m):
        terms = [(v, *decimal()) for v in range(n)]
        relation = rng.choice(["<=", "<=", ">="])
        rhs_text, rhs = decimal()
        if relation == "<=":
            k = rng.randint(100, 9999)
            rhs_text, rhs = str(k), Fraction(k)
        constraints.append((terms, relation, rhs_text, rhs))
    return render(objective, constraints)


@pytest.mark.parametrize("seed", range(12))
def test_programs_overflowing_mid_solve_match_literal_simplex(seed):
    rng = random.Random(seed)
    text, program = dense_decimal_program(rng, rng.randint(6, 12), rng.randint(6, 12))
    check_against_oracle(text, program)
