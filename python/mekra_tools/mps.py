"""A reader for MPS models, fixed or free format.

Fields are split at white space, which reads free MPS and the fixed files whose names hold no
blanks; a line that does not read that way is read again by the fixed columns (2-3, 5-12,
15-22, 25-36, 40-47, 50-61), so fixed files with blanks inside names read too.

Conventions where the field's readers differ, chosen as glpsol and CBC do:
- the first N row is the objective (unless OBJNAME names another); other N rows are dropped;
- only the first RHS, RANGES and BOUNDS vector is used; later vectors are ignored with a warning;
- a MARKER integer column that BOUNDS never mentions is binary, [0, 1]; once BOUNDS mentions it
  its upper bound starts at +inf;
- UP with a negative value on a column whose lower bound is still the default 0 makes the lower
  bound -inf (with a warning); MI sets only the lower bound, PL only the upper;
- magnitudes of 1e30 and more are infinite; a RHS on the objective row is minus the objective
  constant; repeated entries of one row and column are added.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from decimal import Decimal, InvalidOperation
from typing import Literal

from .errors import InputError

RowType = Literal["N", "E", "L", "G"]
INFINITY = Decimal("1e30")
SECTIONS = ("NAME", "ROWS", "COLUMNS", "RHS", "RANGES", "BOUNDS", "ENDATA", "OBJSENSE", "OBJSENS", "OBJNAME")
UNSUPPORTED = ("SOS", "QUADOBJ", "QMATRIX", "QSECTION", "QCMATRIX", "CSECTION", "INDICATORS", "GENCONS")
BOUND_TYPES_WITH_VALUE = ("UP", "LO", "FX", "LI", "UI", "SC")
BOUND_TYPES_WITHOUT_VALUE = ("FR", "MI", "PL", "BV")
FIXED_FIELDS = ((1, 3), (4, 12), (14, 22), (24, 36), (39, 47), (49, 61))


@dataclass
class Column:
    name: str
    entries: dict[str, Decimal] = field(default_factory=dict)  # row name -> coefficient
    integer: bool = False
    lower: Decimal = Decimal(0)  # -INFINITY for none
    upper: Decimal | None = None  # None: +inf
    bounded: bool = False  # BOUNDS mentions it


@dataclass
class Row:
    name: str
    type: RowType
    rhs: Decimal = Decimal(0)
    range: Decimal | None = None


@dataclass
class MpsModel:
    name: str = ""
    maximize: bool = False
    objective: str | None = None
    rows: list[Row] = field(default_factory=list)
    columns: list[Column] = field(default_factory=list)
    objective_constant: Decimal = Decimal(0)
    warnings: list[str] = field(default_factory=list)

    @property
    def has_integers(self) -> bool:
        return any(column.integer for column in self.columns)


def parse_number(token: str, source: str, line: int) -> Decimal:
    try:
        value = Decimal(token.replace("D", "E").replace("d", "e"))  # Fortran exponents in old files
    except InvalidOperation:
        raise InputError(source, f"bad number '{token}'", line) from None
    if value.is_nan():
        raise InputError(source, f"bad number '{token}'", line)
    if not value.is_finite() or abs(value) >= INFINITY:
        return INFINITY if value > 0 else -INFINITY
    return value


def fixed_fields(line: str) -> list[str]:
    fields = [line[start:end].strip() for start, end in FIXED_FIELDS]
    while fields and not fields[-1]:
        fields.pop()
    return fields[1:] if fields and not fields[0] else fields


def is_number(token: str) -> bool:
    try:
        Decimal(token.replace("D", "E").replace("d", "e"))
        return True
    except InvalidOperation:
        return False


class _Reader:
    """One pass over the lines; each section's lines go to their own method."""

    def __init__(self, source: str) -> None:
        self.source = source
        self.model = MpsModel()
        self.rows: dict[str, Row] = {}
        self.columns: dict[str, Column] = {}
        self.free_rows: set[str] = set()
        self.objective_name: str | None = None
        self.in_integer_block = False
        self.vectors: dict[str, str] = {}  # section -> first vector name
        self.ignored: set[tuple[str, str]] = set()
        self.line = 0

    def fail(self, message: str) -> InputError:
        return InputError(self.source, message, self.line)

    def read(self, text: str) -> MpsModel:
        section = None
        ended = False
        for self.line, raw in enumerate(text.split("\n"), 1):
            line = raw.rstrip("\r")
            if not line.strip() or line.startswith("*"):
                continue
            if not line[0].isspace():
                words = line.split()
                head = words[0].upper()
                if head in UNSUPPORTED:
                    raise self.fail(f"section {head} is not supported (mekra solves linear models only)")
                if head not in SECTIONS:
                    # some free files put data lines at column 1: read them in the current section
                    if section is not None and section in ("ROWS", "COLUMNS", "RHS", "RANGES", "BOUNDS"):
                        self.data(section, line, words)
                        continue
                    raise self.fail(f"unknown section '{words[0]}'")
                section = head
                if head == "ENDATA":
                    ended = True
                    break
                if head == "NAME":
                    self.model.name = " ".join(words[1:])
                elif head in ("OBJSENSE", "OBJSENS") and len(words) > 1:
                    self.sense(words[1])
                elif head == "OBJNAME" and len(words) > 1:
                    self.objective_name = words[1]
                continue
            if section is None:
                raise self.fail("data before the first section")
            self.data(section, line, line.split())
        if not ended and section is None:
            raise InputError(self.source, "no MPS sections (is this an MPS file?)")
        return self.finish()

    def data(self, section: str, line: str, words: list[str]) -> None:
        if section in ("OBJSENSE", "OBJSENS"):
            self.sense(words[0])
        elif section == "OBJNAME":
            self.objective_name = words[0]
        elif section == "NAME":
            pass
        elif section == "ROWS":
            self.row(words if len(words) == 2 else fixed_fields(line))
        elif section == "COLUMNS":
            self.column(words, line)
        elif section in ("RHS", "RANGES"):
            self.vector(section, words, line)
        elif section == "BOUNDS":
            self.bound(words, line)

    def sense(self, word: str) -> None:
        if word.upper() in ("MAX", "MAXIMIZE", "MAXIMISE"):
            self.model.maximize = True
        elif word.upper() in ("MIN", "MINIMIZE", "MINIMISE"):
            self.model.maximize = False
        else:
            raise self.fail(f"OBJSENSE must be MIN or MAX, not '{word}'")

    def row(self, words: list[str]) -> None:
        if len(words) != 2 or words[0].upper() not in ("N", "E", "L", "G"):
            raise self.fail("a ROWS line is a type (N, E, L or G) and a name")
        kind, name = words[0].upper(), words[1]
        if name in self.rows or name in self.free_rows:
            raise self.fail(f"row '{name}' defined twice")
        if kind == "N":
            if self.objective_name is None:
                self.objective_name = name
            if name != self.objective_name:
                self.free_rows.add(name)
                return
        row = Row(name, kind)  # type: ignore[arg-type]
        self.rows[name] = row
        self.model.rows.append(row)

    def entry(self, words: list[str], line: str, named: bool) -> tuple[str, list[tuple[str, Decimal]]]:
        """The name (a column, or a vector which may be left out) and the (row, value) pairs.

        White-space fields first; a line that does not read that way is read by fixed columns.
        """
        first = 1 if named or len(words) in (3, 5) else 0
        name, rest = (words[0] if first else ""), words[first:]
        if len(rest) not in (2, 4) or not all(is_number(t) for t in rest[1::2]):
            fields = fixed_fields(line)
            name, rest = fields[0] if fields else "", fields[1:]
            if len(rest) not in (2, 4) or not all(is_number(t) for t in rest[1::2]):
                raise self.fail("expected a name and one or two (row, value) pairs")
        pairs = [(rest[i], parse_number(rest[i + 1], self.source, self.line)) for i in range(0, len(rest), 2)]
        return name, pairs

    def column(self, words: list[str], line: str) -> None:
        if len(words) >= 3 and words[1].strip("'\"").upper() == "MARKER":
            marker = words[2].strip("'\"").upper()
            if marker == "INTORG":
                self.in_integer_block = True
            elif marker == "INTEND":
                self.in_integer_block = False
            else:
                raise self.fail(f"unknown marker '{words[2]}'")
            return
        name, pairs = self.entry(words, line, named=True)
        column = self.columns.get(name)
        if column is None:
            column = Column(name, integer=self.in_integer_block)
            self.columns[name] = column
            self.model.columns.append(column)
        for row, value in pairs:
            if row in self.free_rows:
                continue
            if row not in self.rows:
                raise self.fail(f"unknown row '{row}'")
            if row in column.entries:
                self.model.warnings.append(f"line {self.line}: repeated entry ({row}, {name}) added up")
            column.entries[row] = column.entries.get(row, Decimal(0)) + value

    def in_first_vector(self, section: str, name: str) -> bool:
        first = self.vectors.setdefault(section, name)
        if first != name and (section, name) not in self.ignored:
            self.ignored.add((section, name))
            self.model.warnings.append(f"line {self.line}: {section} vector '{name}' ignored (only the first one is used)")
        return first == name

    def vector(self, section: str, words: list[str], line: str) -> None:
        vector_name, pairs = self.entry(words, line, named=False)
        if not self.in_first_vector(section, vector_name):
            return
        for row_name, value in pairs:
            if row_name in self.free_rows:
                continue
            row = self.rows.get(row_name)
            if row is None:
                raise self.fail(f"unknown row '{row_name}'")
            if section == "RANGES":
                if row.type == "N":
                    raise self.fail(f"RANGES on the objective row '{row_name}'")
                row.range = value
            elif row.type == "N":
                self.model.objective_constant = -value
            else:
                row.rhs = value

    def bound(self, words: list[str], line: str) -> None:
        kind = words[0].upper() if words else ""
        if kind not in BOUND_TYPES_WITH_VALUE + BOUND_TYPES_WITHOUT_VALUE:
            raise self.fail(f"unknown bound type '{words[0] if words else ''}'")
        if kind == "SC":
            raise self.fail("semi-continuous bounds (SC) are not supported")
        needs_value = kind in BOUND_TYPES_WITH_VALUE
        # [type, vector, column, value]; the vector name may be left out
        if needs_value:
            if len(words) == 4:
                vector, name, value_text = words[1], words[2], words[3]
            elif len(words) == 3:
                vector, name, value_text = "", words[1], words[2]
            else:
                fields = fixed_fields(line)
                if len(fields) != 4:
                    raise self.fail(f"{kind} bound needs a column and a value")
                vector, name, value_text = fields[1], fields[2], fields[3]
        else:
            if len(words) >= 3 and words[2] in self.columns:
                vector, name = words[1], words[2]
            elif len(words) >= 2 and words[1] in self.columns:
                vector, name = "", words[1]
            else:
                fields = fixed_fields(line)
                vector, name = (fields[1], fields[2]) if len(fields) >= 3 else ("", fields[-1])
            value_text = None
        column = self.columns.get(name)
        if column is None:
            raise self.fail(f"unknown column '{name}'")
        if not self.in_first_vector("BOUNDS", vector):
            return
        value = parse_number(value_text, self.source, self.line) if value_text is not None else None
        if not column.bounded:
            column.bounded = True
            column.upper = None  # a MARKER column's default upper bound 1 is dropped
        if kind in ("UP", "UI"):
            assert value is not None
            if value < 0 and column.lower == 0:
                column.lower = -INFINITY
                self.model.warnings.append(f"line {self.line}: negative upper bound on '{name}' with lower bound 0: lower bound set to -inf")
            column.upper = None if value >= INFINITY else value
        elif kind in ("LO", "LI"):
            assert value is not None
            column.lower = value
        elif kind == "FX":
            assert value is not None
            column.lower = value
            column.upper = value
        elif kind == "FR":
            column.lower, column.upper = -INFINITY, None
        elif kind == "MI":
            column.lower = -INFINITY
        elif kind == "PL":
            column.upper = None
        elif kind == "BV":
            column.lower, column.upper = Decimal(0), Decimal(1)
        if kind in ("BV", "LI", "UI"):
            column.integer = True

    def finish(self) -> MpsModel:
        model = self.model
        if self.objective_name is None or self.objective_name in self.free_rows:
            model.objective = None
        else:
            model.objective = self.objective_name
        for column in model.columns:
            if column.integer and not column.bounded:
                column.upper = Decimal(1)
        return model


def read_mps(text: str, source: str = "<text>") -> MpsModel:
    """Read an MPS text; faults raise InputError naming the source and the line."""
    return _Reader(source).read(text)
