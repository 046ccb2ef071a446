"""One instance, start to end: read, check, convert, solve, time. Runs in any process.

A task is a plain tuple so that it pickles cheaply: (index, source, kind or None, text or None,
want_warnings). Its outcome is an `Outcome`.
"""

from __future__ import annotations

import time
from dataclasses import dataclass, field
from collections.abc import Callable, Mapping
from typing import Any

import mekra

from .checks import text_warnings
from .convert import mps_to_lp_text
from .errors import InputError
from .kinds import Kind, Loaded, lp_text_has_integers, load, solver_kind
from .locate import locate
from .mps import read_mps

Task = tuple[int, str, "Kind | None", "str | None", bool]

SOLVERS: dict[str, Callable[[str], Mapping[str, Any]]] = {
    "sat": mekra.solve_sat,
    "lp": mekra.solve_lp_text,
    "milp": mekra.solve_milp_text,
    "cp": mekra.solve_cp_text,
}
TIMEOUT = "TIMEOUT"
ERROR = "ERROR"


@dataclass
class Outcome:
    """What became of one instance: the module's result dict, or an error, or a timeout."""

    index: int
    source: str
    kind: str | None = None
    result: dict[str, Any] | None = None
    error: str | None = None  # names the file and (where known) the line
    timed_out: bool = False
    time: float = 0.0  # seconds spent solving (reading and converting included)
    warnings: list[str] = field(default_factory=list)
    notes: list[str] = field(default_factory=list)

    @property
    def status(self) -> str:
        if self.timed_out:
            return TIMEOUT
        if self.result is None:
            return ERROR
        return str(self.result["status"])

    @property
    def ok(self) -> bool:
        return self.error is None

    def as_json(self) -> dict[str, Any]:
        record: dict[str, Any] = {"file": self.source, "kind": self.kind, "status": self.status}
        if self.result is not None:
            record.update({k: v for k, v in self.result.items() if k != "status"})
        if self.error is not None:
            record["error"] = self.error
        record["time"] = round(self.time, 6)
        if self.warnings:
            record["warnings"] = self.warnings
        return record


LINE_PREFIX = "line "


def with_location(source: str, message: str) -> str:
    """`FILE:LINE: message` when the module's message starts with its line, else `FILE: message`."""
    if message.startswith(LINE_PREFIX) and ":" in message:
        head, rest = message.split(":", 1)
        number = head[len(LINE_PREFIX):]
        if number.isdigit():
            return f"{source}:{number}:{rest}"
    return f"{source}: {message}"


def prepare(loaded: Loaded, forced: Kind | None) -> tuple[Kind, str]:
    """The solver kind and the text it reads (MPS converted to LP text)."""
    if loaded.format == "mps":
        model = read_mps(loaded.text, loaded.source)
        return solver_kind("mps", forced, model.has_integers), mps_to_lp_text(model, loaded.source)
    has_integers = loaded.format == "lp_text" and lp_text_has_integers(loaded.text)
    return solver_kind(loaded.format, forced, has_integers), loaded.text


def run_task(task: Task) -> Outcome:
    """Solve one task; bad input and internal failures become an Outcome with an error."""
    index, source, forced, text, want_warnings = task
    outcome = Outcome(index, source, forced)
    started = time.perf_counter()
    loaded: Loaded | None = None
    try:
        loaded = load(source, forced, text)
        outcome.notes = loaded.notes
        kind, solver_text = prepare(loaded, forced)
        outcome.kind = kind
        if want_warnings:
            outcome.warnings = [with_location(source, w) for w in text_warnings(loaded.format, loaded.text)]
        outcome.result = dict(SOLVERS[kind](solver_text))
    except InputError as error:
        outcome.error = str(error)
    except ValueError as error:
        message = str(error)
        line = None
        if loaded is not None and not message.startswith(LINE_PREFIX):
            line = locate(loaded.format, loaded.text, message)
        outcome.error = with_location(source, message if line is None else f"{LINE_PREFIX}{line}: {message}")
    except MemoryError as error:
        outcome.error = f"{source}: out of memory: {error}"
    except BaseException as error:  # PanicException derives from BaseException
        if isinstance(error, (KeyboardInterrupt, SystemExit)):
            raise
        outcome.error = f"{source}: internal failure ({type(error).__name__}): {error}"
    outcome.time = time.perf_counter() - started
    return outcome


def run_tasks(tasks: list[Task]) -> list[Outcome]:
    """A chunk of tasks in one call (for Dask workers)."""
    return [run_task(task) for task in tasks]
