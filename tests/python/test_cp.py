"""solve_cp_text: the CP text format, its messages, and the solver's answers."""

import pytest
from hypothesis import given, settings, strategies as st

import mekra

from call_budget import run_calls

MIN = -9223372036854775808
MAX = 9223372036854775807


def solve(*lines):
    return mekra.solve_cp_text("\n".join(lines))


@pytest.mark.parametrize(
    "text, expected",
    [
        ("", {"status": "SAT", "model": {}}),
        ("# only\n\n// comments\n", {"status": "SAT", "model": {}}),
        ("var x 0 3", {"status": "SAT", "model": {"x0": 0}}),
        ("var x 5 5", {"status": "SAT", "model": {"x0": 5}}),
        ("var x 5 3", {"status": "UNSAT"}),
        ("var x 0 1\nvar y 0 1\nneq x y", {"status": "SAT", "model": {"x0": 0, "x1": 1}}),
        ("var a 1 2\nvar b 1 2\nvar c 1 2\nallDiff a b c", {"status": "UNSAT"}),
        ("var x 0 9\nvar y 0 9\nlinear 1 x 1 y 10 eq\nlt x y", {"status": "SAT", "model": {"x0": 1, "x1": 9}}),
        ("var x 0 1\nvar x 0 1\neq x x", {"status": "SAT", "model": {"x0": 0, "x1": 0}}),
        ("var e 3 2\nvar x 0 1\nvar y 0 1", {"status": "UNSAT"}),
        ("var x 0 5\nvar y 0 5\nlt x y\nlt y x", {"status": "UNSAT"}),
        ("var x 0 9\r\n  var y 0 9  \r\nle x y -3\r\n", {"status": "SAT", "model": {"x0": 0, "x1": 3}}),
        ("var x 1 3\nvar y 1 3\nvar z 1 3\nalldifferent x y z\nlt z y", {"status": "SAT", "model": {"x0": 3, "x1": 2, "x2": 1}}),
    ],
)
def test_answers(text, expected):
    result = mekra.solve_cp_text(text)
    assert result == expected
    assert list(result) == list(expected)  # key order: status, model


def test_model_keys_in_index_order():
    text = "\n".join(f"var v{i} {i} {i}" for i in range(12))
    model = mekra.solve_cp_text(text)["model"]
    assert list(model) == [f"x{i}" for i in range(12)]
    assert all(type(v) is int for v in model.values())


@pytest.mark.parametrize(
    "text, message",
    [
        ("# c\n\nfoo", "line 3: unknown keyword 'foo'"),
        ("AllDiff x y", "line 1: unknown keyword 'AllDiff'"),
        ("VAR x 0 1", "line 1: unknown keyword 'VAR'"),
        ("var x 0", "line 1: var needs name, min, max"),
        ("var x 0 5a", "line 1: bad max"),
        ("var x - 5", "line 1: bad min"),
        ("var x 0 9223372036854775808", "line 1: bad max"),
        ("var x 0 1\nalldifferent x", "allDiff needs \u2265 2 vars"),
        ("eq x", "eq needs 2 vars"),
        ("neq x", "neq needs 2 vars"),
        ("lt x", "lt needs 2 vars"),
        ("var x 0 1\nvar y 0 1\nle x y", "le needs 2 vars + c"),
        ("var x 0 1\nvar y 0 1\nle x y z", "bad c"),
        ("eq x y", "line 1: unknown variable 'x'"),
        ("var x 0 1\neq x y\nvar y 0 1", "line 2: unknown variable 'y'"),
        ("linear 1 x 5", "linear: need at least coeff var rhs rel"),
        ("var x 0 1\nlinear 1 x 2 5 le", "linear: expected le/eq/ge"),
        ("var x 0 1\nlinear 1 x 5 LE", "linear: expected le/eq/ge"),
        ("var x 0 1\nlinear z x 5 le", "bad coeff"),
        ("var x 0 1\nlinear 1 x 5.0 le", "bad rhs"),
    ],
)
def test_messages(text, message):
    with pytest.raises(ValueError) as caught:
        mekra.solve_cp_text(text)
    assert caught.value.args == (message,)


def test_allowed_forms():
    assert solve("var x 0 9 # note", "var y 0 1", "var z 0 1", "eq x y z")["status"] == "SAT"
    assert solve("var le 0 1", "var x -9223372036854775808 9223372036854775807", "le le le 0")["status"] == "SAT"
    assert solve("var x 0 +5", "linear 1 x 5 le extra") == {"status": "SAT", "model": {"x0": 0}}


# Beyond the plain rules: merged terms, exact arithmetic, the full 64-bit domain, the leaf check.
@pytest.mark.parametrize(
    "text, expected",
    [
        ("var x 0 5\nlinear 1 x 1 x 4 eq", {"x0": 2}),
        ("var x 0 5\nlinear 0 x 5 eq", None),
        ("var x 0 5\nlinear 0 x 5 le", {"x0": 0}),
        ("var x -9223372036854775808 9223372036854775807", {"x0": MIN}),
        ("var x 0 1\nvar y -9223372036854775808 9223372036854775807", {"x0": 0, "x1": MIN}),
        ("var x 9223372036854775807 9223372036854775807\nvar y 0 9223372036854775807\nlt x y", None),
        ("var x 0 0\nvar y -9223372036854775808 -9223372036854775808\nle x y -1", None),
        ("var x -5 5\nlinear -9223372036854775808 x 9223372036854775807 le", {"x0": 0}),
        ("var x -5 5\nvar y 0 1\nlinear -9223372036854775808 x 1 y 1 eq", {"x0": 0, "x1": 1}),
        ("var x -5 5\nvar y 0 10\nlinear 9223372036854775807 x 9223372036854775807 x 1 y 5 eq", {"x0": 0, "x1": 5}),
        ("var x 9223372036854775806 9223372036854775807\nvar y 9223372036854775806 9223372036854775807\n"
         "linear 9223372036854775807 x 9223372036854775807 y -1 le", None),
        ("var x 0 1000000000000\nlt x x", None),
        ("var x 0 1000000000000\nvar y 0 1000000000000\nlt x y\nlt y x", None),
        ("var x 0 1000000000000\nvar y 0 1000000000000\nlinear 2 x -2 y 1 eq", None),
        ("var x 0 1000000000\nvar y 0 1000000000\nlinear 1 x 1 y 1999999999 eq", {"x0": 999999999, "x1": 1000000000}),
    ],
)
def test_mends(text, expected):
    result = mekra.solve_cp_text(text)
    if expected is None:
        assert result == {"status": "UNSAT"}
    else:
        assert result == {"status": "SAT", "model": expected}


def test_empty_domain_beside_many_free_variables_is_unsat_at_once():
    text = "var e 1 0\n" + "\n".join(f"var b{i} 0 1" for i in range(40))
    assert mekra.solve_cp_text(text) == {"status": "UNSAT"}


def test_long_lt_chain_does_not_exhaust_the_stack():
    n = 100_000
    lines = [f"var v{i} 0 {2 * n}" for i in range(n)]
    lines += [f"lt v{i} v{i + 1}" for i in range(n - 1)]
    result = mekra.solve_cp_text("\n".join(lines))
    assert result["status"] == "SAT"
    assert list(result["model"].values()) == list(range(n))


def test_wide_domain_value_found_without_listing_values():
    result = solve("var x 0 4000000000000000000", "var y 0 4000000000000000000", "neq x y")
    assert result == {"status": "SAT", "model": {"x0": 0, "x1": 1}}
    result = solve("var x 0 4000000000000000000", "var y 0 4000000000000000000", "le y x -3999999999999999990")
    assert result == {"status": "SAT", "model": {"x0": 3999999999999999990, "x1": 0}}


def check(text, model):
    """Independent check of a model against CP text read by a tiny reader here."""
    names, values, declared = {}, list(model.values()), 0
    for raw in text.split("\n"):
        t = raw.split()
        if not t or t[0].startswith("#") or t[0].startswith("//"):
            continue
        v = lambda k: values[names[k]]
        if t[0] == "var":
            names[t[1]] = declared
            declared += 1
            assert int(t[2]) <= values[names[t[1]]] <= int(t[3])
        elif t[0] == "eq":
            assert v(t[1]) == v(t[2])
        elif t[0] == "neq":
            assert v(t[1]) != v(t[2])
        elif t[0] == "lt":
            assert v(t[1]) < v(t[2])
        elif t[0] == "le":
            assert v(t[1]) <= v(t[2]) + int(t[3])
        elif t[0] == "linear":
            s = sum(int(t[i]) * v(t[i + 1]) for i in range(1, len(t) - 2, 2))
            rhs, rel = int(t[-2]), t[-1]
            assert {"le": s <= rhs, "eq": s == rhs, "ge": s >= rhs}[rel]
        elif t[0] in ("allDiff", "alldifferent"):
            vals = [v(k) for k in t[1:]]
            assert len(set(vals)) == len(vals)


@st.composite
def models(draw):
    n = draw(st.integers(1, 5))
    lines = []
    for i in range(n):
        lo = draw(st.integers(-3, 3))
        lines.append(f"var v{i} {lo} {lo + draw(st.integers(0, 4))}")
    var = st.integers(0, n - 1).map(lambda i: f"v{i}")
    for _ in range(draw(st.integers(0, 5))):
        kind = draw(st.sampled_from(["eq", "neq", "lt", "le", "linear", "allDiff"]))
        if kind in ("eq", "neq", "lt"):
            lines.append(f"{kind} {draw(var)} {draw(var)}")
        elif kind == "le":
            lines.append(f"le {draw(var)} {draw(var)} {draw(st.integers(-3, 3))}")
        elif kind == "linear":
            terms = draw(st.lists(st.tuples(st.integers(-3, 3), var), min_size=1, max_size=3))
            body = " ".join(f"{c} {x}" for c, x in terms)
            lines.append(f"linear {body} {draw(st.integers(-8, 8))} {draw(st.sampled_from(['le', 'eq', 'ge']))}")
        else:
            lines.append("allDiff " + " ".join(draw(st.lists(var, min_size=2, max_size=4))))
    return "\n".join(lines)


@settings(max_examples=300, deadline=None, derandomize=True)
@given(models())
def test_every_model_satisfies_its_constraints(text):
    result = mekra.solve_cp_text(text)
    assert result["status"] in ("SAT", "UNSAT")
    if result["status"] == "SAT":
        assert list(result["model"]) == [f"x{i}" for i in range(len(result["model"]))]
        check(text, result["model"])


_pieces = st.sampled_from(
    ["var ", "x ", "y ", "eq ", "neq ", "lt ", "le ", "linear ", "allDiff ", "alldifferent ", "0 ", "1 ", "-3 ",
     "+", "9223372036854775808 ", "\n", "\r\n", "#", "//", "\u00a0", "\u2028", "ge ", "eq\n", "\x00"]
)


@settings(max_examples=300, deadline=None, derandomize=True)
@given(st.one_of(st.text(max_size=60), st.lists(_pieces, max_size=30).map("".join)))
def test_arbitrary_text_gives_dict_or_value_error(text):
    try:
        result = mekra.solve_cp_text(text)
    except ValueError as error:
        assert isinstance(error.args[0], str) and error.args[0]
    else:
        assert isinstance(result, dict) and result["status"] in ("SAT", "UNSAT")


# ---- models that can never hold: refuted before search ------------------------------------

WIDE = "0 1000000000000"
TIES = {
    "eq": ["eq x y"],
    "offset": ["linear 1 x -1 y 0 eq"],
    "offset-reversed": ["linear -1 y 1 x 0 eq"],
    "le-both-ways": ["le x y 0", "le y x 0"],
    "chain": ["eq x u", "linear 1 u -1 w 0 eq", "le w y 0", "le y w 0"],
}
APART = {
    "neq": ["neq x y"],
    "allDiff": ["allDiff z x y"],
    "alldifferent": ["alldifferent y z x"],
}
SAME_TWICE = [["neq x x"], ["allDiff x y x"], ["alldifferent z x y x"]]


def wide_model(*constraints):
    return "\n".join([f"var {v} {WIDE}" for v in "xyzuw"] + [c for group in constraints for c in group])


TIED_APART = [wide_model(tie, apart) for tie in TIES.values() for apart in APART.values()]
TIED_APART += [wide_model(same) for same in SAME_TWICE]


def test_tied_pairs_set_apart_are_unsat_at_once():
    # In a child process with a budget: without the shortcut each would search a trillion values.
    results = run_calls([("solve_cp_text", text) for text in TIED_APART], 10.0)
    assert [kind for kind, _ in results] == ["dict"] * len(TIED_APART)
    for text in TIED_APART:
        assert mekra.solve_cp_text(text) == {"status": "UNSAT"}


@pytest.mark.parametrize(
    "text, expected",
    [
        # tie and difference side by side, a solution exists: the search's first one
        ("var x 0 5\nvar y 0 5\nvar z 0 5\neq x y\nneq x z", {"status": "SAT", "model": {"x0": 0, "x1": 0, "x2": 1}}),
        ("var x 0 5\nvar y 0 5\nle x y 0\nneq x y", {"status": "SAT", "model": {"x0": 0, "x1": 1}}),
        ("var x 0 5\nvar y 0 5\nlinear 1 x -1 y 1 eq\nneq x y", {"status": "SAT", "model": {"x0": 1, "x1": 0}}),
        ("var x 0 5\nvar y 0 5\nle x y 1\nle y x 0\nneq x y", {"status": "SAT", "model": {"x0": 1, "x1": 0}}),
        ("var x 4 4\nvar y 0 9\nvar z 4 4\neq x z\nneq x y\nneq z y", {"status": "SAT", "model": {"x0": 4, "x1": 0, "x2": 4}}),
    ],
)
def test_ties_beside_differences_keep_the_search_answer(text, expected):
    assert mekra.solve_cp_text(text) == expected
