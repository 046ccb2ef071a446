"""A pool of worker processes that solves tasks in chunks and still enforces a per-task timeout.

Each worker gets its tasks in chunks (a few dozen tiny instances cost one message), and answers
each task on its own. The parent keeps each worker's queue in order, so it knows which task a
worker is on and since when: the moment the previous answer arrived. A worker that overruns the
timeout is killed, its task reported as timed out, the rest of its queue handed back, and a
fresh worker started in its place; the others carry on.

Workers are fresh interpreters (`python -m mekra_tools.worker`), started by fork+exec: nothing
of the parent's threads or state is inherited. They ignore Ctrl-C, die with their parent, and
`close()` kills every one of them at once.
"""

from __future__ import annotations

import fcntl
import os
import subprocess
import sys
import sysconfig
import time
from collections import deque
from collections.abc import Iterable, Iterator
from multiprocessing.connection import Connection, wait

from .solving import Outcome, Task

MAX_CHUNK = 64
TASK_BYTES = 512  # a task's pickled size without its text, generously
PIPE_BYTES = 1 << 20
DEFAULT_PIPE_BYTES = 1 << 16
F_SETPIPE_SZ = getattr(fcntl, "F_SETPIPE_SZ", 1031)
F_GETPIPE_SZ = getattr(fcntl, "F_GETPIPE_SZ", 1032)
READY = "ready"  # a worker's first message
CHUNKS_PER_WORKER = 8  # enough chunks that the workers finish together


def pipe_capacity(fd: int) -> int:
    """Grow a pipe to 1 MiB where Linux allows it; its capacity in bytes."""
    try:
        fcntl.fcntl(fd, F_SETPIPE_SZ, PIPE_BYTES)
        return int(fcntl.fcntl(fd, F_GETPIPE_SZ))
    except OSError:
        return DEFAULT_PIPE_BYTES


def worker_environment() -> dict[str, str]:
    """Ours; plus this package's folder on the path when it is not an installed one, so that a
    worker finds the package however the parent found it."""
    package_parent = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    installed = {os.path.abspath(sysconfig.get_path(name)) for name in ("purelib", "platlib")}
    if package_parent in installed:
        return dict(os.environ)
    path = os.environ.get("PYTHONPATH")
    return {**os.environ, "PYTHONPATH": package_parent + (os.pathsep + path if path else "")}


class Worker:
    """One worker process, its pipes, and the tasks sent to it in order."""

    def __init__(self) -> None:
        to_child_read, to_child_write = os.pipe()
        from_child_read, from_child_write = os.pipe()
        self.process = subprocess.Popen(
            [sys.executable, "-m", "mekra_tools.worker", str(to_child_read), str(from_child_write)],
            pass_fds=(to_child_read, from_child_write),
            stdin=subprocess.DEVNULL,
            close_fds=True,
            env=worker_environment(),
        )
        os.close(to_child_read)
        os.close(from_child_write)
        self.pipe_room = pipe_capacity(to_child_write)
        self.tasks = Connection(to_child_write, readable=False, writable=True)
        self.answers = Connection(from_child_read, readable=True, writable=False)
        self.ready = False
        self.queue: deque[Task] = deque()
        self.current_since = 0.0  # when the task at the head of the queue started

    def send(self, chunk: list[Task], now: float) -> None:
        if not self.queue:
            self.current_since = now
        self.queue.extend(chunk)
        self.tasks.send(chunk)

    def kill(self) -> None:
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.tasks.close()
        self.answers.close()


class WorkerPool:
    """Solve tasks on `jobs` workers, yielding outcomes as they finish (in no particular order)."""

    def __init__(self, jobs: int, timeout: float | None = None) -> None:
        if jobs < 1:
            raise ValueError("jobs must be at least 1")
        self.jobs = jobs
        self.timeout = timeout
        self.workers: list[Worker] = []

    def __enter__(self) -> WorkerPool:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def close(self) -> None:
        """Kill every worker at once (first signal all, then reap all)."""
        for worker in self.workers:
            if worker.process.poll() is None:
                worker.process.kill()
        for worker in self.workers:
            worker.kill()
        self.workers.clear()

    def chunk_size(self, count: int) -> int:
        if self.timeout is not None:
            # a timed-out worker takes its queue down with it: keep queues short
            return max(1, min(8, count // (self.jobs * CHUNKS_PER_WORKER)))
        return max(1, min(MAX_CHUNK, count // (self.jobs * CHUNKS_PER_WORKER)))

    def run(self, tasks: Iterable[Task]) -> Iterator[Outcome]:
        pending: deque[Task] = deque(tasks)
        size = self.chunk_size(len(pending))
        unanswered = len(pending)
        while len(self.workers) < min(self.jobs, max(1, len(pending))):
            self.workers.append(Worker())
        try:
            while unanswered:
                now = time.monotonic()
                for worker in self.workers:
                    if worker.ready and pending and len(worker.queue) <= size // 2:
                        chunk = self.next_chunk(pending, size, idle=not worker.queue, room=worker.pipe_room)
                        if chunk:
                            worker.send(chunk, now)
                for ready in wait([w.answers for w in self.workers], self.wait_time(now)):
                    worker = next(w for w in self.workers if w.answers is ready)
                    outcome = self.receive(worker, pending)
                    if outcome is not None:
                        unanswered -= 1
                        yield outcome
                for outcome in self.expire(pending):
                    unanswered -= 1
                    yield outcome
        finally:
            self.close()

    @staticmethod
    def next_chunk(pending: deque[Task], size: int, idle: bool, room: int) -> list[Task]:
        """Up to `size` tasks that fit the worker's pipe at once.

        A busy worker reads its next chunk only when it has finished the current one, so a chunk
        sent early must fit the pipe, or the parent would block in the write (and could not kill
        an overrunning solve meanwhile). An idle worker is reading: it takes any size.
        """
        chunk: list[Task] = []
        volume = 0
        while pending and len(chunk) < size:
            text = pending[0][3]
            volume += TASK_BYTES + (4 * len(text) if text is not None else 0)  # UTF-8: at most 4 bytes a character
            if volume > room // 2 and not (idle and not chunk):
                break
            chunk.append(pending.popleft())
        return chunk

    def wait_time(self, now: float) -> float | None:
        if self.timeout is None:
            return None
        busy = [w.current_since + self.timeout - now for w in self.workers if w.queue]
        return max(0.0, min(busy)) if busy else None

    def receive(self, worker: Worker, pending: deque[Task]) -> Outcome | None:
        try:
            message = worker.answers.recv()
        except (EOFError, OSError):
            if not worker.ready:
                raise RuntimeError(f"a worker process failed to start (exit code {worker.process.wait()})") from None
            return self.replace(worker, pending, died=True)
        if message == READY:
            worker.ready = True
            return None
        worker.queue.popleft()
        worker.current_since = time.monotonic()
        assert isinstance(message, Outcome)
        return message

    def expire(self, pending: deque[Task]) -> list[Outcome]:
        if self.timeout is None:
            return []
        now = time.monotonic()
        return [
            outcome
            for worker in list(self.workers)
            if worker.queue and now - worker.current_since >= self.timeout
            for outcome in [self.replace(worker, pending, died=False)]
            if outcome is not None
        ]

    def replace(self, worker: Worker, pending: deque[Task], died: bool) -> Outcome | None:
        """Kill a worker, report its current task, hand its queue back, start a fresh one."""
        code = worker.process.poll()
        worker.kill()
        self.workers.remove(worker)
        outcome = None
        if worker.queue:
            index, source, kind, _, _ = worker.queue.popleft()
            outcome = Outcome(index, source, kind, time=time.monotonic() - worker.current_since)
            if died:
                outcome.error = f"{source}: the worker solving it died (exit code {code})"
            else:
                outcome.timed_out = True
            pending.extendleft(reversed(worker.queue))
        if pending:
            self.workers.append(Worker())
        return outcome
