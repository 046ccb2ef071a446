"""Running the `mekra` command as a user does, and finding the shared benchmark files."""

from __future__ import annotations

import os
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
COMMAND_TIMEOUT = 120  # seconds; no test may hang


def shared_dir() -> Path | None:
    """The `shared` folder beside the project (or above a worktree), or $MEKRA_SHARED."""
    if os.environ.get("MEKRA_SHARED"):
        return Path(os.environ["MEKRA_SHARED"])
    for parent in REPO.parents:
        candidate = parent / "shared"
        if (candidate / "benchmarks").is_dir():
            return candidate
    return None


def shared(*parts: str) -> Path:
    base = shared_dir()
    if base is None or not base.joinpath(*parts).exists():
        pytest.skip(f"../shared/{'/'.join(parts)} is not beside this checkout (set MEKRA_SHARED)")
    return base.joinpath(*parts)


def mekra(*args: str | os.PathLike[str], input: str | bytes | None = None, timeout: float = COMMAND_TIMEOUT,
          cwd: Path | None = None) -> subprocess.CompletedProcess[str]:
    """`mekra ARGS` through `python -m mekra_tools`, with text output."""
    data = input.encode() if isinstance(input, str) else input
    run = subprocess.run([sys.executable, "-m", "mekra_tools", *map(str, args)], input=data, capture_output=True,
                         timeout=timeout, cwd=cwd, stdin=None if input is not None else subprocess.DEVNULL)
    return subprocess.CompletedProcess(run.args, run.returncode, run.stdout.decode(), run.stderr.decode())


def pigeonhole(pigeons: int, holes: int) -> str:
    """The pigeonhole formula: unsatisfiable, and exponentially hard for resolution."""
    var = lambda p, h: p * holes + h + 1  # noqa: E731
    clauses = [[var(p, h) for h in range(holes)] for p in range(pigeons)]
    clauses += [[-var(p, h), -var(q, h)] for h in range(holes) for p in range(pigeons) for q in range(p + 1, pigeons)]
    return f"p cnf {pigeons * holes} {len(clauses)}\n" + "".join(" ".join(map(str, c)) + " 0\n" for c in clauses)


def child_pids(pid: int) -> list[int]:
    """Live processes whose parent is pid (from /proc)."""
    children = []
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                stat = (entry / "stat").read_text()
            except OSError:
                continue
            fields = stat.rsplit(")", 1)[1].split()
            if int(fields[1]) == pid and fields[0] != "Z":
                children.append(int(entry.name))
    return children


def alive(pid: int) -> bool:
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return False
    return stat.rsplit(")", 1)[1].split()[0] != "Z"


def clauses_of(text: str) -> list[list[int]]:
    clauses, pending = [], []
    for line in text.splitlines():
        line = line.strip()
        if not line or line[0] in "cp%":
            if line.startswith("%"):
                break
            continue
        for token in line.split():
            if token == "0":
                clauses.append(pending)
                pending = []
            else:
                pending.append(int(token))
    return clauses + ([pending] if pending else [])
