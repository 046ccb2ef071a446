#!/usr/bin/env python3
"""SAT benchmark: mekra.solve_sat against MiniSat 2.2 on the same formulas.

Run after `pip install .` from the repository root:  python bench/sat_bench.py

For each instance it prints mekra's time (through mekra.solve_sat), decisions, conflicts and
propagated literals (trail entries processed) per second, MiniSat's time and propagation
rate, and the two ratios. The counters come from bench/sat_bench.cpp, a small C++ tool built
on demand into build/bench, which runs the same solver. Instances: the SATLIB formulas in
../shared/benchmarks/sat beside the project (cut at the "%" end marker), and generated pigeonhole and
graph-colouring formulas. It ends with the DIMACS reading speed on a generated 20 MB file.

Options: --quick (skip the instances that take seconds), --bench-dir DIR (instances).
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import mekra
from build_tool import build_tool

ROOT = Path(__file__).resolve().parent.parent
TOOL = ROOT / "build" / "bench" / "sat_bench"
SATLIB_FAMILIES = ["uf20-91", "uf20-91-original", "uf50-218", "uuf50-218", "uf75-325", "uf100-430",
                   "flat30-60", "flat50-115", "ais", "blocksworld", "parity", "hole"]


def cut_at_end_marker(text):
    """SATLIB files end with a "%" line and a "0" line that are not part of the formula."""
    lines = text.split("\n")
    for i, line in enumerate(lines):
        if line.strip().startswith("%"):
            return "\n".join(lines[:i]) + "\n"
    return text


def dimacs(clauses, variables):
    return f"p cnf {variables} {len(clauses)}\n" + "".join(" ".join(map(str, c)) + " 0\n" for c in clauses)


def pigeonhole(holes):
    pigeons = holes + 1
    var = lambda p, h: p * holes + h + 1
    clauses = [[var(p, h) for h in range(holes)] for p in range(pigeons)]
    for h in range(holes):
        for p in range(pigeons):
            for q in range(p + 1, pigeons):
                clauses.append([-var(p, h), -var(q, h)])
    return dimacs(clauses, pigeons * holes)


def colouring(vertices, colours, edges_per_vertex, seed):
    """Colouring of a random graph with a planted colouring (so satisfiable), as in SATLIB's
    flat graphs: edges join only vertices of different hidden colours."""
    rng = random.Random(seed)
    hidden = [v % colours for v in range(vertices)]
    edges = set()
    while len(edges) < int(edges_per_vertex * vertices):
        a, b = rng.sample(range(vertices), 2)
        if hidden[a] != hidden[b]:
            edges.add((min(a, b), max(a, b)))
    var = lambda v, c: v * colours + c + 1
    clauses = [[var(v, c) for c in range(colours)] for v in range(vertices)]
    for v in range(vertices):
        for c in range(colours):
            for d in range(c + 1, colours):
                clauses.append([-var(v, c), -var(v, d)])
    for a, b in sorted(edges):
        for c in range(colours):
            clauses.append([-var(a, c), -var(b, c)])
    return dimacs(clauses, vertices * colours)


def ensure_tool():
    print("building the counter tool into build/bench ...", flush=True)
    build_tool("sat_bench")


def ensure_minisat():
    if shutil.which("minisat"):
        return True
    print("minisat missing: installing the Debian package ...", flush=True)
    try:
        subprocess.run(["apt-get", "install", "-y", "-q", "minisat"], check=True, stdout=subprocess.DEVNULL)
    except (OSError, subprocess.CalledProcessError):
        return False
    return shutil.which("minisat") is not None


def time_mekra(text):
    """Mean CPU time per solve_sat call over calls repeated until 0.3 s have passed (at least
    one). CPU time, as MiniSat reports, so that other load on the machine counts for neither;
    a mean over many calls, since one short call can be below the clock's resolution."""
    spent, calls, result = 0.0, 0, None
    start = time.process_time()
    while spent < 0.3 or calls == 0:
        result = mekra.solve_sat(text)
        calls += 1
        spent = time.process_time() - start
    return result["status"], max(spent, 1e-9) / calls


def counters(path):
    out = subprocess.run([str(TOOL), "solve", str(path)], check=True, capture_output=True, text=True).stdout
    _, status, decisions, conflicts, _, propagated, visits, _ = out.split()
    return status, int(decisions), int(conflicts), int(propagated), int(visits)


def run_minisat(path):
    out = subprocess.run(["minisat", "-verb=1", str(path)], capture_output=True, text=True).stdout
    props = re.search(r"propagations\s*:\s*(\d+)", out)
    cpu = re.search(r"CPU time\s*:\s*([\d.]+) s", out)
    status = "UNSAT" if "UNSATISFIABLE" in out else "SAT" if "SATISFIABLE" in out else "?"
    seconds = float(cpu.group(1)) if cpu else 0.0
    count = int(props.group(1)) if props else 0  # none when decided while simplifying
    # MiniSat's own rate is this quotient; it prints "inf" when its clock shows 0 s.
    rate = count / seconds if seconds > 0 else 0.0
    return status, count, rate, seconds


def instances(bench_dir, quick):
    for family in SATLIB_FAMILIES:
        folder = bench_dir / family
        for path in sorted(folder.glob("*.cnf")):
            if quick and family == "uf100-430":
                continue
            yield f"{family}/{path.stem}", cut_at_end_marker(path.read_text())
    for holes in range(3, 6 if quick else 8):
        yield f"pigeonhole/{holes + 1}-{holes}", pigeonhole(holes)
    for vertices in ([20, 30] if quick else [20, 30, 40, 50, 60]):
        yield f"colouring/3c-{vertices}v", colouring(vertices, 3, 2.0, seed=vertices)


def fmt_rate(x):
    return f"{x / 1e6:8.3f}M"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--bench-dir", type=Path, default=Path(__file__).resolve().parents[2] / "shared" / "benchmarks" / "sat")
    args = parser.parse_args()
    ensure_tool()
    have_minisat = ensure_minisat()

    header = (f"{'instance':28} {'answer':6} {'time s':>9} {'decisions':>10} {'conflicts':>10} {'prop/s':>9}"
              f" | {'minisat s':>9} {'prop/s':>9} | {'time x':>8} {'rate x':>7}")
    print(header)
    print("-" * len(header))
    totals = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name, text in instances(args.bench_dir, args.quick):
            path = Path(tmp) / "instance.cnf"
            path.write_text(text)
            status, seconds = time_mekra(text)
            tool_status, decisions, conflicts, propagated, visits = counters(path)
            if tool_status != status:
                sys.exit(f"{name}: solve_sat says {status}, the counter tool {tool_status}")
            rate = propagated / seconds
            line = (f"{name:28} {status:6} {seconds:9.4f} {decisions:10d} {conflicts:10d} {fmt_rate(rate)}")
            family = name.split("/")[0]
            t = totals.setdefault(family, [0, 0.0, 0, 0.0, 0])
            t[0] += propagated
            t[1] += seconds
            t[4] += visits
            if have_minisat:
                m_status, m_props, m_rate, m_cpu = run_minisat(path)
                if m_status != status:
                    sys.exit(f"{name}: mekra says {status}, MiniSat {m_status}")
                t[2] += m_props
                t[3] += m_cpu
                ratio = f"{rate / m_rate:7.3f}" if m_rate > 0 else f"{'-':>7}"
                line += f" | {m_cpu:9.4f} {fmt_rate(m_rate)} | {seconds / max(m_cpu, 1e-6):8.1f} {ratio}"
            print(line, flush=True)

        print("\nper family (sums over its instances): mekra prop/s, MiniSat prop/s, rate ratio,"
              " mekra clause visits per propagated literal and per second")
        for family, (p, s, mp, ms, v) in totals.items():
            mine = p / s
            ratio = f"{fmt_rate(mp / ms)} {mine / (mp / ms):7.3f}" if ms > 0 and mp > 0 else f"{'-':>9} {'-':>7}"
            print(f"  {family:20} {fmt_rate(mine)} {ratio} {v / max(p, 1):8.1f} {fmt_rate(v / s)}")
        print("MiniSat's rate is propagations over its whole CPU time, start-up and parsing included,"
              " so on instances it solves in a few milliseconds it mostly measures its start-up.")

        # DIMACS reading: random 3-SAT text of 20 MB.
        rng = random.Random(1)
        variables, parts, size = 100000, [], 0
        parts.append(f"p cnf {variables} 0\n")
        while size < 20_000_000:
            line = " ".join(str(rng.randint(1, variables) * rng.choice((1, -1))) for _ in range(3)) + " 0\n"
            parts.append(line)
            size += len(line)
        big = Path(tmp) / "read.cnf"
        big.write_text("".join(parts))
        out = subprocess.run([str(TOOL), "read", str(big)], check=True, capture_output=True, text=True).stdout
        nbytes, best, mbps = out.split()
        print(f"\nDIMACS reading (parse_dimacs, best of 5) on {int(nbytes) / 1e6:.1f} MB: {float(mbps):.0f} MB/s")
        # Through the module: reading plus loading; a final empty clause ends it before search.
        text = big.read_text() + "0\n"
        start = time.process_time()
        assert mekra.solve_sat(text) == {"status": "UNSAT"}
        elapsed = time.process_time() - start
        print(f"solve_sat on the same text plus an empty clause (read + load): {len(text) / 1e6 / elapsed:.0f} MB/s")


if __name__ == "__main__":
    main()
