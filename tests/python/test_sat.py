"""solve_sat through the module: the documented examples, pigeonhole formulas, random
formulas against brute force, and the variable limit."""

import itertools

import pytest
from hypothesis import given, settings, strategies as st

import mekra


@pytest.mark.parametrize(
    "text, expected",
    [
        ("p cnf 0 0", {"status": "SAT", "model": {}}),
        ("p cnf 1 1\n1 0", {"status": "SAT", "model": {"x0": True}}),
        ("p cnf 1 2\n1 0\n-1 0", {"status": "UNSAT"}),
        ("p cnf 2 1\n1 2 0", {"status": "SAT", "model": {"x0": True, "x1": True}}),
        ("p cnf 2 1\n-1 -2 0", {"status": "SAT", "model": {"x0": False, "x1": True}}),
        ("p cnf 2 2\n-1 0\n1 2 0", {"status": "SAT", "model": {"x0": False, "x1": True}}),
        ("p cnf 3 1\n2 0", {"status": "SAT", "model": {"x0": True, "x1": True}}),
        ("p cnf 5 1\n2 0", {"status": "SAT", "model": {"x0": True, "x1": True}}),
        ("p cnf 2 4\n1 2 0\n-1 2 0\n1 -2 0\n-1 -2 0", {"status": "UNSAT"}),
        ("p cnf 1 1\n1 -1 0", {"status": "SAT", "model": {"x0": True}}),
        ("p cnf 1 1\n0", {"status": "UNSAT"}),
    ],
)
def test_examples(text, expected):
    result = mekra.solve_sat(text)
    assert result == expected
    assert list(result) == list(expected)  # key order: status, then model
    if "model" in expected:
        assert list(result["model"]) == list(expected["model"])
        assert all(type(v) is bool for v in result["model"].values())


def test_model_keys_in_index_order():
    result = mekra.solve_sat("p cnf 11 1\n11 0")
    assert list(result["model"]) == [f"x{i}" for i in range(11)]


def test_satlib_end_marker_must_be_cut_by_the_caller():
    with pytest.raises(ValueError, match=r"^line 3: invalid literal '%'$"):
        mekra.solve_sat("p cnf 1 1\n1 0\n%\n0\n")


def pigeonhole(pigeons, holes):
    def var(p, h):
        return p * holes + h + 1

    clauses = [[var(p, h) for h in range(holes)] for p in range(pigeons)]
    for h in range(holes):
        for p, q in itertools.combinations(range(pigeons), 2):
            clauses.append([-var(p, h), -var(q, h)])
    return clauses


def dimacs(clauses, variables):
    lines = [f"p cnf {variables} {len(clauses)}"]
    lines += [" ".join(map(str, clause)) + " 0" for clause in clauses]
    return "\n".join(lines) + "\n"


def satisfies(clauses, model):
    return all(any(model[f"x{abs(d) - 1}"] == (d > 0) for d in clause) for clause in clauses)


def test_pigeonhole():
    assert mekra.solve_sat(dimacs(pigeonhole(4, 3), 12)) == {"status": "UNSAT"}
    clauses = pigeonhole(3, 3)
    result = mekra.solve_sat(dimacs(clauses, 9))
    assert result["status"] == "SAT"
    assert satisfies(clauses, result["model"])


def brute_force_satisfiable(clauses, variables):
    for bits in itertools.product((False, True), repeat=variables):
        if all(any(bits[abs(d) - 1] == (d > 0) for d in clause) for clause in clauses):
            return True
    return False


literal = st.integers(1, 6).flatmap(lambda v: st.sampled_from([v, -v]))
clause = st.lists(literal, min_size=0, max_size=5)
formula = st.lists(clause, min_size=0, max_size=30)


@settings(max_examples=200, deadline=None, derandomize=True)
@given(formula)
def test_random_formulas_agree_with_brute_force(clauses):
    variables = max((abs(d) for c in clauses for d in c), default=0)
    result = mekra.solve_sat(dimacs(clauses, variables))
    expected = brute_force_satisfiable(clauses, variables)
    assert result["status"] == ("SAT" if expected else "UNSAT")
    if expected:
        assert list(result["model"]) == [f"x{i}" for i in range(variables)]
        assert satisfies(clauses, result["model"])
    else:
        assert list(result) == ["status"]


@pytest.mark.parametrize("literal", ["-2147483648", "2147483647", "1000000000"])
def test_variable_count_beyond_memory_is_memory_error(literal):
    count = literal.lstrip("-")
    with pytest.raises(MemoryError, match=rf"\b{count} variables"):
        mekra.solve_sat(f"p cnf 1 1\n{literal} 0")


def test_reader_errors_are_value_errors():
    with pytest.raises(ValueError, match=r"^line 2: invalid literal 'x'$"):
        mekra.solve_sat("p cnf 1 1\n1 x 0")
    with pytest.raises(ValueError, match=r"^missing 'p cnf' header$"):
        mekra.solve_sat("")
