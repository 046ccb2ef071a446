#!/usr/bin/env python3
"""CP benchmark: mekra.solve_cp_text against the plain written algorithm and Gecode.

Instances (generated here): n-queens n = 8..24 written with alldifferent and linear
offsets, SEND+MORE=MONEY, magic squares of order 3 and 4, sudokus, and lt chains
x1 < x2 < ... < xn up to n = 5000.

For each instance it prints mekra's time per call (best of several calls, through the Python
module), the time of the literal version (the plain written algorithm of
tests/cpp/cp/literal_cp.hpp compiled with -O2 into a small program: full propagation passes
with domain snapshots, recursive copy-based search with a listed value range), and the time
of Gecode on the same puzzle written in MiniZinc (compiled to FlatZinc once, then `fzn-gecode`
timed as a process, start-up included, and its own solveTime statistic). Ratios: literal /
mekra, gecode / mekra and gecode-solve / mekra (above 1: mekra is faster).

Usage: python bench/cp_bench.py [--literal-limit SECONDS] [--quick]
Needs the mekra module importable, g++, and the Debian packages minizinc and flatzinc
(installed with apt-get when missing and possible).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import mekra
from build_tool import build_tool

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


# ---- instances: (name, cp text, minizinc text) ---------------------------------------------


def queens(n):
    lines = [f"var q{i} 0 {n - 1}" for i in range(n)]
    for i in range(n):
        lines.append(f"var u{i} {i} {n - 1 + i}")
        lines.append(f"var d{i} {-i} {n - 1 - i}")
        lines.append(f"linear 1 u{i} -1 q{i} {i} eq")
        lines.append(f"linear 1 d{i} -1 q{i} {-i} eq")
    lines.append("alldifferent " + " ".join(f"q{i}" for i in range(n)))
    lines.append("alldifferent " + " ".join(f"u{i}" for i in range(n)))
    lines.append("alldifferent " + " ".join(f"d{i}" for i in range(n)))
    mzn = f"""include "alldifferent.mzn";
int: n = {n};
array[0..n-1] of var 0..n-1: q;
constraint alldifferent(q);
constraint alldifferent([q[i] + i | i in 0..n-1]);
constraint alldifferent([q[i] - i | i in 0..n-1]);
solve :: int_search(q, first_fail, indomain_min) satisfy;
"""
    return f"queens-{n}", "\n".join(lines), mzn


def send_more_money():
    letters = "SENDMORY"
    lines = [f"var {c} {1 if c in 'SM' else 0} 9" for c in letters]
    # SEND + MORE - MONEY = 0, written term by term (E, N, M, O appear more than once)
    terms = [(1000, "S"), (100, "E"), (10, "N"), (1, "D"), (1000, "M"), (100, "O"), (10, "R"), (1, "E"),
             (-10000, "M"), (-1000, "O"), (-100, "N"), (-10, "E"), (-1, "Y")]
    lines.append("linear " + " ".join(f"{c} {v}" for c, v in terms) + " 0 eq")
    lines.append("alldifferent " + " ".join(letters))
    mzn = """include "alldifferent.mzn";
var 1..9: S; var 0..9: E; var 0..9: N; var 0..9: D; var 1..9: M; var 0..9: O; var 0..9: R; var 0..9: Y;
constraint 1000*S + 100*E + 10*N + D + 1000*M + 100*O + 10*R + E = 10000*M + 1000*O + 100*N + 10*E + Y;
constraint alldifferent([S,E,N,D,M,O,R,Y]);
solve :: int_search([S,E,N,D,M,O,R,Y], first_fail, indomain_min) satisfy;
"""
    return "send-more-money", "\n".join(lines), mzn


def magic_square(n):
    total = n * (n * n + 1) // 2
    cell = lambda r, c: f"m{r}_{c}"
    lines = [f"var {cell(r, c)} 1 {n * n}" for r in range(n) for c in range(n)]
    lines.append("alldifferent " + " ".join(cell(r, c) for r in range(n) for c in range(n)))
    groups = [[cell(r, c) for c in range(n)] for r in range(n)]
    groups += [[cell(r, c) for r in range(n)] for c in range(n)]
    groups += [[cell(i, i) for i in range(n)], [cell(i, n - 1 - i) for i in range(n)]]
    for g in groups:
        lines.append("linear " + " ".join(f"1 {v}" for v in g) + f" {total} eq")
    mzn = f"""include "alldifferent.mzn";
int: n = {n}; int: s = {total};
array[0..n-1, 0..n-1] of var 1..n*n: m;
constraint alldifferent([m[r,c] | r, c in 0..n-1]);
constraint forall(r in 0..n-1)(sum(c in 0..n-1)(m[r,c]) = s);
constraint forall(c in 0..n-1)(sum(r in 0..n-1)(m[r,c]) = s);
constraint sum(i in 0..n-1)(m[i,i]) = s;
constraint sum(i in 0..n-1)(m[i,n-1-i]) = s;
solve :: int_search([m[r,c] | r, c in 0..n-1], first_fail, indomain_min) satisfy;
"""
    return f"magic-square-{n}", "\n".join(lines), mzn


SUDOKUS = {
    # 0 marks an empty cell
    "sudoku-easy": "530070000600195000098000060800060003400803001700020006060000280000419005000080079",
    "sudoku-medium": "000260701680070090190004500820100040004602900050003028009300074040050036703018000",
}


def _pattern_sudoku():
    """A valid grid from the shifting pattern, every other cell blanked."""
    cells = []
    for r in range(9):
        for c in range(9):
            value = (r * 3 + r // 3 + c) % 9 + 1
            cells.append("0" if (r * 9 + c) % 2 == 0 else str(value))
    return "".join(cells)


SUDOKUS["sudoku-pattern-half"] = _pattern_sudoku()


def sudoku(name, givens):
    cell = lambda r, c: f"c{r}{c}"
    lines = []
    for r in range(9):
        for c in range(9):
            g = int(givens[9 * r + c])
            lines.append(f"var {cell(r, c)} {g or 1} {g or 9}")
    units = [[cell(r, c) for c in range(9)] for r in range(9)]
    units += [[cell(r, c) for r in range(9)] for c in range(9)]
    units += [[cell(3 * br + i, 3 * bc + j) for i in range(3) for j in range(3)] for br in range(3) for bc in range(3)]
    lines += ["alldifferent " + " ".join(u) for u in units]
    grid = ",".join(givens)
    mzn = f"""include "alldifferent.mzn";
array[0..8, 0..8] of int: g = array2d(0..8, 0..8, [{grid}]);
array[0..8, 0..8] of var 1..9: x;
constraint forall(r, c in 0..8 where g[r,c] > 0)(x[r,c] = g[r,c]);
constraint forall(r in 0..8)(alldifferent([x[r,c] | c in 0..8]));
constraint forall(c in 0..8)(alldifferent([x[r,c] | r in 0..8]));
constraint forall(br, bc in 0..2)(alldifferent([x[3*br+i, 3*bc+j] | i, j in 0..2]));
solve :: int_search([x[r,c] | r, c in 0..8], first_fail, indomain_min) satisfy;
"""
    return name, "\n".join(lines), mzn


def lt_chain(n, slack=0):
    lines = [f"var x{i} 0 {n - 1 + slack}" for i in range(n)]
    lines += [f"lt x{i} x{i + 1}" for i in range(n - 1)]
    mzn = f"""int: n = {n};
array[0..n-1] of var 0..{n - 1 + slack}: x;
constraint forall(i in 0..n-2)(x[i] < x[i+1]);
solve :: int_search(x, first_fail, indomain_min) satisfy;
"""
    return f"lt-chain-{n}" + (f"+{slack}" if slack else ""), "\n".join(lines), mzn


def instances(quick):
    result = [queens(n) for n in range(8, 25)]
    result.append(send_more_money())
    result += [magic_square(3), magic_square(4)]
    result += [sudoku(name, g) for name, g in SUDOKUS.items()]
    result += [lt_chain(n) for n in (100, 1000, 2000, 5000)]
    result += [lt_chain(n, 1) for n in (50, 200)]
    if quick:
        result = [r for r in result if not r[0].startswith("queens") or int(r[0].split("-")[1]) <= 12]
    return result


# ---- timing --------------------------------------------------------------------------------


def time_mekra(text, budget=1.0):
    """Best time of several calls, within about `budget` seconds."""
    best, total, calls, result = float("inf"), 0.0, 0, None
    while calls < 3 or (total < budget and calls < 50):
        start = time.perf_counter()
        result = mekra.solve_cp_text(text)
        elapsed = time.perf_counter() - start
        best, total, calls = min(best, elapsed), total + elapsed, calls + 1
        if elapsed > budget:
            break
    return result["status"], best


def build_literal():
    return str(build_tool("cp_literal"))


def time_literal(exe, path, limit):
    try:
        out = subprocess.run([exe, path, "1"], capture_output=True, text=True, timeout=limit).stdout.split()
    except subprocess.TimeoutExpired:
        return "timeout", None
    return out[0], float(out[1])


def ensure_gecode():
    if shutil.which("minizinc") and shutil.which("fzn-gecode"):
        return True
    if os.geteuid() == 0 and shutil.which("apt-get"):
        subprocess.run(["apt-get", "install", "-y", "-q", "minizinc", "flatzinc"], capture_output=True)
    return bool(shutil.which("minizinc") and shutil.which("fzn-gecode"))


def time_gecode(mzn_text, workdir, name, limit):
    mzn = os.path.join(workdir, name + ".mzn")
    fzn = os.path.join(workdir, name + ".fzn")
    with open(mzn, "w") as f:
        f.write(mzn_text)
    subprocess.run(["minizinc", "--solver", "gecode", "-c", mzn, "--fzn", fzn, "--ozn", os.devnull],
                   check=True, capture_output=True)
    best, solve_best, status = float("inf"), float("inf"), "?"
    for _ in range(3):
        start = time.perf_counter()
        try:
            out = subprocess.run(["fzn-gecode", "-s", fzn], capture_output=True, text=True, timeout=limit).stdout
        except subprocess.TimeoutExpired:
            return "timeout", None, None
        best = min(best, time.perf_counter() - start)
        for line in out.splitlines():
            if line.startswith("%%%mzn-stat: solveTime="):
                solve_best = min(solve_best, float(line.split("=", 1)[1]))
        status = "UNSAT" if "=====UNSATISFIABLE=====" in out else ("SAT" if "----------" in out else "?")
    return status, best, (solve_best if solve_best != float("inf") else None)


def fmt(seconds):
    return "-" if seconds is None else f"{seconds * 1000:10.3f}"


def ratio(a, b):
    return "-" if a is None or b is None else f"{a / b:9.1f}x"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--literal-limit", type=float, default=120.0,
                        help="seconds before the literal version is stopped")
    parser.add_argument("--quick", action="store_true", help="queens up to 12 only")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as workdir:
        exe = build_literal()
        gecode = ensure_gecode()
        if not gecode:
            print("# Gecode (minizinc, fzn-gecode) not available: its column stays empty")
        print(f"# times in ms; literal = plain written algorithm (C++ -O2), stopped after {args.literal_limit:.0f} s")
        print("# gecode = fzn-gecode process (start-up included); gecode-solve = its own solveTime statistic")
        print(f"{'instance':26} {'status':6} {'mekra':>10} {'literal':>10} {'gecode':>10} {'gec-solve':>10} "
              f"{'lit/mekra':>10} {'gec/mekra':>10} {'gsol/mekra':>10}")
        for name, text, mzn in instances(args.quick):
            path = os.path.join(workdir, name + ".cp")
            with open(path, "w") as f:
                f.write(text)
            status, t_mekra = time_mekra(text)
            lit_status, t_lit = time_literal(exe, path, args.literal_limit)
            if lit_status not in ("timeout", status):
                print(f"# MISMATCH on {name}: mekra {status}, literal {lit_status}")
            gec_status, t_gec, t_gsolve = time_gecode(mzn, workdir, name, 120) if gecode else ("-", None, None)
            if gec_status not in ("timeout", "-", status):
                print(f"# MISMATCH on {name}: mekra {status}, gecode {gec_status}")
            lit_cell = fmt(t_lit) if t_lit is not None else f"> {args.literal_limit:.0f}s"
            lit_ratio = ratio(t_lit, t_mekra) if t_lit is not None else f">{args.literal_limit / t_mekra:8.0f}x"
            print(f"{name:26} {status:6} {fmt(t_mekra)} {lit_cell:>10} {fmt(t_gec)} {fmt(t_gsolve)} {lit_ratio:>10} "
                  f"{ratio(t_gec, t_mekra):>10} {ratio(t_gsolve, t_mekra):>10}", flush=True)


if __name__ == "__main__":
    sys.exit(main())
