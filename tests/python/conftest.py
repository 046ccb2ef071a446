import pytest


FUNCTIONS = ["solve_sat", "solve_lp_text", "solve_milp_text", "solve_cp_text"]


@pytest.fixture(params=FUNCTIONS)
def function_name(request):
    return request.param
