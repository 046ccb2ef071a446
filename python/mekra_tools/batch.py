"""Solving many instances from Python: on local worker processes, in-process, or on Dask.

    from mekra_tools import solve_many, solve, Text
    for outcome in solve_many(["a.cnf", "models/"], jobs=4, timeout=10):
        print(outcome.source, outcome.status)
    solve(Text("p cnf 1 1\\n1 0", kind="sat"), timeout=5).result
"""

from __future__ import annotations

import os
from collections.abc import Generator, Iterable, Iterator
from dataclasses import dataclass
from typing import Any, Literal

from .kinds import Kind, expand_sources
from .pool import WorkerPool
from .solving import Outcome, Task, run_task

Engine = Literal["local", "dask"]


@dataclass(frozen=True)
class Text:
    """An instance given as its text rather than a path; `name` labels its outcome."""

    text: str
    kind: Kind | None = None
    name: str = "<text>"




def default_jobs() -> int:
    return len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else (os.cpu_count() or 1)


def make_tasks(instances: Iterable[str | os.PathLike[str] | Text], kind: Kind | None, warnings: bool) -> list[Task]:
    """Tasks in input order; folders are expanded to their instance files."""
    tasks: list[Task] = []
    paths: list[str] = []

    def flush() -> None:
        for source in expand_sources(paths):
            tasks.append((len(tasks), source, kind, None, warnings))
        paths.clear()

    for instance in instances:
        if isinstance(instance, Text):
            flush()
            tasks.append((len(tasks), instance.name, instance.kind or kind, instance.text, warnings))
        else:
            paths.append(os.fspath(instance))
    flush()
    return tasks


def in_order(outcomes: Iterable[Outcome]) -> Generator[Outcome, None, None]:
    """Outcomes in task order, each released as soon as all earlier ones are."""
    waiting: dict[int, Outcome] = {}
    following = 0
    try:
        for outcome in outcomes:
            waiting[outcome.index] = outcome
            while following in waiting:
                yield waiting.pop(following)
                following += 1
    finally:
        if isinstance(outcomes, Generator):
            outcomes.close()  # closing this closes the batch: its workers stop now


def solve_tasks(
    tasks: list[Task],
    jobs: int | None = None,
    timeout: float | None = None,
    engine: Engine = "local",
    dask: Any = None,
) -> Generator[Outcome, None, None]:
    if engine == "dask":
        from .dask_engine import solve_on_dask

        yield from solve_on_dask(tasks, dask, timeout)
        return
    if engine != "local":
        raise ValueError(f"engine must be 'local' or 'dask', not {engine!r}")
    with WorkerPool(jobs or default_jobs(), timeout) as pool:
        yield from pool.run(tasks)


def solve_many(
    instances: Iterable[str | os.PathLike[str] | Text],
    *,
    kind: Kind | None = None,
    jobs: int | None = None,
    timeout: float | None = None,
    engine: Engine = "local",
    ordered: bool = False,
    dask: Any = None,
    warnings: bool = False,
) -> Iterator[Outcome]:
    """Solve paths, folders and `Text`s, yielding an `Outcome` per instance as it finishes.

    jobs: worker processes (default: all cores). timeout: seconds per instance; an instance
    that overruns is reported with status "TIMEOUT" and its worker killed. engine "dask" runs
    the batch on a Dask cluster: `dask` is a `distributed.Client` or a scheduler address (texts
    are read here and sent, so the workers need only mekra installed). ordered: yield in input
    order. Closing the generator early stops every worker.
    """
    tasks = make_tasks(instances, kind, warnings)
    outcomes = solve_tasks(tasks, jobs, timeout, engine, dask)
    yield from in_order(outcomes) if ordered else outcomes


def solve(
    instance: str | os.PathLike[str] | Text,
    *,
    kind: Kind | None = None,
    timeout: float | None = None,
) -> Outcome:
    """Solve one instance in a worker process, so that a hard solve can be stopped by `timeout`."""
    tasks = make_tasks([instance], kind, False)
    if len(tasks) != 1:
        raise ValueError("solve() takes one instance; use solve_many() for folders")
    return next(solve_tasks(tasks, 1, timeout))


def solve_here(instance: str | os.PathLike[str] | Text, *, kind: Kind | None = None) -> Outcome:
    """Solve one instance in this process (no time limit: the module cannot be interrupted)."""
    (task,) = make_tasks([instance], kind, False)
    return run_task(task)
