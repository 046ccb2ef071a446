"""Batch solving throughput: the worker pool, a Dask cluster, and a plain in-process loop.

    python bench/batch_bench.py [--instances 2000] [--repeats 3]

Instances: the uf20-91, uf50-218, uuf50-218 and flat30-60 files of ../shared/benchmarks/sat,
repeated to --instances. Reports instances per second of each way (best of --repeats), the
pool's cost per tiny instance (2000 copies of one uf20 file: pool time minus the in-process
loop, start-up taken off), and `mekra solve --timeout 1` on the pigeonhole formula 9/8: its
wall time and whether any process outlived it. The machine may be shared: compare ratios
measured in the same run, not absolute figures across runs.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import resource
import subprocess
import sys
import time
import uuid
from pathlib import Path

import mekra

from mekra_tools import Text, solve_many

FAMILIES = ("uf20-91", "uf50-218", "uuf50-218", "flat30-60")


def shared_benchmarks() -> Path:
    for parent in Path(__file__).resolve().parents:
        candidate = parent / "shared" / "benchmarks"
        if candidate.is_dir():
            return candidate
    sys.exit("../shared/benchmarks not found beside this checkout")


def instances(count: int) -> list[str]:
    base = shared_benchmarks() / "sat"
    texts = [p.read_text() for family in FAMILIES for p in sorted((base / family).glob("*.cnf"))]
    return [texts[i % len(texts)] for i in range(count)]


def best(repeats: int, run) -> float:
    times = []
    for _ in range(repeats):
        started = time.perf_counter()
        run()
        times.append(time.perf_counter() - started)
    return min(times)


def loop(texts: list[str]) -> None:
    for text in texts:
        mekra.solve_sat(text)


BUSY: dict[int, float] = {}  # jobs -> seconds the workers spent solving, last run


CPU: dict[int, float] = {}  # jobs -> CPU seconds of the (reaped) workers, last run


def children_cpu() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def pool(texts: list[str], jobs: int, **options) -> None:
    batch = [Text(text, kind="sat") for text in texts]
    before = children_cpu()
    outcomes = list(solve_many(batch, jobs=jobs, **options))
    assert len(outcomes) == len(texts) and all(o.ok for o in outcomes)
    BUSY[jobs] = sum(o.time for o in outcomes)
    CPU[jobs] = children_cpu() - before


def pigeonhole(pigeons: int, holes: int) -> str:
    var = lambda p, h: p * holes + h + 1  # noqa: E731
    clauses = [[var(p, h) for h in range(holes)] for p in range(pigeons)]
    clauses += [[-var(p, h), -var(q, h)] for h in range(holes) for p in range(pigeons) for q in range(p + 1, pigeons)]
    return f"p cnf {pigeons * holes} {len(clauses)}\n" + "".join(" ".join(map(str, c)) + " 0\n" for c in clauses)


def leftovers(marker: str) -> int:
    count = 0
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit() and int(entry.name) != os.getpid():
            try:
                count += marker.encode() in (entry / "environ").read_bytes()
            except OSError:
                pass
    return count


def timeout_run(folder: Path) -> tuple[float, str, int]:
    path = folder / "php-9-8.cnf"
    path.write_text(pigeonhole(9, 8))
    marker = f"MEKRA_BENCH_{uuid.uuid4().hex}"
    started = time.perf_counter()
    run = subprocess.run([sys.executable, "-m", "mekra_tools", "solve", "--timeout", "1", str(path)], capture_output=True,
                         text=True, timeout=120, env={**os.environ, marker: "1"})
    elapsed = time.perf_counter() - started
    return elapsed, run.stdout.split("\t")[1] if "\t" in run.stdout else run.stdout, leftovers(marker)


def main() -> None:
    options = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    options.add_argument("--instances", type=int, default=2000)
    options.add_argument("--repeats", type=int, default=3)
    options.add_argument("--no-dask", action="store_true")
    args = options.parse_args()
    texts = instances(args.instances)
    print(f"{len(texts)} instances from {', '.join(FAMILIES)}; best of {args.repeats}; cores: {os.cpu_count()}")
    runs = {
        "in-process loop": lambda: loop(texts),
        "pool --jobs 1": lambda: pool(texts, 1),
        "pool --jobs 2": lambda: pool(texts, 2),
    }
    walls: dict[str, list[float]] = {name: [] for name in runs}
    busy: dict[int, list[float]] = {1: [], 2: []}
    cores: dict[int, list[float]] = {1: [], 2: []}
    with contextlib.ExitStack() as stack:
        if not args.no_dask:
            from distributed import Client, LocalCluster

            cluster = stack.enter_context(LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                                       dashboard_address=None))
            client = stack.enter_context(Client(cluster))
            runs["dask, 2 workers"] = lambda: pool(texts, 2, engine="dask", dask=client)
            walls["dask, 2 workers"] = []
        for _ in range(args.repeats):  # interleaved, so that a change of load hits every way alike
            for name, run in runs.items():
                started = time.perf_counter()
                run()
                wall = time.perf_counter() - started
                walls[name].append(wall)
                if name.startswith("pool"):
                    jobs = int(name[-1])
                    busy[jobs].append(BUSY[jobs] / wall)
                    cores[jobs].append(CPU[jobs] / wall)
    rates = {name: len(texts) / min(times) for name, times in walls.items()}
    for name, rate in rates.items():
        print(f"  {name:<18} {rate:9.0f} instances/s")
    print(f"  jobs 2 / jobs 1:   {rates['pool --jobs 2'] / rates['pool --jobs 1']:.2f}x (target >= 1.8)")
    if "dask, 2 workers" in rates:
        print(f"  dask / jobs 2:     {rates['dask, 2 workers'] / rates['pool --jobs 2']:.2f}x (target >= 0.8)")
    print(f"  workers busy (solve time / wall): jobs 1 {max(busy[1]):.2f}, jobs 2 {max(busy[2]):.2f}; "
          f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
    print(f"  CPU the workers got (CPU s / wall s): jobs 1 {max(cores[1]):.2f}, jobs 2 {max(cores[2]):.2f}")

    tiny = [shared_benchmarks().joinpath("sat", "uf20-91", "uf20-01.cnf").read_text()] * args.instances
    in_process = best(args.repeats, lambda: loop(tiny))
    start_up = best(args.repeats, lambda: pool(tiny[:1], 1))
    pooled = best(args.repeats, lambda: pool(tiny, 1))
    cost = (pooled - start_up - in_process) / len(tiny)
    print(f"tiny instance (uf20-01): {in_process / len(tiny) * 1e3:.3f} ms in-process; pool --jobs 1 adds "
          f"{cost * 1e3:.3f} ms per instance (target < 0.2) after a {start_up * 1e3:.0f} ms start-up")

    import tempfile

    with tempfile.TemporaryDirectory() as folder:
        elapsed, status, left = timeout_run(Path(folder))
    print(f"mekra solve --timeout 1 php-9-8.cnf: {status} after {elapsed:.2f} s (target <= 1.5), "
          f"{left} processes left behind")


if __name__ == "__main__":
    main()
