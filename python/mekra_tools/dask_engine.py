"""A batch on a Dask distributed cluster (`pip install mekra[dask]`).

Texts are read here and sent with the tasks, so workers need only mekra installed, no shared
files. Tasks travel in chunks (one Dask task per chunk: scheduling a Dask task costs far more
than a tiny instance). Without a timeout a chunk is solved inside the Dask worker; with one,
the Dask worker solves its chunk on a one-process local pool, which can kill an overrunning
solve (the module cannot be interrupted in-process).
"""

from __future__ import annotations

from collections.abc import Iterator
from functools import partial
from typing import Any

from .kinds import load
from .solving import Outcome, Task, run_task, run_tasks

CHUNKS_PER_WORKER = 8


def run_chunk(tasks: list[Task], timeout: float | None) -> list[Outcome]:
    if timeout is None:
        return run_tasks(tasks)
    from .pool import WorkerPool

    with WorkerPool(1, timeout) as pool:
        return list(pool.run(tasks))


def with_text(task: Task) -> Task | Outcome:
    """The task carrying its file's text; an unreadable file is answered at once."""
    index, source, kind, text, warnings = task
    if text is not None:
        return task
    try:
        loaded = load(source, kind)
    except Exception:
        return run_task(task)  # reports the reading error
    return (index, source, kind, loaded.text, warnings)


def solve_on_dask(tasks: list[Task], dask: Any, timeout: float | None) -> Iterator[Outcome]:
    from distributed import Client, as_completed

    client = dask if isinstance(dask, Client) else Client(dask)
    own_client = client is not dask
    try:
        ready: list[Task] = []
        for task in tasks:
            item = with_text(task)
            if isinstance(item, Outcome):
                yield item
            else:
                ready.append(item)
        workers = max(1, len(client.scheduler_info().get("workers", {})))
        size = max(1, min(256, len(ready) // (workers * CHUNKS_PER_WORKER)))
        chunks = [ready[i:i + size] for i in range(0, len(ready), size)]
        futures = client.map(partial(run_chunk, timeout=timeout), chunks, pure=False)
        try:
            for future in as_completed(futures):
                yield from future.result()
        finally:
            client.cancel(futures)
    finally:
        if own_client:
            client.close()
