import pytest

import mekra

FUNCTIONS = ["solve_sat", "solve_lp_text", "solve_milp_text", "solve_cp_text"]


def implemented(name: str, probe: str) -> bool:
    """Whether a function's solver is built (its body answers instead of NotImplementedError)."""
    try:
        getattr(mekra, name)(probe)
    except NotImplementedError:
        return False
    except Exception:
        return True
    return True


@pytest.fixture(params=FUNCTIONS)
def function_name(request):
    return request.param
