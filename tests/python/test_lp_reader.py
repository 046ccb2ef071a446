"""The LP text reader seen through solve_lp_text: messages, their precedence, the numerical
issue while reading, and how names and numbers become variables and values."""

import pytest
from hypothesis import given, settings, strategies as st

import mekra



@pytest.mark.parametrize(
    "text, message",
    [
        ("\n# comment\nfoo", "line 3: bad syntax: foo"),
        ("x0 <= 1\r\n  foo bar  \r\n", "line 2: bad syntax: foo bar"),
        ("END", "line 1: bad syntax: END"),
        ("end;", "line 1: bad syntax: end;"),
        ("max", "line 1: bad syntax: max"),
        ("min\tx0", "line 1: bad syntax: min\tx0"),
        ("x0 <= y", "bad number: y"),
        ("x0 <= 1/2", "bad number: 1/2"),
        ("x0 == 3", "bad number: = 3"),
        ("x0 <= 3 # note", "bad number: 3 # note"),
        ("x0 <= 2 ; ;", "bad number: 2 ;"),
        ("x0 <=", "bad number: "),
        ("x0 <= 1\rx1 <= 2", "bad number: 1\rx1 <= 2"),
        ("3/-4 <= 0", "bad den in 3/"),
        ("1.2.3/2 <= 1", "bad num in 1.2.3/2"),
        ("a*x0 <= 1", "bad coeff in a*x0"),
        ("x0 - * 2 <= 1", "bad coeff in * 2"),
        ("1 2 <= 1", "bad constant in 1 2"),
        ("min <= 2", "bad constant in <= 2"),
        ("\u00b2 <= 1", "bad constant in \u00b2"),
        ("\uff11 <= 1", "bad constant in \uff11"),
    ],
)
def test_messages(text, message):
    with pytest.raises(ValueError) as info:
        mekra.solve_lp_text(text)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "text, message",
    [
        # Line-pass errors win over expression errors, whatever their lines.
        ("max a*x0\nx0 <= y", "bad number: y"),
        ("a*x0 <= 1\n\nfoo", "line 3: bad syntax: foo"),
        ("min 9000000000000000000 + 9000000000000000000\nfoo", "line 2: bad syntax: foo"),
        # The objective is read first, then the constraints in line order.
        ("b*x0 <= 1\nmax 1/a", "bad den in 1/a"),
        ("b*x0 <= 1\nd*x1 >= 1", "bad coeff in b*x0"),
        # An expression error before the first overflow is reported.
        ("min a*x0\nx0 >= -1e19", "bad coeff in a*x0"),
        ("x0 <= 1\na*x0 <= 1\nx0 >= -1e19", "bad coeff in a*x0"),
    ],
)
def test_message_precedence(text, message):
    with pytest.raises(ValueError) as info:
        mekra.solve_lp_text(text)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "text, expected",
    [
        ("min x0 + 9000000000000000000 + 9000000000000000000",  # constant sum beyond 2^63
         {"status": "OPTIMAL", "model": {"x0": 0}, "objective": 1.8e19}),
        ("max 1e19*x0 + x0", {"status": "UNBOUNDED"}),  # coefficient 2^63 - 1 plus 1
        ("x0 >= -1e19", {"status": "OPTIMAL", "model": {"x0": 0}, "objective": 0.0}),  # -(-2^63)
        ("max x0\nx0 - 1e19/1 - 2 <= 0",
         {"status": "OPTIMAL", "model": {"x0": 2**63 + 1}, "objective": float(2**63 + 1)}),
    ],
)
def test_sums_beyond_64_bits_are_read_exactly(text, expected):
    assert mekra.solve_lp_text(text) == expected


def test_reading_errors_come_before_large_sums():
    with pytest.raises(ValueError, match="^bad coeff in a\\*x0$"):
        mekra.solve_lp_text("min x0 + 9000000000000000000 + 9000000000000000000\na*x0 <= 1")


@pytest.mark.parametrize(
    "text, model, objective",
    [
        ("max 3*x0 + 2*x1\nx0 + x1 <= 4\nx0 + 3*x1 <= 6\nend\nnot read", {"x0": 4, "x1": 0}, 12.0),
        # x1 creates variable 0 and x0 finds it: the objective is 2*x0.
        ("min x1 + x0\nx0 >= 1", {"x0": 1}, 2.0),
        # Two unknown names are two variables.
        ("min a + a\nx0 >= 1\nx1 >= 2", {"x0": 1, "x1": 2}, 3.0),
        ("min x0 + x1;\nx0 + x1 >= 2", {"x0": 2, "x1": 0}, 2.0),
        ("min x0\n\u00e9 + x0 >= 2", {"x0": 0, "x1": 2}, 0.0),
        ("max x0\nx0 <= 0.1;", {"x0": 0.1}, 0.1),
        ("max x0\nx0 + 1/4 - 0.5 <= 3", {"x0": 3.25}, 3.25),
        ("min x0 + 2x0\n1e3 >= 2", {"x0": 0, "x1": 0, "x2": 2}, 0.0),
        ("max x0\nx0 + x 0 <= 1", {"x0": 1, "x1": 0}, 1.0),
        ("max x0\n1e3*x0 <= 1", {"x0": 0.001}, 0.001),
        ("cost: x0 <= oops\nmax x0\nx0 <= 1/0", None, None),
        ("max x0\nx0 <= inf", {"x0": 9223372036.854776}, 9223372036.854776),  # saturated, scaled
        ("max x0\nx0 <= NaN", {"x0": 0}, 0.0),
        ("int x0\nmax x0\n2*x0 <= 3", {"x0": 1.5}, 1.5),
        ("", {}, 0.0),
    ],
)
def test_programs_read_as_written(text, model, objective):
    if model is None:
        with pytest.raises(ValueError):
            mekra.solve_lp_text(text)
        return
    assert mekra.solve_lp_text(text) == {"status": "OPTIMAL", "model": model, "objective": objective}


LP_ALPHABET = st.sampled_from(
    ["x0", "x1", "x2", "y", " ", "\t", "+", "-", "*", "/", "<=", ">=", "=", "0", "1", "2.5", "1e3",
     "9000000000000000000", "inf", ";", "#", "\n", "\r\n", "\r", "min ", "max ", "int ", "end", "\u00e9",
     "\u00a0", "\u2028", "\U0001F600"]
)


@settings(max_examples=300, deadline=None, derandomize=True)
@given(st.one_of(st.text(max_size=60), st.lists(LP_ALPHABET, max_size=30).map("".join)))
def test_any_text_gives_a_result_or_a_message(text):
    try:
        result = mekra.solve_lp_text(text)
    except ValueError as error:
        message = str(error)
        assert "\n" not in message
        assert message.startswith(("line ", "bad number: ", "bad num in ", "bad den in ", "bad coeff in ",
                                   "bad constant in "))
        return
    assert result["status"] in ("OPTIMAL", "INFEASIBLE", "UNBOUNDED", "UNKNOWN (numerical issue)")
