"""The line of a reader message that carries none ("bad number: y", "bad c"), so that every
error names its file and line. Lines are tried in the order the module reads them."""

from __future__ import annotations

import re

from .kinds import Format
from .lp_text import LpLine, is_number, read_lines

CP_INTEGER = re.compile(r"[+-]?\d+\Z")
CP_MINIMUM_TOKENS = {"eq": 3, "neq": 3, "lt": 3, "le": 4, "linear": 5, "allDiff": 3, "alldifferent": 3}
CP_SHORT_MESSAGES = {"eq": "eq needs 2 vars", "neq": "neq needs 2 vars", "lt": "lt needs 2 vars",
                     "le": "le needs 2 vars + c", "linear": "linear: need at least coeff var rhs rel",
                     "allDiff": "allDiff needs ≥ 2 vars", "alldifferent": "allDiff needs ≥ 2 vars"}


def lp_term_fault(line: LpLine) -> str | None:
    for term in line.terms:
        if "/" in term.text:
            numerator, denominator = (part.strip() for part in term.text.split("/", 1))
            if not is_number(numerator):
                return f"bad num in {term.text}"
            if not is_number(denominator):
                return f"bad den in {term.text}"
        elif term.coefficient is not None and not is_number(term.coefficient):
            return f"bad coeff in {term.text}"
        elif term.name is None and not is_number(term.text):
            return f"bad constant in {term.text}"
    return None


def locate_lp(text: str, message: str) -> int | None:
    lines = read_lines(text)
    for line in lines:  # right-hand sides are read in the line pass
        if line.kind == "constraint" and not is_number(line.rhs or "") and message == f"bad number: {line.rhs}":
            return line.number
    objectives = [line for line in lines if line.kind == "objective"]
    for line in objectives[-1:] + [line for line in lines if line.kind == "constraint"]:
        if lp_term_fault(line) == message:
            return line.number
    return None


def cp_fault(tokens: list[str]) -> str | None:
    keyword, count = tokens[0], len(tokens)
    if keyword not in CP_MINIMUM_TOKENS:
        return None
    if count < CP_MINIMUM_TOKENS[keyword]:
        return CP_SHORT_MESSAGES[keyword]
    if keyword == "le" and not CP_INTEGER.match(tokens[3]):
        return "bad c"
    if keyword == "linear":
        i = 1
        while i + 1 < count - 2:
            if not CP_INTEGER.match(tokens[i]):
                return "bad coeff"
            i += 2
        if not CP_INTEGER.match(tokens[i]):
            return "bad rhs"
        if tokens[i + 1] not in ("le", "eq", "ge"):
            return "linear: expected le/eq/ge"
    return None


def locate_cp(text: str, message: str) -> int | None:
    for number, raw in enumerate(text.split("\n"), 1):
        line = raw.strip()
        if line and not line.startswith(("#", "//")) and cp_fault(line.split()) == message:
            return number
    return None


def locate(fmt: Format, text: str, message: str) -> int | None:
    """The 1-based line a reader message without a line number is about, when it can be found."""
    if fmt == "lp_text":
        return locate_lp(text, message)
    if fmt == "cp_text":
        return locate_cp(text, message)
    return None
