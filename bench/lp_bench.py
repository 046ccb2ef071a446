#!/usr/bin/env python3
"""LP benchmark: mekra.solve_lp_text against glpsol --exact and glpsol in floating point.

Programs: the README example, Chvatal's diet problem, Klee-Minty cubes of size 3 to 8, and
seeded random dense programs (5x5 to 40x40, coefficients 1..9; even seeds maximise under <=
rows, odd seeds minimise under >= rows, so phase 1 runs too). Each is written as mekra LP text
and in CPLEX LP format. mekra is timed in-process per call (text in, dict out); glpsol is timed
per program as a process (startup included, best of --repeat runs). For every program the
script prints the three objectives and the time ratios glpsol/mekra, and at the end the count
of "UNKNOWN (numerical issue)" answers per random size.

With --netlib it runs instead every Netlib LP of ../shared/benchmarks/lp/netlib (converted with
the shared mps2mekra.py, and to CPLEX LP with lp2cplex.py) once each, alternating: mekra in a
process of its own (bench/solve_one.py, the call timed inside), glpsol --exact and QSopt_ex's
esolver -L (when installed) as processes, each under --limit seconds. It prints per program
the statuses, objectives, times and ratios, checks the objectives against esolver's exact
value, the model against the constraints, and ends with the geometric means.

Usage (with mekra importable, e.g. from the project venv):
    build/venv/bin/python bench/lp_bench.py [--seeds 4] [--sizes 5,10,...,40] [--repeat 3]
    build/venv/bin/python bench/lp_bench.py --netlib [--limit 300] [--only afiro,blend]
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


def shared_dir():
    """../shared beside the repository (or beside any parent of it, for a worktree)."""
    for parent in Path(__file__).resolve().parents:
        candidate = parent / "shared" / "benchmarks"
        if candidate.is_dir():
            return parent / "shared"
        candidate = parent.parent / "shared" / "benchmarks"
        if candidate.is_dir():
            return parent.parent / "shared"
    sys.exit("../shared/benchmarks not found")


def timed_process(cmd, limit):
    """(seconds, stdout) of a process, or (None, "") when it does not finish within `limit`."""
    t0 = time.perf_counter()
    try:
        done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, timeout=limit)
    except subprocess.TimeoutExpired:
        return None, ""
    return time.perf_counter() - t0, done.stdout


def esolver_answer(solution):
    """Status and exact objective (a Fraction) from an esolver solution file."""
    from fractions import Fraction

    text = solution.read_text() if solution.exists() else ""
    status = re.search(r"^status\s+([A-Z]\S*)", text, re.MULTILINE)
    value = re.search(r"^\s*Value = (\S+)", text, re.MULTILINE)
    return (status.group(1) if status else "?"), (Fraction(value.group(1)) if value else None)


def run_netlib(args):
    import json

    shared = shared_dir()
    files = sorted((shared / "benchmarks" / "lp" / "netlib").glob("*.mps.gz"))
    if args.only:
        wanted = set(args.only.split(","))
        files = [f for f in files if f.name[: -len(".mps.gz")] in wanted]
    have_esolver = shutil.which("esolver") is not None
    runner = Path(__file__).with_name("solve_one.py")
    header = (f"{'program':<10} {'mekra':>10} {'glpsol':>10} {'esolver':>10} {'mekra s':>9} {'glpsol s':>9} "
              f"{'esolv s':>9} {'glp/mk':>8} {'esv/mk':>8} {'obj ok':>6} {'viol':>8}  objective")
    print(header)
    print("-" * len(header), flush=True)
    glp_ratios, esv_ratios, unfinished, wrong = [], [], [], []
    with tempfile.TemporaryDirectory() as tmp:
        for mps in files:
            name = mps.name[: -len(".mps.gz")]
            mekra_lp = Path(tmp) / f"{name}.lp"
            cplex_lp = Path(tmp) / f"{name}.cplex.lp"
            subprocess.run([sys.executable, str(shared / "tools" / "mps2mekra.py"), str(mps), "-o", str(mekra_lp)],
                           check=True, stdout=subprocess.DEVNULL)
            subprocess.run([sys.executable, str(shared / "tools" / "lp2cplex.py"), str(mekra_lp), "-o", str(cplex_lp)],
                           check=True, stdout=subprocess.DEVNULL)
            # mekra: the call's own time; the process is only there to enforce the limit.
            wall, out = timed_process([sys.executable, str(runner), str(mekra_lp)], args.limit)
            mk = json.loads(out) if wall is not None and out.strip() else None
            mk_time = mk["seconds"] if mk else None
            glp_solution = Path(tmp) / f"{name}.glp.sol"
            glp_time, _ = timed_process(["glpsol", "--exact", "--lp", str(cplex_lp), "-w", str(glp_solution)],
                                        args.limit)
            glp_status = "?"
            if glp_time is not None and glp_solution.exists():
                m = re.search(r"^c Status:\s+(.*)$", glp_solution.read_text(), re.MULTILINE)
                glp_status = m.group(1).strip() if m else "?"
            esv_time, esv_status, esv_obj = None, "-", None
            if have_esolver:
                esv_solution = Path(tmp) / f"{name}.esv.sol"
                esv_time, _ = timed_process(["esolver", "-L", "-O", str(esv_solution), str(cplex_lp)], args.limit)
                esv_status, esv_obj = esolver_answer(esv_solution) if esv_time is not None else ("-", None)
            status = mk["status"] if mk else "timeout"
            objective = mk["objective"] if mk else None
            obj_ok = "-"
            if objective is not None and esv_obj is not None:
                obj_ok = "yes" if math.isclose(objective, float(esv_obj), rel_tol=4e-16, abs_tol=1e-300) else "NO"
                if obj_ok == "NO":
                    wrong.append(f"{name}: mekra {objective!r}, esolver {float(esv_obj)!r}")
            if mk_time is None:
                unfinished.append(f"{name} (mekra)")
            if glp_time is None:
                unfinished.append(f"{name} (glpsol --exact)")
            if have_esolver and esv_time is None:
                unfinished.append(f"{name} (esolver)")
            glp_ratio = glp_time / mk_time if glp_time and mk_time else None
            esv_ratio = esv_time / mk_time if esv_time and mk_time else None
            if glp_ratio:
                glp_ratios.append((glp_ratio, name))
            if esv_ratio:
                esv_ratios.append((esv_ratio, name))

            def fmt(x, pattern):
                return format(x, pattern) if x is not None else "-"

            print(f"{name:<10} {status[:10]:>10} {glp_status[:10]:>10} {esv_status[:10]:>10} {fmt(mk_time, '9.3f')} "
                  f"{fmt(glp_time, '9.3f')} {fmt(esv_time, '9.3f')} {fmt(glp_ratio, '8.2f')} {fmt(esv_ratio, '8.2f')} "
                  f"{obj_ok:>6} {fmt(mk['violation'] if mk else None, '8.1e')}  {objective}", flush=True)
    for label, ratios in (("glpsol --exact / mekra", glp_ratios), ("esolver / mekra", esv_ratios)):
        if ratios:
            geo = math.exp(sum(math.log(r) for r, _ in ratios) / len(ratios))
            worst = min(ratios)
            print(f"{label}: geometric mean {geo:.2f}x over {len(ratios)} programs both finished; "
                  f"worst {worst[0]:.3f}x ({worst[1]})")
    print("unfinished within the limit: " + (", ".join(unfinished) or "none"))
    print("objectives equal to esolver's exact value: " + ("all" if not wrong else "NO: " + "; ".join(wrong)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--netlib", action="store_true", help="run the Netlib LPs instead")
    parser.add_argument("--limit", type=float, default=300.0, help="seconds per program and solver (--netlib)")
    parser.add_argument("--only", default="", help="comma-separated Netlib names (--netlib)")
    parser.add_argument("--seeds", type=int, default=4, help="random programs per size")
    parser.add_argument("--sizes", default="5,10,15,20,25,30,35,40", help="random program sizes")
    parser.add_argument("--repeat", type=int, default=3, help="glpsol runs per program (best is kept)")
    args = parser.parse_args()
    ensure_glpsol()
    if args.netlib:
        run_netlib(args)
        return

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
