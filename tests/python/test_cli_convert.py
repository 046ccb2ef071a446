"""`mekra convert`: MPS to LP text, checked against the field's conventions as the oracle script
(../shared/tools/mps2mekra.py) writes them, on every Netlib and MIPLIB file and on random models.
"""

from __future__ import annotations

import subprocess
import sys
from decimal import Decimal
from pathlib import Path

import mekra
import pytest
from cli_support import COMMAND_TIMEOUT, mekra as run_mekra, shared, shared_dir
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from mekra_tools.errors import InputError
from mekra_tools.lp_text import canonical
from mekra_tools.mps import read_mps

SMALL_GZ = 3000  # bytes: small enough to solve both texts exactly in a blink


def benchmark_models() -> list[Path]:
    base = shared_dir()
    if base is None:
        return []
    return sorted((base / "benchmarks" / "lp" / "netlib").glob("*.mps.gz")) + sorted(
        p for p in (base / "benchmarks" / "milp" / "miplib3").glob("*.gz"))


def oracle(path: Path) -> str:
    oracle_script = shared("tools", "mps2mekra.py")
    run = subprocess.run([sys.executable, str(oracle_script), str(path)], capture_output=True, text=True,
                         timeout=COMMAND_TIMEOUT)
    assert run.returncode == 0, run.stderr
    return run.stdout


@pytest.mark.parametrize("path", benchmark_models() or [None], ids=lambda p: p.name if p else "missing")
def test_benchmark_models_convert_as_the_oracle_does(path, tmp_path):
    if path is None:
        pytest.skip("../shared/benchmarks is not beside this checkout (set MEKRA_SHARED)")
    out = tmp_path / "model.mklp"
    run = run_mekra("convert", path, "-o", out)
    assert run.returncode == 0, run.stderr
    ours, theirs = out.read_text(), oracle(path)
    assert canonical(ours) == canonical(theirs)
    if path.stat().st_size < SMALL_GZ and "miplib3" not in str(path):
        assert mekra.solve_lp_text(ours) == mekra.solve_lp_text(theirs)


NAME = st.text("ABCXYZ0123", min_size=1, max_size=4)
VALUE = st.decimals(min_value=-1000, max_value=1000, places=3, allow_nan=False, allow_infinity=False)


@st.composite
def mps_models(draw) -> str:
    """A random MPS text using every section and bound type the converter knows."""
    columns = draw(st.lists(NAME.map(lambda s: "C" + s), min_size=1, max_size=5, unique=True))
    rows = draw(st.lists(NAME.map(lambda s: "R" + s), min_size=1, max_size=5, unique=True))
    types = {row: draw(st.sampled_from("ELGN")) for row in rows}
    lines = ["NAME          RANDOM"]
    if draw(st.booleans()):
        lines += ["OBJSENSE", "    " + draw(st.sampled_from(["MAX", "MIN"]))]
    lines += ["ROWS", " N  OBJ"] + [f" {types[r]}  {r}" for r in rows] + ["COLUMNS"]
    integer_block = draw(st.sets(st.sampled_from(columns)))
    for column in columns:
        marker = column in integer_block
        if marker:
            lines.append("    MARKER                 'MARKER'                 'INTORG'")
        for row in ["OBJ"] + draw(st.lists(st.sampled_from(rows), unique=True)):
            lines.append(f"    {column:<8}  {row:<8}  {draw(VALUE)}")
        if marker:
            lines.append("    MARKER                 'MARKER'                 'INTEND'")
    lines.append("RHS")
    for row in draw(st.lists(st.sampled_from(rows + ["OBJ"]), unique=True)):
        lines.append(f"    RHS       {row:<8}  {draw(VALUE)}")
    ranged = [r for r in rows if types[r] != "N"]
    if ranged:
        lines.append("RANGES")
        for row in draw(st.lists(st.sampled_from(ranged), unique=True)):
            lines.append(f"    RNG       {row:<8}  {draw(VALUE)}")
    lines.append("BOUNDS")
    for column in draw(st.lists(st.sampled_from(columns))):
        kind = draw(st.sampled_from(["UP", "LO", "FX", "FR", "MI", "PL", "BV", "LI", "UI"]))
        value = f"  {draw(VALUE)}" if kind in ("UP", "LO", "FX", "LI", "UI") else ""
        lines.append(f" {kind} BND       {column:<8}{value}")
    lines.append("ENDATA")
    return "\n".join(lines) + "\n"


@settings(max_examples=25, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(text=mps_models())
def test_random_models_convert_as_the_oracle_does(text, tmp_path_factory):
    folder = tmp_path_factory.mktemp("random")
    path = folder / "model.mps"
    path.write_text(text)
    run = run_mekra("convert", path)
    assert run.returncode == 0, run.stderr
    assert canonical(run.stdout) == canonical(oracle(path))


@settings(max_examples=300, deadline=None)
@given(st.text(alphabet=st.sampled_from(list("NAMEROWSCLUMRHBDGXYZ 01.-+eE'\n\t*")) | st.characters(), max_size=300))
def test_reader_fails_only_with_its_own_error(text):
    try:
        read_mps(text, "fuzz.mps")
    except InputError as error:
        assert str(error).startswith("fuzz.mps")


def fixed(kind: str = "", name: str = "", row: str = "", value: str = "", row2: str = "", value2: str = "") -> str:
    """A line in the fixed MPS columns (2-3, 5-12, 15-22, 25-36, 40-47, 50-61)."""
    return f" {kind:<2} {name:<8}  {row:<8}  {value:>12}   {row2:<8}  {value2:>12}".rstrip()


FIXED_WITH_BLANKS = "\n".join([
    "NAME          BLANKS", "ROWS", " N  COST", " G  ROW ONE", "COLUMNS",
    fixed("", "COL A", "COST", "1.", "ROW ONE", "1."),
    fixed("", "COL B", "COST", "2.", "ROW ONE", "1."),
    "RHS", fixed("", "RHS", "ROW ONE", "3."),
    "BOUNDS", fixed("UP", "BND", "COL A", "2."),
    "ENDATA", ""])


def test_fixed_format_names_with_blanks():
    run = run_mekra("solve", "--json", "--kind", "lp", "-", input=FIXED_WITH_BLANKS)
    assert '"objective": 4.0' in run.stdout, run.stderr  # 2 of COL A at cost 1, 1 of COL B at cost 2


FREE_FORMAT = """NAME free
OBJSENSE MAX
ROWS
 N obj
 L cap
 N spare
COLUMNS
 x obj 1 cap 1
 x spare 5
 y obj 1 cap 2
RHS
 rhs obj -10 cap 4
RANGES
 rng cap 1
BOUNDS
 MI bnd y
 UP bnd y 1
ENDATA
"""


def test_free_format_sense_range_split_and_constant():
    run = run_mekra("convert", "-", input=FREE_FORMAT)
    assert run.returncode == 0, run.stderr
    body = [line for line in run.stdout.splitlines() if not line.startswith("#")]
    assert body == ["max 1*x0 + 1*x1 - 1*x2 + 10",  # y split into x1 - x2; constant is minus the RHS
                    "1*x0 + 2*x1 - 2*x2 >= 3", "1*x0 + 2*x1 - 2*x2 <= 4",  # range 1 below an L row
                    "1*x1 - 1*x2 <= 1"]
    solved = mekra.solve_lp_text(run.stdout)
    assert solved["status"] == "UNBOUNDED"  # x = 4 - 2y within the range, so x + y grows as y falls


def test_header_counts_the_numbers_the_reader_rounds():
    text = "\n".join(["NAME R", "ROWS", " N obj", " L a", "COLUMNS",
                      " x obj 0.1234567891 a 0.00000000001",  # ten decimal places; below 5e-10
                      " y obj 12345678901.5 a 1e19",  # fractional past ~9.2e9; whole past 2^63
                      " z obj 0.125 a 1e15",  # exact; whole and within 64 bits
                      "RHS", " rhs a 3", "ENDATA", ""])
    run = run_mekra("convert", "-", input=text)
    assert run.returncode == 0, run.stderr
    assert ("# numbers the LP reader rounds: 4 (1 with more than nine decimal places, 1 below 5e-10 read as 0, "
            "2 beyond the saturation limit)") in run.stdout


def test_convert_names_the_file_and_line_of_a_fault(tmp_path):
    path = tmp_path / "bad.mps"
    path.write_text("NAME x\nROWS\n N obj\nCOLUMNS\n x obj 1\nBOUNDS\n SC bnd x 4\nENDATA\n")
    run = run_mekra("convert", path)
    assert run.returncode == 1 and f"{path}:7: semi-continuous bounds (SC) are not supported" in run.stderr
