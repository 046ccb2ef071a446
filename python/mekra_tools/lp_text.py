"""mekra's LP text read line by line as the module reads it, keeping what the module forgets
(names, line numbers), so that the checks can say where a text misleads and tests can compare
two texts.
"""

from __future__ import annotations

import re
from dataclasses import dataclass, field
from fractions import Fraction
from typing import Literal

LineKind = Literal["blank", "comment", "end", "objective", "int", "constraint", "bad"]
NUMBER = re.compile(r"[+-]?(?:(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?|(?i:inf|infinity|nan))\Z")
RELATIONS = ("<=", ">=", "=")


@dataclass
class Term:
    """One signed piece of an expression: a constant, a fraction, or a (coefficient, name) term."""

    sign: int
    text: str
    coefficient: str | None = None  # text before "*"
    name: str | None = None


@dataclass
class LpLine:
    number: int
    text: str  # trimmed
    kind: LineKind
    sense: str | None = None  # "min" / "max"
    terms: list[Term] = field(default_factory=list)
    relation: str | None = None
    rhs: str | None = None
    declared: str | None = None  # the name of an `int` line


def is_number(text: str) -> bool:
    return NUMBER.match(text) is not None


def split_terms(text: str) -> list[Term]:
    """Cut an expression into signed pieces and sort each into constant, fraction or named term."""
    pieces: list[tuple[int, str]] = []
    sign, piece = 1, ""
    for char in text.strip():
        if char in " \t":
            if piece:
                piece += " "
        elif char in "+-":
            if piece:
                pieces.append((sign, piece))
                piece = ""
            sign = 1 if char == "+" else -1
        else:
            piece += char
    if piece:
        pieces.append((sign, piece))
    terms = []
    for sign, raw in pieces:
        term = raw.strip()
        if not term:
            continue
        if "/" in term:
            terms.append(Term(sign, term))
        elif "*" in term:
            before, after = term.split("*", 1)
            terms.append(Term(sign, term, before.strip(), after.strip()))
        elif any(c.isalpha() for c in term):
            terms.append(Term(sign, term, None, term))
        else:
            terms.append(Term(sign, term))
    return terms


def classify(number: int, raw: str) -> LpLine:
    text = raw.strip()
    if not text:
        return LpLine(number, text, "blank")
    if text[0] in "#c":
        return LpLine(number, text, "comment")
    if text == "end":
        return LpLine(number, text, "end")
    if text.startswith(("min ", "max ")):
        return LpLine(number, text, "objective", sense=text[:3], terms=split_terms(text[4:].rstrip(";")))
    if text.startswith("int "):
        return LpLine(number, text, "int", declared=text[4:].strip())
    for relation in RELATIONS:
        if relation in text:
            left, right = text.split(relation, 1)
            rhs = right.strip().rstrip(";").strip()
            return LpLine(number, text, "constraint", terms=split_terms(left), relation=relation, rhs=rhs)
    return LpLine(number, text, "bad")


def read_lines(text: str) -> list[LpLine]:
    """Every line up to `end`, classified; carriage returns before a line feed are dropped."""
    lines = []
    for number, raw in enumerate(text.split("\n"), 1):
        line = classify(number, raw[:-1] if raw.endswith("\r") else raw)
        if line.kind == "end":
            break
        lines.append(line)
    return lines


@dataclass
class NameUse:
    """One occurrence of a name, with the variable the module gives it."""

    line: int
    name: str
    variable: int
    created: bool


def resolve_names(lines: list[LpLine]) -> tuple[list[NameUse], dict[int, list[str]]]:
    """Variables in the module's order (objective first, then constraints by line).

    Returns every name occurrence, and per `int` line the variables it reaches (none when the
    name is not that of a variable existing after the objective is read).
    """
    count = 0
    uses: list[NameUse] = []

    def lookup(line: int, name: str) -> None:
        nonlocal count
        match = re.fullmatch(r"x(0|[1-9]\d*)", name)
        if match and int(match.group(1)) < count:
            uses.append(NameUse(line, name, int(match.group(1)), False))
        else:
            uses.append(NameUse(line, name, count, True))
            count += 1

    objectives = [line for line in lines if line.kind == "objective"]
    if objectives:
        for term in objectives[-1].terms:
            if term.name is not None:
                lookup(objectives[-1].number, term.name)
    reached: dict[int, list[str]] = {}
    for line in lines:
        if line.kind == "int" and line.declared:
            name = line.declared
            match = re.fullmatch(r"x(0|[1-9]\d*)", name)
            reached[line.number] = [name] if match and int(match.group(1)) < count else []
    for line in lines:
        if line.kind == "constraint":
            for term in line.terms:
                if term.name is not None:
                    lookup(line.number, term.name)
    return uses, reached


@dataclass
class CanonicalProgram:
    """A program as exact numbers per variable index, for comparing two texts."""

    sense: str | None
    objective: dict[int, Fraction]
    objective_constant: Fraction
    constraints: list[tuple[tuple[tuple[int, Fraction], ...], str, Fraction]]
    integers: set[int]


def canonical(text: str) -> CanonicalProgram:
    """The program of an LP text with decimals read exactly (texts whose names are all x<k>)."""
    lines = read_lines(text)
    uses, reached = resolve_names(lines)
    use_at = iter(uses)

    def expression(terms: list[Term]) -> tuple[dict[int, Fraction], Fraction]:
        coefficients: dict[int, Fraction] = {}
        constant = Fraction(0)
        for term in terms:
            if term.name is not None:
                variable = next(use_at).variable
                value = Fraction(term.coefficient) if term.coefficient is not None else Fraction(1)
                coefficients[variable] = coefficients.get(variable, Fraction(0)) + term.sign * value
            elif "/" in term.text:
                a, b = term.text.split("/", 1)
                constant += term.sign * Fraction(a.strip()) / Fraction(b.strip())
            else:
                constant += term.sign * Fraction(term.text)
        return {k: v for k, v in coefficients.items() if v != 0}, constant

    objectives = [line for line in lines if line.kind == "objective"]
    sense: str | None = None
    objective: dict[int, Fraction] = {}
    objective_constant = Fraction(0)
    if objectives:
        sense = objectives[-1].sense
        objective, objective_constant = expression(objectives[-1].terms)
    constraints = []
    for line in lines:
        if line.kind == "constraint":
            assert line.rhs is not None and line.relation is not None
            coefficients, constant = expression(line.terms)
            constraints.append((tuple(sorted(coefficients.items())), line.relation, Fraction(line.rhs) - constant))
    integers = {int(names[0][1:]) for names in reached.values() if names}
    return CanonicalProgram(sense, objective, objective_constant, sorted(constraints), integers)
