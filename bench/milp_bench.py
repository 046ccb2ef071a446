#!/usr/bin/env python3
"""MILP benchmark: mekra.solve_milp_text beside CBC and glpsol on the same programs.

Programs: seeded 0/1 knapsacks of 5 to 25 items, small assignment programs, small set-cover
programs, a wide program with no integral point (eleven binaries whose doubled sum must be
odd), and the node-limit chain ("min x0 + 0*x1", "2*x0 - 2*x1 = 1", both integer). Each is
written as mekra LP text and in CPLEX LP format. mekra is timed in-process per call (text in,
dict out, best of --repeat calls); CBC (`cbc`, Debian coinor-cbc) and `glpsol` are timed per
program as processes (startup included, best of --repeat runs, each stopped by its own time
limit of --peer-limit seconds: neither has a node limit, and neither ends on the chain). The nodes mekra explores come
from a small C++ helper (bench/milp_nodes.cpp), compiled on first use into build/bench/.

For every program the script prints mekra's answer, objective, nodes and time, the peers'
objectives and times, and the ratios peer time / mekra time (above 1: mekra is faster). At the
end it lists every program whose answers differ, with the reason.

With --miplib it runs instead the MIPLIB 3 models of ../shared/benchmarks/milp/miplib3
(converted with the shared mps2mekra.py and lp2cplex.py): mekra in a process of its own
(bench/solve_one.py, the call timed inside) and CBC, each once under --limit seconds, printing
status, objective and time of both.

Usage (with mekra importable, e.g. from the project venv):
    build/venv/bin/python bench/milp_bench.py [--repeat 3] [--skip-chain]
    build/venv/bin/python bench/milp_bench.py --miplib [--limit 300] [--only mod008,pk1]
"""

import argparse
import math
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

import mekra
from build_tool import build_tool

ROOT = Path(__file__).resolve().parent.parent


@dataclass
class Program:
    name: str
    sense: str  # "max" or "min"
    objective: list  # one integer coefficient per variable
    rows: list  # (coefficients, relation, right-hand side)
    integer: list  # variable indices
    upper: dict  # variable index -> upper bound (written as rows for mekra, bounds for peers)

    def mekra_text(self):
        def expr(coefficients, keep_zeros=False):
            parts = [f"{'-' if c < 0 else '+'} {abs(c)}*x{j}" for j, c in enumerate(coefficients) if c or keep_zeros]
            text = " ".join(parts) or "0"
            return text[2:] if text.startswith("+ ") else text

        # The objective names every variable (zero coefficients included), so the reader
        # numbers them in order and every declaration takes effect.
        lines = [f"{self.sense} {expr(self.objective, keep_zeros=True)}"]
        lines += [f"int x{j}" for j in self.integer]
        lines += [f"{expr(a)} {rel} {b}" for a, rel, b in self.rows]
        lines += [f"x{j} <= {u}" for j, u in sorted(self.upper.items())]
        return "\n".join(lines) + "\n"

    def cplex_text(self):
        def expr(coefficients):
            terms = [f"{'-' if c < 0 else '+'} {abs(c)} x{j}" for j, c in enumerate(coefficients) if c]
            text = " ".join(terms) or "0 x0"
            return text[2:] if text.startswith("+ ") else text

        n = len(self.objective)
        lines = ["Maximize" if self.sense == "max" else "Minimize", f" obj: {expr(self.objective)}", "Subject To"]
        lines += [f" c{i}: {expr(a)} {rel} {b}" for i, (a, rel, b) in enumerate(self.rows)]
        lines.append("Bounds")
        lines += [f" 0 <= x{j} <= {self.upper[j]}" if j in self.upper else f" x{j} >= 0" for j in range(n)]
        if self.integer:
            lines += ["Generals", " " + " ".join(f"x{j}" for j in self.integer)]
        lines.append("End")
        return "\n".join(lines) + "\n"


def knapsack(items, seed):
    rng = random.Random(seed)
    values = [rng.randint(10, 60) for _ in range(items)]
    weights = [rng.randint(5, 40) for _ in range(items)]
    capacity = sum(weights) * 2 // 5
    return Program(f"knapsack-{items}", "max", values, [(weights, "<=", capacity)], list(range(items)),
                   {j: 1 for j in range(items)})


def assignment(n, seed):
    rng = random.Random(seed)
    costs = [rng.randint(1, 20) for _ in range(n * n)]
    rows = []
    for i in range(n):
        rows.append(([1 if k // n == i else 0 for k in range(n * n)], "=", 1))
    for j in range(n):
        rows.append(([1 if k % n == j else 0 for k in range(n * n)], "=", 1))
    return Program(f"assignment-{n}x{n}", "min", costs, rows, list(range(n * n)), {})


def set_cover(elements, sets, seed):
    rng = random.Random(seed)
    members = [set(rng.sample(range(elements), rng.randint(2, 4))) for _ in range(sets)]
    for e in range(elements):  # every element coverable
        if not any(e in m for m in members):
            members[rng.randrange(sets)].add(e)
    costs = [rng.randint(1, 9) for _ in range(sets)]
    rows = [([1 if e in m else 0 for m in members], ">=", 1) for e in range(elements)]
    return Program(f"setcover-{elements}x{sets}", "min", costs, rows, list(range(sets)), {s: 1 for s in range(sets)})


def parity(n):
    return Program(f"parity-{n}", "min", [1] * n, [([2] * n, "=", n if n % 2 else n + 1)], list(range(n)),
                   {j: 1 for j in range(n)})


def chain():
    return Program("node-limit-chain", "min", [1, 0], [([2, -2], "=", 1)], [0, 1], {})


def programs(skip_chain):
    out = [knapsack(n, 100 + n) for n in (5, 10, 15, 20, 25)]
    out += [assignment(n, 200 + n) for n in (3, 4, 5)]
    out += [set_cover(e, s, 300 + e) for e, s in ((10, 8), (15, 12), (20, 15), (25, 18))]
    out.append(parity(11))
    if not skip_chain:
        out.append(chain())
    return out


# ---------------------------------------------------------------- runners


def nodes_helper():
    """Builds bench/milp_nodes.cpp (CMake target milp_nodes); returns its path or None."""
    if not shutil.which("cmake"):
        return None
    print("building the node-count helper ...", file=sys.stderr)
    try:
        return build_tool("milp_nodes")
    except (OSError, subprocess.CalledProcessError):
        return None


def run_mekra(text, repeat):
    best = math.inf
    result = None
    for _ in range(repeat):
        start = time.perf_counter()
        result = mekra.solve_milp_text(text)
        best = min(best, time.perf_counter() - start)
        if best > 5.0:  # a long search: one call is measurement enough
            break
    return result, best


def run_process(cmd, repeat, limit):
    best, out = math.inf, ""
    for _ in range(repeat):
        start = time.perf_counter()
        proc = subprocess.run(cmd, capture_output=True, text=True, timeout=limit + 60)
        best = min(best, time.perf_counter() - start)
        out = proc.stdout + proc.stderr
    return out, best


def cbc_answer(out):
    if re.search(r"Result - Stopped on time", out):
        return "TIME LIMIT", None
    if re.search(r"Result - Optimal solution found", out):
        m = re.search(r"Objective value:\s+(\S+)", out)
        return "OPTIMAL", float(m.group(1))
    if re.search(r"infeasible", out, re.I):
        return "INFEASIBLE", None
    if re.search(r"unbounded", out, re.I):
        return "UNBOUNDED", None
    return "?", None


def glpsol_answer(out, solution):
    text = solution.read_text() if solution.exists() else ""
    status = re.search(r"Status:\s+(.+)", text)
    status = status.group(1).strip() if status else ""
    if "TIME LIMIT EXCEEDED" in out and "OPTIMAL" not in status:
        return "TIME LIMIT", None
    if "OPTIMAL" in status:
        return "OPTIMAL", float(re.search(r"Objective:\s+\S+\s+=\s+(\S+)", text).group(1))
    if "EMPTY" in status or "NO PRIMAL FEASIBLE" in out or "NO INTEGER FEASIBLE" in out:
        return "INFEASIBLE", None
    if "UNBOUNDED" in status or "unbounded" in out.lower():
        return "UNBOUNDED", None
    return "?", None


def run_miplib(args):
    import json

    # ../shared beside the repository, or beside a parent of it (a worktree).
    shared = next((p / "shared" for p in [ROOT, *ROOT.parents] if (p / "shared" / "benchmarks").is_dir()),
                  ROOT.parent / "shared")
    files = sorted((shared / "benchmarks" / "milp" / "miplib3").glob("*.gz"))
    if args.only:
        files = [f for f in files if f.name[:-3] in set(args.only.split(","))]
    runner = Path(__file__).with_name("solve_one.py")
    print(f"{'program':<9} {'mekra':>26} {'objective':>14} {'mekra s':>9} {'cbc':>10} {'objective':>14} {'cbc s':>9}")
    with tempfile.TemporaryDirectory() as tmp:
        for gz in files:
            name = gz.name[:-3]
            mekra_lp, cplex_lp = Path(tmp) / f"{name}.lp", Path(tmp) / f"{name}.cplex.lp"
            subprocess.run([sys.executable, str(shared / "tools" / "mps2mekra.py"), str(gz), "-o", str(mekra_lp)],
                           check=True, stdout=subprocess.DEVNULL)
            subprocess.run([sys.executable, str(shared / "tools" / "lp2cplex.py"), str(mekra_lp), "-o", str(cplex_lp)],
                           check=True, stdout=subprocess.DEVNULL)
            try:
                out = subprocess.run([sys.executable, str(runner), str(mekra_lp), "--milp"], capture_output=True,
                                     text=True, timeout=args.limit).stdout
                mk = json.loads(out)
            except (subprocess.TimeoutExpired, ValueError):
                mk = {"status": "timeout", "objective": None, "seconds": None}
            cbc_status, cbc_obj, cbc_time = "-", None, None
            if shutil.which("cbc"):
                t0 = time.perf_counter()
                try:
                    text = subprocess.run(["cbc", str(cplex_lp), "-sec", str(int(args.limit)), "-solve", "-quit"],
                                          capture_output=True, text=True, timeout=args.limit + 30).stdout
                    cbc_time = time.perf_counter() - t0
                    status = re.search(r"^Result - (.*)$", text, re.MULTILINE)
                    value = re.search(r"^Objective value:\s+(\S+)", text, re.MULTILINE)
                    cbc_status = status.group(1).strip()[:10] if status else "?"
                    cbc_obj = float(value.group(1)) if value else None
                except subprocess.TimeoutExpired:
                    cbc_status = "timeout"
            seconds = f"{mk['seconds']:9.3f}" if mk["seconds"] is not None else f"{'-':>9}"
            cbc_seconds = f"{cbc_time:9.3f}" if cbc_time is not None else f"{'-':>9}"
            print(f"{name:<9} {mk['status']:>26} {str(mk['objective']):>14} {seconds} {cbc_status:>10} "
                  f"{str(cbc_obj):>14} {cbc_seconds}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--skip-chain", action="store_true", help="leave out the slow node-limit chain")
    parser.add_argument("--peer-limit", type=int, default=10, help="time limit in seconds for CBC and glpsol")
    parser.add_argument("--miplib", action="store_true", help="run the MIPLIB 3 models instead")
    parser.add_argument("--limit", type=float, default=300.0, help="seconds per model and solver (--miplib)")
    parser.add_argument("--only", default="", help="comma-separated MIPLIB names (--miplib)")
    args = parser.parse_args()
    if args.miplib:
        run_miplib(args)
        return

    helper = nodes_helper()
    have_cbc, have_glpsol = shutil.which("cbc"), shutil.which("glpsol")
    header = (f"{'program':<20} {'mekra':<26} {'nodes':>5} {'mekra s':>9} | {'cbc obj':>9} {'cbc s':>7} "
              f"{'cbc/mk':>7} | {'glpk obj':>9} {'glpk s':>7} {'glpk/mk':>7}")
    print(header)
    print("-" * len(header))
    differences = []
    with tempfile.TemporaryDirectory() as tmp:
        for p in programs(args.skip_chain):
            text = p.mekra_text()
            result, mk_time = run_mekra(text, args.repeat)
            nodes, limit = "-", False
            if helper:
                lines = subprocess.run([str(helper)], input=text, capture_output=True, text=True).stdout.split("\n")
                nodes = lines[0].split()[0]
                limit = lines[0].split()[1] == "1"
            status = result["status"]
            answer = f"{status} {result['objective']:g}" if "objective" in result else status

            lp = Path(tmp) / f"{p.name}.lp"
            lp.write_text(p.cplex_text())
            cbc = ("-", None)
            cbc_time = math.nan
            if have_cbc:
                out, cbc_time = run_process(["cbc", str(lp), "sec", str(args.peer_limit), "solve", "quit"], args.repeat,
                                            args.peer_limit)
                cbc = cbc_answer(out)
            glpk = ("-", None)
            glpk_time = math.nan
            if have_glpsol:
                sol = Path(tmp) / f"{p.name}.sol"
                out, glpk_time = run_process(["glpsol", "--tmlim", str(args.peer_limit), "--lp", str(lp), "-o", str(sol)],
                                             args.repeat, args.peer_limit)
                glpk = glpsol_answer(out, sol)

            def obj(answer):
                return f"{answer[1]:g}" if answer[1] is not None else answer[0][:9]

            print(f"{p.name:<20} {answer:<26} {nodes:>5} {mk_time:>9.4f} | {obj(cbc):>9} {cbc_time:>7.3f} "
                  f"{cbc_time / mk_time:>7.2f} | {obj(glpk):>9} {glpk_time:>7.3f} {glpk_time / mk_time:>7.2f}",
                  flush=True)

            for peer, (peer_status, peer_obj) in (("cbc", cbc), ("glpsol", glpk)):
                if peer_status in ("-", "?"):
                    continue
                if peer_status == "TIME LIMIT":
                    differences.append(f"{p.name}: mekra {answer} vs {peer}: no answer within {args.peer_limit} s "
                                       "(the peer has no node limit and does not prove infeasibility here)")
                    continue
                same = status == peer_status and (
                    peer_obj is None or abs(result["objective"] - peer_obj) <= 1e-6 * max(1.0, abs(peer_obj)))
                if not same:
                    if status == "FEASIBLE":
                        why = "node limit reached with open nodes the incumbent does not prune (not proven)"
                    elif status == "UNKNOWN (resource limit)":
                        why = "node limit reached without an integral solution"
                    elif status == "OPTIMAL" and limit:
                        why = "node limit reached; optimum proven by pruning"
                    else:
                        why = "unexplained"
                    differences.append(f"{p.name}: mekra {answer} vs {peer} {obj((peer_status, peer_obj))} "
                                       f"({why})")

    print()
    print("programs whose answers differ:" if differences else "all answers agree")
    for d in differences:
        print("  " + d)


if __name__ == "__main__":
    main()
