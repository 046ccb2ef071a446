"""Python module: `mekra`."""

from typing import Any

__all__ = ["solve_sat", "solve_lp_text", "solve_milp_text", "solve_cp_text"]

def solve_sat(input: str) -> dict[str, Any]:
    """Solve a SAT problem from DIMACS CNF text.
    Returns a dict with keys: status, model (if SAT)."""

def solve_lp_text(input: str) -> dict[str, Any]:
    """Solve an LP problem from text."""

def solve_milp_text(input: str) -> dict[str, Any]:
    """Solve a MILP problem from text."""

def solve_cp_text(input: str) -> dict[str, Any]:
    """Solve a CP problem from text."""
