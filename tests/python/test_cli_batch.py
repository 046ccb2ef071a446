"""Batches: time limits that kill, Ctrl-C that leaves no worker, the Python API, a Dask cluster."""

from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
import threading
import time
import uuid
from pathlib import Path

import pytest
from cli_support import COMMAND_TIMEOUT, alive, child_pids, mekra, pigeonhole

from mekra_tools import Text, solve, solve_many

TINY = "p cnf 2 1\n1 2 0\n"
HARD = pigeonhole(9, 8)  # minutes of CDCL search, far beyond every limit below


def processes_with(marker: str) -> list[int]:
    """Live processes whose environment holds marker: what a command left behind."""
    found = []
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit() and entry.name != str(os.getpid()):
            try:
                if marker.encode() in (entry / "environ").read_bytes() and alive(int(entry.name)):
                    found.append(int(entry.name))
            except OSError:
                continue
    return found


@pytest.fixture
def files(tmp_path):
    def make(name: str, text: str) -> Path:
        path = tmp_path / name
        path.write_text(text)
        return path
    return make


def test_timeout_kills_the_hard_solve_only(files, monkeypatch):
    marker = f"MEKRA_TEST_{uuid.uuid4().hex}"
    monkeypatch.setenv(marker, "1")
    hard, tiny = files("php98.cnf", HARD), files("tiny.cnf", TINY)
    started = time.monotonic()
    run = mekra("solve", "--jobs", "2", "--timeout", "1", "--ordered", hard, tiny, tiny)
    elapsed = time.monotonic() - started
    assert run.returncode == 0, run.stderr
    assert [line.split("\t")[1] for line in run.stdout.splitlines()] == ["TIMEOUT", "SAT", "SAT"]
    assert elapsed < 60  # the solve itself would take minutes
    assert processes_with(marker) == []


def test_ctrl_c_stops_every_worker(files):
    hard, tiny = files("php98.cnf", HARD), files("tiny.cnf", TINY)
    command = [sys.executable, "-m", "mekra_tools", "solve", "--jobs", "2", tiny, hard, hard, hard]
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
    lines: list[str] = []
    reader = threading.Thread(target=lambda: lines.extend(process.stdout), daemon=True)
    reader.start()
    try:
        deadline = time.monotonic() + COMMAND_TIMEOUT
        workers: list[int] = []
        while time.monotonic() < deadline and (len(workers) < 2 or not lines):
            workers = child_pids(process.pid)
            time.sleep(0.05)
        assert len(workers) == 2 and lines, "the batch never got going"
        process.send_signal(signal.SIGINT)
        code = process.wait(timeout=30)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    reader.join(timeout=10)
    assert code == 130
    assert lines and lines[0].split("\t")[:2] == [str(tiny), "SAT"]  # what finished is printed
    assert "interrupted: 1 of 4" in process.stderr.read()
    assert not any(alive(pid) for pid in workers)


@pytest.mark.parametrize("signal_name", ["SIGTERM", "SIGKILL"])
def test_workers_die_with_the_command(files, signal_name):
    hard = files("php98.cnf", HARD)
    command = [sys.executable, "-m", "mekra_tools", "solve", "--jobs", "2", hard, hard, hard]
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + COMMAND_TIMEOUT
        workers: list[int] = []
        while time.monotonic() < deadline and len(workers) < 2:
            workers = child_pids(process.pid)
            time.sleep(0.05)
        assert len(workers) == 2
        process.send_signal(getattr(signal, signal_name))
        process.wait(timeout=30)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    deadline = time.monotonic() + 10
    while any(alive(pid) for pid in workers) and time.monotonic() < deadline:
        time.sleep(0.05)
    assert not any(alive(pid) for pid in workers)


def test_a_closed_output_pipe_leaves_no_worker(files, monkeypatch):
    marker = f"MEKRA_TEST_{uuid.uuid4().hex}"
    monkeypatch.setenv(marker, "1")
    tiny, hard = files("tiny.cnf", TINY), files("php98.cnf", HARD)
    command = [sys.executable, "-m", "mekra_tools", "solve", "--jobs", "2", tiny, hard, hard]
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    process.stdout.close()  # like `mekra solve ... | head -0`: the first line breaks the pipe
    try:
        process.wait(timeout=COMMAND_TIMEOUT)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    assert processes_with(marker) == []


def test_api_solves_texts_and_paths_as_they_finish(files):
    path = files("a.cnf", TINY)
    texts = [Text("max x0\nx0 <= 3\n", kind="lp", name="lp"), Text("var x 0 3\nvar y 0 3\nlt y x\n", name="cp.mkcp")]
    outcomes = list(solve_many([path, *texts], jobs=2, ordered=True))
    assert [(o.source, o.status) for o in outcomes] == [(str(path), "SAT"), ("lp", "OPTIMAL"), ("cp.mkcp", "SAT")]
    assert outcomes[1].result == {"status": "OPTIMAL", "model": {"x0": 3}, "objective": 3.0}


BIG_TEXTS_BATCH = """
import sys
from mekra_tools import Text, solve_many
sys.path.insert(0, sys.argv[1])
from cli_support import pigeonhole
big = "p cnf 2 300000\\n" + "1 2 0\\n" * 300000  # 1.8 MB: more than a pipe holds
batch = [Text("p cnf 1 1\\n1 0\\n", kind="sat"), Text(pigeonhole(9, 8), kind="sat")] + [Text(big, kind="sat")] * 15
print(" ".join(o.status for o in solve_many(batch, jobs=1, timeout=1, ordered=True)))
"""


def test_a_timeout_holds_while_big_texts_wait_for_the_worker():
    # the parent must never block writing the next chunk to a worker stuck in a hard solve
    here = str(Path(__file__).parent)
    run = subprocess.run([sys.executable, "-c", BIG_TEXTS_BATCH, here], capture_output=True, text=True,
                         timeout=COMMAND_TIMEOUT, stdin=subprocess.DEVNULL)
    assert run.returncode == 0, run.stderr
    assert run.stdout.split() == ["SAT", "TIMEOUT"] + ["SAT"] * 15


def test_api_single_solve_with_timeout():
    assert solve(Text(HARD, kind="sat"), timeout=0.5).status == "TIMEOUT"
    assert solve(Text(TINY, kind="sat"), timeout=30).result == {"status": "SAT", "model": {"x0": True, "x1": True}}
    bad = solve(Text("p cnf 1 1\n1 x 0\n", kind="sat", name="bad.cnf"))
    assert bad.status == "ERROR" and bad.error == "bad.cnf:2: invalid literal 'x'"


def test_api_generator_closed_early_leaves_no_worker():
    batch = solve_many([Text(TINY, kind="sat")] + [Text(HARD, kind="sat")] * 2, jobs=2)
    first = next(batch)
    pids = child_pids(os.getpid())
    batch.close()
    assert first.status == "SAT"
    assert not any(alive(pid) for pid in pids)


@pytest.fixture(scope="module")
def dask_cluster():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
        yield cluster


def test_dask_batch_from_the_command_line(files, dask_cluster):
    paths = [files(f"{i}.cnf", TINY) for i in range(20)] + [files("lp.mklp", "max x0\nx0 <= 2\n")]
    run = mekra("solve", "--json", "--ordered", "--dask", dask_cluster.scheduler_address, *paths)
    assert run.returncode == 0, run.stderr
    records = [json.loads(line) for line in run.stdout.splitlines()]
    assert [r["status"] for r in records] == ["SAT"] * 20 + ["OPTIMAL"]
    assert records[-1]["objective"] == 2.0


def test_dask_batch_with_a_timeout(dask_cluster):
    distributed = pytest.importorskip("distributed")
    with distributed.Client(dask_cluster.scheduler_address) as client:
        outcomes = list(solve_many([Text(HARD, kind="sat"), Text(TINY, kind="sat")], engine="dask", dask=client,
                                   timeout=1, ordered=True))
    assert [o.status for o in outcomes] == ["TIMEOUT", "SAT"]
