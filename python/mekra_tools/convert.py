"""MPS model -> mekra's LP text.

The LP text knows only non-negative variables x0, x1, ... and an `int` declaration reaches only
variables of the objective line, so:
- column k is xk (COLUMNS order) and the objective line lists every variable, with `0*xk` where
  the cost is zero;
- a column with a negative or infinite lower bound is split into xk - xm, xm a new variable
  numbered after all columns (both parts integer when the column is);
- free rows are dropped, a ranged row gives two constraints (`>= low`, `<= high`; one `=` line
  for a zero range), an empty row is dropped when it holds and kept (as `0 <= rhs` and the like)
  when it cannot;
- column bounds follow the rows as constraints, in column order;
- the objective constant is a constant term of the objective line.
Numbers are written as the exact decimals of the file; the ones the LP reader rounds are counted
in the header.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from decimal import Decimal

from .mps import INFINITY, Column, MpsModel, Row

SCALE_EXPONENT = -9  # the LP reader keeps nine decimal places
TINY = Decimal("5e-10")  # magnitudes below read as 0
SATURATION = Decimal(2**63 - 1)


@dataclass
class RoundingCount:
    """Numbers of the written text that the LP reader does not read exactly."""

    fine: int = 0  # more than nine decimal places
    tiny: int = 0  # nonzero, below 5e-10: read as 0
    saturated: int = 0  # beyond the 64-bit limit of the reader's fixed-point conversion

    def note(self, value: Decimal) -> None:
        magnitude = abs(value)
        if magnitude == 0:
            return
        if magnitude < TINY:
            self.tiny += 1
        elif value == value.to_integral_value():
            if magnitude > SATURATION:
                self.saturated += 1
        elif magnitude * 10**9 > SATURATION:
            self.saturated += 1
        elif value.as_tuple().exponent < SCALE_EXPONENT and value.normalize().as_tuple().exponent < SCALE_EXPONENT:  # type: ignore[operator]
            self.fine += 1

    @property
    def total(self) -> int:
        return self.fine + self.tiny + self.saturated


def decimal_text(value: Decimal) -> str:
    """A plain decimal (no exponent, no trailing zeros), as the LP reader wants it."""
    if value == 0:
        return "0"
    text = format(value.normalize(), "f")
    return text


@dataclass
class _Writer:
    model: MpsModel
    rounding: RoundingCount = field(default_factory=RoundingCount)
    split: dict[int, int] = field(default_factory=dict)  # column index -> index of its negative part

    def number(self, value: Decimal) -> str:
        self.rounding.note(value)
        return decimal_text(abs(value))

    def expression(self, terms: list[tuple[Decimal, int]], keep_zeros: bool = False) -> str:
        parts: list[str] = []
        for coefficient, variable in terms:
            if coefficient == 0 and not keep_zeros:
                continue
            sign = "-" if coefficient < 0 else "+"
            text = f"{self.number(coefficient)}*x{variable}"
            parts.append(f"{sign} {text}" if parts or sign == "-" else text)
        return " ".join(parts)

    def column_terms(self, index: int, coefficient: Decimal) -> list[tuple[Decimal, int]]:
        terms = [(coefficient, index)]
        if index in self.split:
            terms.append((-coefficient, self.split[index]))
        return terms

    def constraint(self, expression: str, relation: str, rhs: Decimal) -> str:
        sign = "-" if rhs < 0 else ""
        return f"{expression or '0'} {relation} {sign}{self.number(rhs)}"

    def write(self) -> tuple[list[str], dict[str, int]]:
        model = self.model
        columns = model.columns
        for index, column in enumerate(columns):
            if column.lower < 0:
                self.split[index] = len(columns) + len(self.split)
        # the module numbers variables by first appearance: list them all here, in index order
        costs = [column.entries.get(model.objective or "", Decimal(0)) for column in columns]
        objective = [(cost, index) for index, cost in enumerate(costs)]
        objective += [(-costs[index], part) for index, part in self.split.items()]
        body = self.expression(objective, keep_zeros=True)
        constant = model.objective_constant
        if constant != 0:
            body += f" {'-' if constant < 0 else '+'} {self.number(constant)}"
        lines = [f"{'max' if model.maximize else 'min'} {body or '0'}"]
        stats = {"rows": 0, "constraints": 0, "dropped_empty": 0, "bounds": 0}
        by_row: dict[str, list[tuple[Decimal, int]]] = {}
        for index, column in enumerate(columns):
            for row_name, value in column.entries.items():
                if row_name != model.objective:
                    by_row.setdefault(row_name, []).extend(self.column_terms(index, value))
        for row in model.rows:
            if row.name == model.objective:
                continue
            stats["rows"] += 1
            terms = [t for t in by_row.get(row.name, []) if t[0] != 0]
            row_lines = self.row_lines(row, self.expression(terms))
            if not terms and all(self.empty_holds(row)):
                row_lines = []  # an empty row that cannot hold stays, whole, to keep the model infeasible
                stats["dropped_empty"] += 1
            lines += row_lines
            stats["constraints"] += len(row_lines)
        for index, column in enumerate(columns):
            bound_lines = self.bound_lines(index, column)
            lines += bound_lines
            stats["bounds"] += len(bound_lines)
        for index, column in enumerate(columns):
            if column.integer:
                lines.append(f"int x{index}")
                if index in self.split:
                    lines.append(f"int x{self.split[index]}")
        return lines, stats

    def row_bounds(self, row: Row) -> list[tuple[str, Decimal]]:
        rhs, span = row.rhs, row.range
        if span is None:
            return [({"E": "=", "L": "<=", "G": ">="}[row.type], rhs)]
        if span == 0 and row.type in ("E", "L", "G"):
            return [("=", rhs)]
        if row.type == "L":
            low, high = rhs - abs(span), rhs
        elif row.type == "G":
            low, high = rhs, rhs + abs(span)
        else:
            low, high = (rhs, rhs + span) if span > 0 else (rhs + span, rhs)
        return [(">=", low), ("<=", high)]

    def row_lines(self, row: Row, expression: str) -> list[str]:
        return [self.constraint(expression, relation, value) for relation, value in self.row_bounds(row)]

    def empty_holds(self, row: Row) -> list[bool]:
        checks = {"=": lambda v: v == 0, "<=": lambda v: 0 <= v, ">=": lambda v: 0 >= v}
        return [checks[relation](value) for relation, value in self.row_bounds(row)]

    def bound_lines(self, index: int, column: Column) -> list[str]:
        expression = self.expression(self.column_terms(index, Decimal(1)))
        lower, upper = column.lower, column.upper
        if upper is not None and lower == upper:
            return [self.constraint(expression, "=", lower)]
        lines = []
        if lower > 0 or (index in self.split and lower > -INFINITY):
            lines.append(self.constraint(expression, ">=", lower))
        if upper is not None:
            lines.append(self.constraint(expression, "<=", upper))
        return lines


def mps_to_lp_text(model: MpsModel, source: str = "") -> str:
    """The LP text of a model, headed by comments on what was converted and what is rounded."""
    writer = _Writer(model)
    lines, stats = writer.write()
    rounding = writer.rounding
    integers = sum(column.integer for column in model.columns)
    header = [
        f"# mekra LP text converted from MPS{f' ({source})' if source else ''}",
        f"# model {model.name or '(unnamed)'}: {'maximise' if model.maximize else 'minimise'}, "
        f"{stats['rows']} rows, {len(model.columns)} columns, {integers} integer columns",
        f"# x0..x{len(model.columns) - 1} are the columns in COLUMNS order; "
        f"{len(writer.split)} columns split as xk - xm for negative lower bounds",
        f"# {stats['constraints']} row constraints ({stats['dropped_empty']} empty rows dropped), "
        f"{stats['bounds']} bound constraints",
        f"# numbers the LP reader rounds: {rounding.total} ({rounding.fine} with more than nine "
        f"decimal places, {rounding.tiny} below 5e-10 read as 0, {rounding.saturated} beyond the "
        "saturation limit)",
    ]
    header += [f"# warning: {warning}" for warning in model.warnings]
    return "\n".join(header + lines) + "\n"
