"""A worker process of the pool: `python -m mekra_tools.worker IN_FD OUT_FD`.

It answers "ready", then reads chunks of tasks and sends one Outcome per task as soon as it is
solved, so the parent knows when each task starts (when the previous answer arrives). A chunk
of None ends it. It ignores Ctrl-C (the parent decides) and dies with its parent.
"""

from __future__ import annotations

import ctypes
import signal
import sys
from multiprocessing.connection import Connection

from .pool import READY

PR_SET_PDEATHSIG = 1


def die_with_parent() -> None:
    """Ask Linux to kill this process when its parent goes, even by SIGKILL."""
    if sys.platform.startswith("linux"):
        try:
            libc = ctypes.CDLL(None, use_errno=True)
            libc.prctl(PR_SET_PDEATHSIG, int(signal.SIGKILL), 0, 0, 0)
        except (OSError, AttributeError):
            pass


def serve(incoming: Connection, outgoing: Connection) -> None:
    from .solving import run_task  # imported here so that a worker's start-up is what it times

    outgoing.send(READY)
    while True:
        try:
            chunk = incoming.recv()
        except EOFError:
            return
        if chunk is None:
            return
        for task in chunk:
            outgoing.send(run_task(task))


def main(argv: list[str]) -> None:
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    die_with_parent()
    incoming = Connection(int(argv[0]), readable=True, writable=False)
    outgoing = Connection(int(argv[1]), readable=False, writable=True)
    try:
        serve(incoming, outgoing)
    except (BrokenPipeError, EOFError):
        pass


if __name__ == "__main__":
    main(sys.argv[1:])
