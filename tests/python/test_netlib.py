"""Real Netlib LPs whose exact values need far more than 64 bits: the answer must be the exact
optimum that glpsol --exact measured, and the reported model must satisfy every constraint up to
the rounding of its values to doubles. The smaller programs run through the integer form of the
tableau with rows over reduced denominators and columns computed on demand, those of 300 rows or
more through the factored form, an exact LU factorization of the basis."""

from __future__ import annotations

import csv
import gzip
import re
import shutil
import subprocess
import sys
from fractions import Fraction

import pytest

import mekra
from cli_support import shared
from mekra_tools.convert import mps_to_lp_text
from mekra_tools.mps import read_mps

# Each solves in well under a second; together they cover equality rows, ranges, free and
# split columns, and decimal data of up to nine places. agg, etamacro, sctap1 and ship04l follow
# the simplex path in the factored form. The last four have a single optimal vertex, which the
# floating-point basis and the exact checks reach long before the simplex path would.
PROGRAMS = ["adlittle", "afiro", "agg2", "beaconfd", "blend", "boeing2", "capri", "israel", "kb2",
            "lotfi", "sc105", "scagr7", "share2b", "stocfor1", "agg", "etamacro", "sctap1", "ship04l",
            "degen2", "scagr25", "vtpbase", "stocfor2"]

TERM = re.compile(r"([+-]?)\s*([0-9.eE+-]+)\*x(\d+)")


def published_objective(name: str) -> float:
    """glpsol --exact's optimum of the MPS file, as recorded beside the benchmarks (to a few
    digits fewer than a double holds; the LP text may round a coefficient the MPS file has)."""
    table = shared("benchmarks", "expected.tsv")
    rows = csv.reader((line for line in table.read_text().splitlines() if not line.startswith("#")),
                      delimiter="\t")
    for row in rows:
        if row and row[0] == f"lp/netlib/{name}.mps.gz":
            return float(row[4])
    pytest.skip(f"no recorded objective for {name}")


def exact_objective(text: str, tmp_path) -> Fraction | None:
    """QSopt_ex's exact optimum of the same text (through the shared CPLEX LP writer), when
    its esolver is installed."""
    if shutil.which("esolver") is None:
        return None
    source, cplex, solution = tmp_path / "p.txt", tmp_path / "p.lp", tmp_path / "p.sol"
    source.write_text(text)
    subprocess.run([sys.executable, str(shared("tools", "lp2cplex.py")), str(source), "-o", str(cplex)],
                   check=True, capture_output=True, timeout=120)
    subprocess.run(["esolver", "-L", "-O", str(solution), str(cplex)], check=True, capture_output=True,
                   timeout=120)
    match = re.search(r"Value = (\S+)", solution.read_text())
    return Fraction(match.group(1)) if match else None


def worst_violation(text: str, model: dict) -> Fraction:
    """The largest |lhs - rhs| / (1 + sum |a_j x_j| + |rhs|) of a violated constraint line, in
    exact arithmetic over the reported values."""
    values = {int(key[1:]): Fraction(value) for key, value in model.items()}
    worst = Fraction(0)
    for line in text.splitlines():
        if not line or line[0] in "#c" or line.startswith(("min ", "max ", "int ")):
            continue
        relation = next(r for r in ("<=", ">=", "=") if r in line)
        lhs_text, rhs_text = line.split(relation, 1)
        lhs = scale = Fraction(0)
        for sign, coefficient, var in TERM.findall(lhs_text):
            term = Fraction(coefficient) * values.get(int(var), Fraction(0))
            lhs += -term if sign == "-" else term
            scale += abs(term)
        rhs = Fraction(rhs_text.strip())
        gap = {"<=": lhs - rhs, ">=": rhs - lhs, "=": abs(lhs - rhs)}[relation]
        worst = max(worst, gap / (1 + scale + abs(rhs)))
    return worst


@pytest.mark.parametrize("name", PROGRAMS)
def test_netlib_program_reaches_the_exact_optimum(name, tmp_path):
    path = shared("benchmarks", "lp", "netlib", f"{name}.mps.gz")
    text = mps_to_lp_text(read_mps(gzip.open(path, "rt").read(), str(path)))
    result = mekra.solve_lp_text(text)
    assert result["status"] == "OPTIMAL"
    exact = exact_objective(text, tmp_path)
    if exact is not None:
        # The double of the exact optimum (within one rounding of numerator over denominator).
        assert result["objective"] == pytest.approx(float(exact), rel=4e-16, abs=0)
    else:
        assert result["objective"] == pytest.approx(published_objective(name), rel=1e-9)
    # Values are exact vertex coordinates rounded to the nearest double each.
    assert worst_violation(text, result["model"]) < Fraction(1, 10**15)
    assert mekra.solve_lp_text(text) == result
