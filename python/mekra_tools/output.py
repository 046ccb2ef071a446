"""How outcomes are written: one line each, JSON lines, or the SAT-competition format."""

from __future__ import annotations

import json
from typing import Any

from .solving import Outcome

SAT_EXIT = 10
UNSAT_EXIT = 20
LITERALS_PER_LINE = 20


def model_text(outcome: Outcome) -> str:
    model: dict[str, Any] = (outcome.result or {}).get("model", {})
    if outcome.kind == "sat":
        return " ".join(str(i + 1) if value else str(-(i + 1)) for i, value in enumerate(model.values()))
    return " ".join(f"{name}={value}" for name, value in model.items())


def line(outcome: Outcome, with_model: bool) -> str:
    """`FILE<TAB>STATUS<TAB>OBJECTIVE<TAB>TIME` ("-" where there is no objective)."""
    objective = (outcome.result or {}).get("objective")
    fields = [outcome.source, outcome.status, "-" if objective is None else repr(objective), f"{outcome.time:.3f}s"]
    text = "\t".join(fields)
    if with_model and outcome.result is not None and "model" in outcome.result:
        text += "\n\tmodel: " + model_text(outcome)
    return text


def json_line(outcome: Outcome) -> str:
    """The whole result dict, with the file, kind, time, and any error or warnings."""
    return json.dumps(outcome.as_json())


def competition(outcome: Outcome) -> tuple[list[str], int]:
    """The SAT-competition answer lines and exit code: 10 satisfiable, 20 unsatisfiable, else 0."""
    if outcome.status == "SAT":
        literals = model_text(outcome).split()
        lines = ["s SATISFIABLE"]
        for start in range(0, len(literals), LITERALS_PER_LINE):
            lines.append("v " + " ".join(literals[start:start + LITERALS_PER_LINE]))
        lines.append("v 0")
        return lines, SAT_EXIT
    if outcome.status == "UNSAT":
        return ["s UNSATISFIABLE"], UNSAT_EXIT
    return ["s UNKNOWN"], 0
