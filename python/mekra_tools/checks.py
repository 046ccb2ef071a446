"""Traps in LP and CP texts: lines the module reads exactly as documented, but not as meant.

Each warning names the line and says what the module will do with it; the text itself is
never changed.
"""

from __future__ import annotations

import math
import re

from .kinds import Format
from .lp_text import LpLine, is_number, read_lines, resolve_names

LOOKS_LIKE_COEFFICIENT = re.compile(r"[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d*)?\s*[A-Za-z_(\[]|[+-]?(?:\d+\.?\d*|\.\d+)[eE]\d*\Z")
BRACKETS = set("()[]{}")
SATURATION = 2**63 - 1
CP_INTEGER = re.compile(r"[+-]?\d+\Z")


def lp_warnings(text: str) -> list[str]:
    lines = read_lines(text)
    warnings: list[str] = []
    if not any(line.kind in ("objective", "constraint") for line in lines):
        warnings.append("line 1: the text holds no objective and no constraint: the module solves an empty program")
    for line in lines:
        if line.kind == "comment" and line.text[0] == "c" and any(rel in line.text for rel in ("<=", ">=", "=")):
            warnings.append(
                f"line {line.number}: starts with 'c', so the module reads it as a comment and drops "
                "this constraint (name variables x0, x1, ...)")
    uses, reached = resolve_names(lines)
    for use in uses:
        if use.created and use.name != f"x{use.variable}":
            warnings.append(
                f"line {use.line}: '{use.name}' is not x<k> of an existing variable: the module makes a new "
                f"variable x{use.variable} here, at each occurrence")
    for line in lines:
        for term in line.terms:
            if term.name is not None:
                warnings += name_shape_warnings(line.number, term.name)
            if term.coefficient is not None:
                warnings += number_warnings(line.number, term.coefficient)
        if line.rhs is not None:
            warnings += number_warnings(line.number, line.rhs)
    for number, names in reached.items():
        if not names:
            declared = next(line.declared for line in lines if line.number == number)
            warnings.append(
                f"line {number}: 'int {declared}' reaches no variable: only variables of the objective "
                f"line can be declared integer (add 0*{declared} to the objective)")
    return sorted(warnings, key=lambda w: int(w.split(":", 1)[0].split()[1]))


def name_shape_warnings(number: int, name: str) -> list[str]:
    if BRACKETS & set(name):
        return [f"line {number}: name '{name}' holds brackets: the module has no parentheses and reads it as one name"]
    if LOOKS_LIKE_COEFFICIENT.match(name):
        return [f"line {number}: name '{name}' looks like a coefficient: the module reads it as one name "
                "(write a coefficient with '*', e.g. 2*x0)"]
    return []


def number_warnings(number: int, text: str) -> list[str]:
    if not is_number(text):
        return []
    value = float(text)
    if math.isnan(value):
        return [f"line {number}: '{text}' is not a number: the module reads it as 0"]
    if math.isinf(value) or abs(value) > SATURATION or (value != int(value) and abs(value) * 1e9 > SATURATION):
        return [f"line {number}: '{text}' saturates: the module reads it as a large finite number "
                "(about 9.2e9 or 9.2e18), not as infinity"]
    return []


def cp_warnings(text: str) -> list[str]:
    warnings: list[str] = []
    declared: dict[str, int] = {}
    variable_positions = {"eq": (1, 2), "neq": (1, 2), "lt": (1, 2), "le": (1, 2)}
    for number, raw in enumerate(text.split("\n"), 1):
        line = raw.strip()
        if not line or line.startswith(("#", "//")):
            continue
        tokens = line.split()
        keyword = tokens[0]
        if keyword == "var" and len(tokens) >= 2:
            if CP_INTEGER.match(tokens[1]):
                warnings.append(f"line {number}: variable named '{tokens[1]}' looks like a number: later lines "
                                "that write it mean this variable, not the number")
            declared[tokens[1]] = number
            continue
        if keyword in variable_positions:
            positions: tuple[int, ...] = variable_positions[keyword]
        elif keyword in ("allDiff", "alldifferent"):
            positions = tuple(range(1, len(tokens)))
        elif keyword == "linear":
            positions = tuple(range(2, len(tokens) - 2, 2))
        else:
            continue
        for position in positions:
            token = tokens[position] if position < len(tokens) else ""
            if not CP_INTEGER.match(token):
                continue
            if token in declared:
                warnings.append(f"line {number}: '{token}' is the variable declared on line "
                                f"{declared[token]}, not the number {token}")
            else:
                warnings.append(f"line {number}: '{token}' stands where a variable is needed: the module "
                                f"rejects it as an unknown variable (compare with a number through "
                                f"'linear', e.g. linear 1 x {token} eq)")
    return warnings


def text_warnings(fmt: Format, text: str) -> list[str]:
    """Warnings for a text of the given format (DIMACS and MPS have none of these traps)."""
    if fmt == "lp_text":
        return lp_warnings(text)
    if fmt == "cp_text":
        return cp_warnings(text)
    return []
