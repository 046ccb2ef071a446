"""DIMACS reading through solve_sat: every message, its line number, and arbitrary text."""

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import mekra

PROBLEM_LINE = "invalid problem line, expected 'p cnf <vars> <clauses>'"


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "missing 'p cnf' header"),
        ("c a\nc b\n\n", "missing 'p cnf' header"),
        ("1 0\np cnf 1 1", "line 1: data before 'p cnf' header"),
        ("c x\n\n  1 0", "line 3: data before 'p cnf' header"),
        ("\n\np cnf", f"line 3: {PROBLEM_LINE}"),
        ("p CNF 1 1", f"line 1: {PROBLEM_LINE}"),
        ("p cnf 1", f"line 1: {PROBLEM_LINE}"),
        ("p\tdnf 1 1", f"line 1: {PROBLEM_LINE}"),
        ("p cnf -1 1", "line 1: invalid variable count"),
        ("p cnf 1.0 1", "line 1: invalid variable count"),
        ("p cnf 3 x", "line 1: invalid clause count"),
        ("p cnf 3 18446744073709551616", "line 1: invalid clause count"),
        ("p cnf 1 1\n1 x 0", "line 2: invalid literal 'x'"),
        ("p cnf 1 1\n2147483648 0", "line 2: invalid literal '2147483648'"),
        ("p cnf 1 1\n1 0\n%\n0\n", "line 3: invalid literal '%'"),
        ("p cnf 1 1\n1 --1 0", "line 2: invalid literal '--1'"),
        ("p cnf 1 1\n1 é 0", "line 2: invalid literal 'é'"),
        ("p cnf 1 1\n1 a\x00b 0", "line 2: invalid literal 'a\x00b'"),
        ("p cnf 2 1\n1 2\np cnf 2 1", "line 3: clause before problem header not terminated"),
        ("p cnf 2 1\r\n\r\n1 2\r\n\r\np cnf 2 1", "line 5: clause before problem header not terminated"),
        ("p cnf 1 1\n1\r\n0\rx", "line 3: invalid literal 'x'"),
    ],
)
def test_messages(text, message):
    with pytest.raises(ValueError) as caught:
        mekra.solve_sat(text)
    assert caught.value.args == (message,)


@pytest.mark.parametrize(
    "text",
    [
        "p cnf 0 0",
        "pp cnf 0 0 extra",
        "p cnf +3 1",
        "  p cnf 1 1  \r\n  1 0  \r\n",
        "p cnf 1 5\n3 0",
        "c hello\np cnf 2 1\n1 -2 0",
        "p cnf 2 1\n1\n-2 0",
        "p cnf 2 1\n1 2",
        "p cnf 1 1\n-2 0\u3000",
    ],
)
def test_accepted(text):
    assert mekra.solve_sat(text)["status"] in ("SAT", "UNSAT")


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(st.text(max_size=60))
def test_arbitrary_text_gives_a_dict_or_a_value_error(text):
    try:
        result = mekra.solve_sat(text)
    except ValueError as e:
        assert isinstance(e.args[0], str) and e.args[0]
        return
    except MemoryError:
        return  # a literal asking for more variables than can be stored
    assert result["status"] in ("SAT", "UNSAT")


dimacs_like = st.lists(
    st.sampled_from(["p", "cnf", "c", "0", "1", "-2", "3", "+1", "-0", "%", "x", " ", "\t", "\n", "\r\n", "\r", "\u00a0"]),
    max_size=40,
).map("".join)


@settings(max_examples=300, deadline=None)
@given(dimacs_like)
def test_dimacs_like_text_gives_a_dict_or_a_value_error(text):
    try:
        result = mekra.solve_sat(text)
    except ValueError as e:
        message = e.args[0]
        assert message == "missing 'p cnf' header" or message.startswith("line ")
        return
    assert result["status"] in ("SAT", "UNSAT")
