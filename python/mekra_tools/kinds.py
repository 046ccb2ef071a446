"""Which solver a file is for, and how its text is read (compression, standard input, SATLIB ends).

A file's kind comes from its name, once a compression suffix is taken off:

    .cnf           DIMACS CNF                       -> sat
    .mps           MPS, fixed or free format        -> lp, or milp when it has integer columns
    .mklp          mekra's LP text                  -> lp, or milp when it declares integers
    .mkcp          mekra's CP text                  -> cp

`.mklp` and `.mkcp` are mekra's own: `.lp` is the CPLEX LP format, which mekra does not read.
A name with no known suffix is recognised by its first lines (a `p cnf` line, or MPS sections),
so that the MIPLIB files (`p0033.gz`) need no `--kind`.
"""

from __future__ import annotations

import bz2
import gzip
import lzma
import os
import re
import sys
from dataclasses import dataclass, field
from typing import Literal

from .errors import InputError

Kind = Literal["sat", "lp", "milp", "cp"]
Format = Literal["dimacs", "mps", "lp_text", "cp_text"]

KINDS: tuple[Kind, ...] = ("sat", "lp", "milp", "cp")
SUFFIX_FORMATS: dict[str, Format] = {
    ".cnf": "dimacs",
    ".mps": "mps",
    ".mklp": "lp_text",
    ".mkcp": "cp_text",
}
COMPRESSIONS = {".gz": gzip.decompress, ".xz": lzma.decompress, ".bz2": bz2.decompress}
STDIN = "-"

SATLIB_END_NOTE = "a SATLIB '%' end line and what follows it were cut (not DIMACS)"
_INT_DECLARATION = re.compile(r"^[ \t]*int ", re.MULTILINE)


@dataclass
class Loaded:
    """The text of one instance as the solver will see it."""

    source: str
    format: Format
    text: str
    notes: list[str] = field(default_factory=list)


def strip_compression(name: str) -> str:
    for suffix in COMPRESSIONS:
        if name.endswith(suffix):
            return name[: -len(suffix)]
    return name


def format_from_name(name: str) -> Format | None:
    return SUFFIX_FORMATS.get(os.path.splitext(strip_compression(name))[1].lower())


def is_instance_name(name: str) -> bool:
    """True for names whose suffix gives a kind; used to pick the instances of a folder."""
    return format_from_name(name) is not None


def sniff_format(text: str) -> Format | None:
    """The format of a text with an unknown name, from its first meaningful line."""
    for raw in text.splitlines()[:200]:
        line = raw.strip()
        if not line or line[0] in "c*#" or line.startswith("//"):
            continue
        word = line.split()[0]
        if word == "p" or line.startswith("p cnf"):
            return "dimacs"
        if word.upper() in ("NAME", "ROWS", "OBJSENSE", "OBJSENS"):
            return "mps"
        if word in ("var", "eq", "neq", "lt", "le", "linear", "allDiff", "alldifferent"):
            return "cp_text"
        if word in ("min", "max", "int") or any(rel in line for rel in ("<=", ">=", "=")):
            return "lp_text"
        return None
    return None


def format_for_kind(kind: Kind | None, name: str, text: str) -> Format:
    """The format to read: from the name, else from the text, checked against a forced kind."""
    found = format_from_name(name) or sniff_format(text)
    if kind == "sat":
        return "dimacs"
    if kind == "cp":
        return "cp_text"
    if kind in ("lp", "milp"):
        return "mps" if found == "mps" else "lp_text"
    if found is None:
        raise InputError(name, "unknown kind: name it .cnf, .mps, .mklp or .mkcp, or pass --kind")
    return found


def read_bytes(source: str) -> bytes:
    """The raw bytes of a file (or of standard input for `-`), decompressed by suffix."""
    try:
        if source == STDIN:
            data = sys.stdin.buffer.read()
        else:
            with open(source, "rb") as handle:
                data = handle.read()
    except OSError as error:
        raise InputError(source, error.strerror or str(error)) from None
    for suffix, decompress in COMPRESSIONS.items():
        if source.endswith(suffix):
            try:
                return decompress(data)
            except (OSError, EOFError, lzma.LZMAError, ValueError) as error:
                raise InputError(source, f"cannot decompress ({suffix[1:]}): {error}") from None
    if data[:2] == b"\x1f\x8b":  # gzip without the suffix (piped in, or renamed)
        try:
            return gzip.decompress(data)
        except (OSError, EOFError) as error:
            raise InputError(source, f"cannot decompress (gz): {error}") from None
    return data


def decode(source: str, data: bytes, fmt: Format) -> str:
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError as error:
        if fmt == "mps":  # old MPS files carry Latin-1 names
            return data.decode("latin-1")
        line = data[: error.start].count(b"\n") + 1
        raise InputError(source, "not UTF-8 text", line) from None


def cut_satlib_end(text: str) -> tuple[str, bool]:
    """Cut a SATLIB file at its `%` line: the `%` and the `0` after it are not DIMACS clauses."""
    match = re.search(r"^[ \t]*%", text, re.MULTILINE)
    if match is None:
        return text, False
    return text[: match.start()], True


def load(source: str, kind: Kind | None = None, text: str | None = None) -> Loaded:
    """Read one instance (or take the given text) and settle its format."""
    if text is None:
        data = read_bytes(source)
        fmt = format_for_kind(kind, source, data[:4096].decode("latin-1"))
        text = decode(source, data, fmt)
    else:
        fmt = format_for_kind(kind, source, text[:4096])
    loaded = Loaded(source, fmt, text)
    if fmt == "dimacs":
        loaded.text, cut = cut_satlib_end(text)
        if cut:
            loaded.notes.append(SATLIB_END_NOTE)
    return loaded


def solver_kind(fmt: Format, forced: Kind | None, has_integers: bool) -> Kind:
    """The solver for a format: LP texts and MPS go to MILP when they declare integers."""
    if forced is not None:
        return forced
    if fmt == "dimacs":
        return "sat"
    if fmt == "cp_text":
        return "cp"
    return "milp" if has_integers else "lp"


def lp_text_has_integers(text: str) -> bool:
    return _INT_DECLARATION.search(text) is not None


OPENERS = {".gz": gzip.open, ".xz": lzma.open, ".bz2": bz2.open}
SNIFF_BYTES = 4096


def sniff_file(path: str) -> Format | None:
    """DIMACS or MPS from the first bytes of a file without a known suffix (the MIPLIB files)."""
    opener = next((OPENERS[s] for s in OPENERS if path.endswith(s)), open)
    try:
        with opener(path, "rb") as handle:  # type: ignore[operator]
            head = handle.read(SNIFF_BYTES)
    except (OSError, EOFError, lzma.LZMAError):
        return None
    found = sniff_format(head.decode("latin-1"))
    return found if found in ("dimacs", "mps") else None  # LP and CP texts have no clear signature


def is_instance_file(path: str) -> bool:
    return is_instance_name(path) or sniff_file(path) is not None


def expand_sources(paths: list[str]) -> list[str]:
    """Files as given, and each folder's instance files, sorted, recursively: files with a known
    suffix, and DIMACS or MPS files recognised by their first lines."""
    sources: list[str] = []
    for path in paths:
        if path != STDIN and os.path.isdir(path):
            found: list[str] = []
            for root, dirs, files in os.walk(path):
                dirs[:] = sorted(d for d in dirs if not d.startswith("."))
                found.extend(os.path.join(root, f) for f in files if not f.startswith(".")
                             and is_instance_file(os.path.join(root, f)))
            sources.extend(sorted(found))
        else:
            sources.append(path)
    return sources
