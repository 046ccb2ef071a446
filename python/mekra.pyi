"""Python module: `mekra`."""

from typing import Literal, TypedDict, Union

__all__ = ["solve_sat", "solve_lp_text", "solve_milp_text", "solve_cp_text"]

# Each result is a new dict; a key appears only for the outcomes listed with it.
# Model keys are "x0", "x1", ... by 0-based variable index, in ascending order.

class SatSatisfiable(TypedDict):
    status: Literal["SAT"]
    model: dict[str, bool]  # "x<i>" is DIMACS variable i + 1

class SatUnsatisfiable(TypedDict):
    status: Literal["UNSAT"]

SatResult = Union[SatSatisfiable, SatUnsatisfiable]

class LpOptimal(TypedDict):
    status: Literal["OPTIMAL"]
    model: dict[str, Union[int, float]]  # int when the exact value is whole
    objective: float

class LpFeasible(TypedDict):
    status: Literal["FEASIBLE"]  # branch and bound stopped by its node limit
    model: dict[str, Union[int, float]]

class LpNoModel(TypedDict):
    status: Literal[
        "INFEASIBLE",
        "UNBOUNDED",
        "UNKNOWN (unsupported)",
        "UNKNOWN (undecidable)",
        "UNKNOWN (numerical issue)",
        "UNKNOWN (resource limit)",
        "UNKNOWN (incomplete algorithm)",
    ]

class LpInternalError(TypedDict):
    status: str  # "UNKNOWN (internal: " + message + ")"

LpResult = Union[LpOptimal, LpFeasible, LpNoModel, LpInternalError]

class CpSatisfiable(TypedDict):
    status: Literal["SAT"]
    model: dict[str, int]  # by declaration order, never the declared names

class CpUnsatisfiable(TypedDict):
    status: Literal["UNSAT"]

CpResult = Union[CpSatisfiable, CpUnsatisfiable]

def solve_sat(input: str) -> SatResult:
    """Solve a SAT problem from DIMACS CNF text.
    Returns a dict with keys: status, model (if SAT)."""

def solve_lp_text(input: str) -> LpResult:
    """Solve an LP problem from text."""

def solve_milp_text(input: str) -> LpResult:
    """Solve a MILP problem from text."""

def solve_cp_text(input: str) -> CpResult:
    """Solve a CP problem from text."""
