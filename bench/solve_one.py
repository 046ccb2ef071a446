"""One program file through mekra, in a process of its own (bench/lp_bench.py --netlib and
bench/milp_bench.py --miplib run it under a time limit): prints one JSON line with the status,
the objective, the seconds of the call and the largest relative violation of a constraint by
the reported model. Usage: solve_one.py FILE [--milp]"""

import json
import re
import sys
import time
from fractions import Fraction

import mekra

TERM = re.compile(r"([+-]?)\s*([0-9.eE+-]+)\*x(\d+)")


def worst_violation(text, model):
    """max over the constraint lines of |lhs - rhs| / (1 + sum |a_j x_j| + |rhs|), in exact
    arithmetic over the reported values (Float values are the doubles mekra reported)."""
    worst = Fraction(0)
    values = {int(k[1:]): Fraction(v) for k, v in model.items()}
    for line in text.splitlines():
        line = line.strip()
        if not line or line[0] in "#c" or line.startswith(("min ", "max ", "int ")) or line == "end":
            continue
        for rel in ("<=", ">=", "="):
            if rel in line:
                lhs_text, rhs_text = line.split(rel, 1)
                break
        else:
            continue
        lhs, scale = Fraction(0), Fraction(0)
        for sign, coef, var in TERM.findall(lhs_text):
            term = Fraction(coef) * values.get(int(var), Fraction(0))
            lhs += -term if sign == "-" else term
            scale += abs(term)
        rhs = Fraction(rhs_text.strip().rstrip(";"))
        gap = lhs - rhs if rel == "<=" else rhs - lhs if rel == ">=" else abs(lhs - rhs)
        if gap > 0:
            worst = max(worst, gap / (1 + scale + abs(rhs)))
    return float(worst)


def main():
    text = open(sys.argv[1]).read()
    start = time.perf_counter()
    solve = mekra.solve_milp_text if "--milp" in sys.argv[2:] else mekra.solve_lp_text
    result = solve(text)
    seconds = time.perf_counter() - start
    violation = worst_violation(text, result["model"]) if "model" in result else None
    print(json.dumps({"status": result["status"], "objective": result.get("objective"), "seconds": seconds,
                      "violation": violation}))


if __name__ == "__main__":
    main()
