"""Result dictionaries: keys, their order, and value types, across the four functions."""

import mekra


def test_sat_result_keys_in_order():
    result = mekra.solve_sat("p cnf 1 1\n1 0")
    assert result == {"status": "SAT", "model": {"x0": True}}
    assert list(result) == ["status", "model"]
    assert mekra.solve_sat("p cnf 0 0") == {"status": "SAT", "model": {}}


def test_unsat_result_has_only_the_status():
    result = mekra.solve_sat("p cnf 1 2\n1 0\n-1 0")
    assert result == {"status": "UNSAT"}
    assert "model" not in result


def test_model_keys_ascend_by_index_not_as_text():
    clauses = "".join(f"{i} 0\n" for i in range(1, 12))
    model = mekra.solve_sat(f"p cnf 11 11\n{clauses}")["model"]
    assert list(model) == [f"x{i}" for i in range(11)]
    assert all(value is True for value in model.values())


def test_lp_result_keys_and_types():
    result = mekra.solve_lp_text("max 3*x0 + 2*x1\nx0 + x1 <= 4\nx0 + 3*x1 <= 6")
    assert list(result) == ["status", "model", "objective"]
    assert result == {"status": "OPTIMAL", "model": {"x0": 4, "x1": 0}, "objective": 12.0}
    assert type(result["objective"]) is float
    assert all(type(v) is int for v in result["model"].values())
    half = mekra.solve_lp_text("max x0\n2*x0 <= 1")
    assert half["model"] == {"x0": 0.5} and type(half["model"]["x0"]) is float
    assert list(mekra.solve_lp_text("max x0")) == ["status"]


def test_cp_result_keys_and_types():
    result = mekra.solve_cp_text("var x 0 9\nvar y 0 9\nlinear 1 x 1 y 10 eq\nlt x y")
    assert result == {"status": "SAT", "model": {"x0": 1, "x1": 9}}
    assert list(result) == ["status", "model"]
    assert mekra.solve_cp_text("var x 5 3") == {"status": "UNSAT"}
