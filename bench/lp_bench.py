#!/usr/bin/env python3
"""LP benchmark: mekra.solve_lp_text against glpsol --exact and glpsol in floating point.

Programs: the README example, Chvatal's diet problem, Klee-Minty cubes of size 3 to 8, and
seeded random dense programs (5x5 to 40x40, coefficients 1..9; even seeds maximise under <=
rows, odd seeds minimise under >= rows, so phase 1 runs too). Each is written as mekra LP text
and in CPLEX LP format. mekra is timed in-process per call (text in, dict out); glpsol is timed
per program as a process (startup included, best of --repeat runs). For every program the
script prints the three objectives and the time ratios glpsol/mekra, and at the end the count
of "UNKNOWN (numerical issue)" answers per random size.

Usage (with mekra importable, e.g. from the project venv):
    build/venv/bin/python bench/lp_bench.py [--seeds 4] [--sizes 5,10,...,40] [--repeat 3]
"""

import argparse
import math
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

import mekra

TARGET_RATIO = 20.0


@dataclass
class Program:
    name: str
    group: str  # programs are counted per group in the summary
    sense: str  # "max" or "min"
    objective: list  # one integer coefficient per variable
    rows: list  # (coefficients, relation "<=" / ">=" / "=", right-hand side)

    def mekra_text(self):
        def expr(coefficients):
            parts = []
            for j, c in enumerate(coefficients):
                sign = "-" if c < 0 else "+"
                parts.append(f"{sign} {abs(c)}*x{j}")
            text = " ".join(parts)
            return text[2:] if text.startswith("+ ") else text

        lines = [f"{self.sense} {expr(self.objective)}"]
        lines += [f"{expr(a)} {rel} {b}" for a, rel, b in self.rows]
        return "\n".join(lines) + "\n"

    def cplex_text(self):
        def expr(coefficients):
            terms = [f"{'-' if c < 0 else '+'} {abs(c)} x{j}" for j, c in enumerate(coefficients) if c != 0]
            text = " ".join(terms) or "0 x0"
            return text[2:] if text.startswith("+ ") else text

        out = ["Maximize" if self.sense == "max" else "Minimize", f" obj: {expr(self.objective)}", "Subject To"]
        out += [f" r{i}: {expr(a)} {rel} {b}" for i, (a, rel, b) in enumerate(self.rows)]
        out.append("End")
        return "\n".join(out) + "\n"


def readme_example():
    return Program("readme", "textbook", "max", [3, 2], [([1, 1], "<=", 4), ([1, 3], "<=", 6)])


def diet():
    # Chvatal, Linear Programming, chapter 1: oatmeal, chicken, eggs, milk, cherry pie, pork
    # with beans; energy, protein and calcium minimums and servings limits.
    cost = [3, 24, 13, 9, 20, 19]
    rows = [
        ([110, 205, 160, 160, 420, 260], ">=", 2000),
        ([4, 32, 13, 8, 4, 14], ">=", 55),
        ([2, 12, 54, 285, 22, 80], ">=", 800),
    ]
    for j, limit in enumerate([4, 3, 2, 8, 2, 2]):
        rows.append(([1 if k == j else 0 for k in range(6)], "<=", limit))
    return Program("diet", "textbook", "min", cost, rows)


def klee_minty(n):
    # max sum 2^(n-j) x_j  s.t.  2 * sum_{j<i} 2^(i-j) x_j + x_i <= 5^i; Dantzig's rule visits
    # all 2^n vertices; the optimum is 5^n.
    objective = [2 ** (n - j) for j in range(1, n + 1)]
    rows = []
    for i in range(1, n + 1):
        a = [2 ** (i - j + 1) if j < i else (1 if j == i else 0) for j in range(1, n + 1)]
        rows.append((a, "<=", 5 ** i))
    return Program(f"klee-minty-{n}", "klee-minty", "max", objective, rows)


def random_dense(size, seed):
    rng = random.Random(size * 1000 + seed)
    a = [[rng.randint(1, 9) for _ in range(size)] for _ in range(size)]
    c = [rng.randint(1, 9) for _ in range(size)]
    b = [rng.randint(size, 10 * size) for _ in range(size)]
    if seed % 2 == 0:
        rows = [(a[i], "<=", b[i]) for i in range(size)]
        return Program(f"random-{size}x{size}-s{seed}", f"random {size}x{size}", "max", c, rows)
    rows = [(a[i], ">=", b[i]) for i in range(size)]
    return Program(f"random-{size}x{size}-s{seed}", f"random {size}x{size}", "min", c, rows)


def time_mekra(text, budget=0.3, max_calls=50):
    """Median seconds per call of solve_lp_text, and its result."""
    times = []
    result = None
    start = time.perf_counter()
    while len(times) < max_calls and (not times or time.perf_counter() - start < budget):
        t0 = time.perf_counter()
        result = mekra.solve_lp_text(text)
        times.append(time.perf_counter() - t0)
    return statistics.median(times), result


def run_glpsol(lp_path, exact, repeat):
    """Best wall time of `repeat` glpsol runs, and the status and objective of its solution
    file (the objective with 15 significant digits)."""
    solution = lp_path.with_suffix(".exact.sol" if exact else ".float.sol")
    cmd = ["glpsol", "--lp", str(lp_path), "-w", str(solution)] + (["--exact"] if exact else [])
    best = math.inf
    for _ in range(repeat):
        t0 = time.perf_counter()
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        best = min(best, time.perf_counter() - t0)
    text = solution.read_text() if solution.exists() else ""
    status = re.search(r"^c Status:\s+(.*)$", text, re.MULTILINE)
    values = re.search(r"^s bas \d+ \d+ \S+ \S+ (\S+)$", text, re.MULTILINE)
    objective = float(values.group(1)) if values else None
    return best, (status.group(1).strip() if status else "?"), objective


def ensure_glpsol():
    if shutil.which("glpsol"):
        return
    print("glpsol not found; installing glpk-utils", file=sys.stderr)
    subprocess.run(["apt-get", "install", "-y", "glpk-utils"], check=False)
    if not shutil.which("glpsol"):
        sys.exit("glpsol is required (Debian package glpk-utils)")


def same(a, b):
    return a is not None and b is not None and math.isclose(a, b, rel_tol=1e-12, abs_tol=1e-12)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seeds", type=int, default=4, help="random programs per size")
    parser.add_argument("--sizes", default="5,10,15,20,25,30,35,40", help="random program sizes")
    parser.add_argument("--repeat", type=int, default=3, help="glpsol runs per program (best is kept)")
    args = parser.parse_args()
    ensure_glpsol()

    programs = [readme_example(), diet()] + [klee_minty(n) for n in range(3, 9)]
    for size in (int(s) for s in args.sizes.split(",")):
        programs += [random_dense(size, seed) for seed in range(args.seeds)]

    header = (f"{'program':<22} {'mekra':>26} {'ms/call':>9} {'exact ms':>9} {'float ms':>9} "
              f"{'exact/mk':>9} {'float/mk':>9}  objectives mekra | exact | float")
    print(header)
    print("-" * len(header))
    issues = {}
    ratios = []
    mismatches = []
    with tempfile.TemporaryDirectory() as tmp:
        for p in programs:
            lp_path = Path(tmp) / f"{p.name}.lp"
            lp_path.write_text(p.cplex_text())
            mk_time, result = time_mekra(p.mekra_text())
            ex_time, ex_status, ex_obj = run_glpsol(lp_path, True, args.repeat)
            fl_time, _, fl_obj = run_glpsol(lp_path, False, args.repeat)
            status = result["status"]
            mk_obj = result.get("objective")
            issues.setdefault(p.group, [0, 0])
            issues[p.group][1] += 1
            if status == "UNKNOWN (numerical issue)":
                issues[p.group][0] += 1
                ratio_text = "-"
            else:
                ratios.append((ex_time / mk_time, p.name))
                ratio_text = f"{ex_time / mk_time:9.1f}"
                if status != "OPTIMAL" or not same(mk_obj, ex_obj):
                    mismatches.append(f"{p.name}: mekra {status} {mk_obj}, glpsol --exact {ex_status} {ex_obj}")
            print(f"{p.name:<22} {status:>26} {mk_time * 1e3:9.3f} {ex_time * 1e3:9.2f} {fl_time * 1e3:9.2f} "
                  f"{ratio_text:>9} {fl_time / mk_time:9.1f}  {mk_obj} | {ex_obj} | {fl_obj}")

    print()
    print("UNKNOWN (numerical issue) per group:")
    for group, (count, total) in issues.items():
        print(f"  {group:<16} {count} of {total}")
    if ratios:
        worst = min(ratios)
        print(f"\nglpsol --exact / mekra per call, over {len(ratios)} programs solved without a numerical issue:")
        print(f"  smallest {worst[0]:.1f}x ({worst[1]}), median {statistics.median(r for r, _ in ratios):.1f}x; "
              f"target at least {TARGET_RATIO:.0f}x: {'met' if worst[0] >= TARGET_RATIO else 'NOT met'}")
    print("objectives equal to glpsol --exact: " + ("all" if not mismatches else "NO"))
    for line in mismatches:
        print("  " + line)


if __name__ == "__main__":
    main()
