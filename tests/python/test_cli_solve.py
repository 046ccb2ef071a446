"""`mekra solve` on each format and compression, its outputs and its exit codes."""

from __future__ import annotations

import bz2
import fcntl
import gzip
import json
import lzma
import os
import pty
import shutil
import struct
import subprocess
import sys
import termios
from pathlib import Path

import pytest
from cli_support import clauses_of, mekra, pigeonhole, shared

SAT_TEXT = "c a comment\np cnf 3 2\n1 -3 0\n2 3 -1 0\n"
LP_TEXT = "max 3*x0 + 2*x1\nx0 + x1 <= 4\nx0 + 3*x1 <= 6\n"
MILP_TEXT = "max x0 + x1\n2*x0 + 2*x1 <= 3\nint x0\nint x1\n"
CP_TEXT = "var x 0 9\nvar y 0 9\nlinear 1 x 1 y 10 eq\nlt x y\n"
MPS_TEXT = """NAME          TINY
ROWS
 N  COST
 L  LIM1
 L  LIM2
COLUMNS
    X         COST         -3.0   LIM1         1.0
    X         LIM2          1.0
    Y         COST         -2.0   LIM1         1.0
    Y         LIM2          3.0
RHS
    RHS       LIM1          4.0   LIM2         6.0
ENDATA
"""
MPS_INTEGER_TEXT = MPS_TEXT.replace("    X         COST", "    M1        'MARKER'                 'INTORG'\n    X         COST").replace(
    "    Y         COST", "    M2        'MARKER'                 'INTEND'\n    Y         COST")
COMPRESSORS = {"": lambda b: b, ".gz": gzip.compress, ".xz": lzma.compress, ".bz2": bz2.compress}


def write(folder: Path, name: str, text: str) -> Path:
    path = folder / name
    suffix = next((s for s in COMPRESSORS if s and name.endswith(s)), "")
    path.write_bytes(COMPRESSORS[suffix](text.encode()))
    return path


@pytest.mark.parametrize("compression", list(COMPRESSORS))
@pytest.mark.parametrize("name, text, kind, status, objective", [
    ("f.cnf", SAT_TEXT, "sat", "SAT", None),
    ("f.mklp", LP_TEXT, "lp", "OPTIMAL", 12.0),
    ("f.mklp", MILP_TEXT, "milp", "OPTIMAL", 1.0),
    ("f.mkcp", CP_TEXT, "cp", "SAT", None),
    ("f.mps", MPS_TEXT, "lp", "OPTIMAL", -12.0),
    ("f.mps", MPS_INTEGER_TEXT, "milp", "OPTIMAL", pytest.approx(-19 / 3)),  # a MARKER column is binary
])
def test_each_format_and_compression(tmp_path, compression, name, text, kind, status, objective):
    path = write(tmp_path, name + compression, text)
    run = mekra("solve", "--json", path)
    assert run.returncode == 0, run.stderr
    record = json.loads(run.stdout)
    assert (record["file"], record["kind"], record["status"], record.get("objective")) == (str(path), kind, status, objective)


@pytest.mark.parametrize("text, kind, status", [(SAT_TEXT, None, "SAT"), (LP_TEXT, "lp", "OPTIMAL"),
                                                (CP_TEXT, "cp", "SAT"), (MPS_TEXT, "lp", "OPTIMAL")])
def test_standard_input_plain_and_gzipped(text, kind, status):
    for data in (text, gzip.compress(text.encode())):
        run = mekra("solve", "--json", "-", *(["--kind", kind] if kind else []), input=data)
        assert run.returncode == 0, run.stderr
        assert json.loads(run.stdout)["status"] == status


def test_kind_overrides_the_name(tmp_path):
    path = write(tmp_path, "model.txt", MILP_TEXT)
    as_lp = json.loads(mekra("solve", "--json", "--kind", "lp", path).stdout)
    as_milp = json.loads(mekra("solve", "--json", "--kind", "milp", path).stdout)
    assert (as_lp["objective"], as_milp["objective"]) == (1.5, 1.0)


def test_satlib_end_is_cut_and_said_once(tmp_path):
    text = "c SATLIB\np cnf 2 2\n1 2 0\n-1 0\n%\n0\n\n"
    paths = [write(tmp_path, f"s{i}.cnf", text) for i in range(3)]
    run = mekra("solve", "--jobs", "1", *paths)
    assert run.returncode == 0, run.stderr
    assert run.stdout.count("\tSAT\t") == 3
    assert run.stderr.count("'%'") == 1


def test_default_line_and_models(tmp_path):
    lp = write(tmp_path, "a.mklp", LP_TEXT)
    sat = write(tmp_path, "b.cnf", SAT_TEXT)
    run = mekra("solve", "--ordered", "--model", lp, sat)
    lines = run.stdout.splitlines()
    assert lines[0].split("\t")[:3] == [str(lp), "OPTIMAL", "12.0"]
    assert lines[1] == "\tmodel: x0=4 x1=0"
    assert lines[2].split("\t")[:3] == [str(sat), "SAT", "-"]
    assert lines[3].startswith("\tmodel: ") and lines[3].endswith(" 0") is False


def test_json_holds_the_whole_result(tmp_path):
    run = mekra("solve", "--json", write(tmp_path, "a.mklp", LP_TEXT))
    record = json.loads(run.stdout)
    assert record["model"] == {"x0": 4, "x1": 0} and record["objective"] == 12.0 and record["time"] >= 0


@pytest.mark.parametrize("family, answer, code", [("uf20-91", "SATISFIABLE", 10), ("uf50-218", "SATISFIABLE", 10),
                                                   ("uuf50-218", "UNSATISFIABLE", 20)])
def test_competition_output_answers_the_instance(family, answer, code):
    for path in sorted(shared("benchmarks", "sat", family).glob("*.cnf"))[:5]:
        run = mekra("solve", "--format", "competition", path)
        assert run.returncode == code, run.stderr
        lines = run.stdout.splitlines()
        assert lines[0] == f"s {answer}"
        if code == 10:
            assert all(line.startswith("v ") for line in lines[1:]) and lines[-1].endswith(" 0")
            literals = {int(t) for line in lines[1:] for t in line[2:].split()} - {0}
            assert all(set(clause) & literals for clause in clauses_of(path.read_text()))
            assert not any(-literal in literals for literal in literals)


def test_competition_unknown_on_timeout_and_usage_limits(tmp_path):
    hard = write(tmp_path, "php.cnf", pigeonhole(9, 8))
    run = mekra("solve", "--format", "competition", "--timeout", "0.5", hard)
    assert (run.returncode, run.stdout) == (0, "s UNKNOWN\n")
    two = mekra("solve", "--format", "competition", hard, hard)
    lp = mekra("solve", "--format", "competition", write(tmp_path, "a.mklp", LP_TEXT))
    assert two.returncode == lp.returncode == 2


@pytest.mark.parametrize("args", [[], ["solve"], ["solve", "--jobs", "0", "x.cnf"], ["solve", "--timeout", "-1", "x.cnf"],
                                  ["solve", "--kind", "smt", "x.cnf"], ["frobnicate"], ["convert"]])
def test_usage_errors_exit_2(args):
    assert mekra(*args).returncode == 2


def test_a_bad_file_among_good_ones(tmp_path):
    good = [write(tmp_path, f"g{i}.cnf", SAT_TEXT) for i in range(4)]
    bad = write(tmp_path, "bad.cnf", "p cnf 1 1\n1 x 0\n")
    missing = tmp_path / "missing.cnf"
    run = mekra("solve", "--jobs", "2", *good[:2], bad, missing, *good[2:])
    assert run.returncode == 1
    statuses = dict(line.split("\t")[:2] for line in run.stdout.splitlines())
    assert [statuses[str(p)] for p in good] == ["SAT"] * 4
    assert statuses[str(bad)] == statuses[str(missing)] == "ERROR"
    assert f"{bad}:2: invalid literal 'x'" in run.stderr
    assert f"{missing}: No such file" in run.stderr


def test_unknown_kind_names_the_file(tmp_path):
    path = write(tmp_path, "notes.txt", "hello\n")
    run = mekra("solve", path)
    assert run.returncode == 1 and f"{path}: unknown kind" in run.stderr


def test_a_folder_is_its_instance_files(tmp_path):
    write(tmp_path, "a.cnf", SAT_TEXT)
    (tmp_path / "sub").mkdir()
    write(tmp_path / "sub", "b.mklp.gz", LP_TEXT)
    write(tmp_path / "sub", "model.gz", MPS_TEXT)  # no suffix, as the MIPLIB files: found by its first lines
    write(tmp_path, "README.md", "not an instance")
    write(tmp_path, "notes.cat", "a catalogue, x = 1\n")
    run = mekra("solve", "--ordered", tmp_path)
    assert run.returncode == 0, run.stderr
    assert [line.split("\t")[:2] for line in run.stdout.splitlines()] == [
        [str(tmp_path / "a.cnf"), "SAT"], [str(tmp_path / "sub" / "b.mklp.gz"), "OPTIMAL"],
        [str(tmp_path / "sub" / "model.gz"), "OPTIMAL"]]


def test_ordered_keeps_input_order(tmp_path):
    paths = [write(tmp_path, f"{i:02}.cnf", SAT_TEXT) for i in range(30)]
    run = mekra("solve", "--ordered", "--jobs", "2", *reversed(paths))
    assert [line.split("\t")[0] for line in run.stdout.splitlines()] == [str(p) for p in reversed(paths)]


def test_miplib_and_netlib_files_solve_by_name(tmp_path):
    afiro = shared("benchmarks", "lp", "netlib", "afiro.mps.gz")
    flugpl = shared("benchmarks", "milp", "miplib3", "flugpl.gz")
    run = mekra("solve", "--json", "--ordered", afiro, flugpl)
    records = [json.loads(line) for line in run.stdout.splitlines()]
    assert records[0]["status"] == "OPTIMAL" and records[0]["objective"] == pytest.approx(-464.753142857143)
    assert records[1]["kind"] == "milp"


def test_console_script_is_installed():
    script = shutil.which("mekra")
    if script is None:
        pytest.skip("the mekra script is not on PATH (not installed into this environment)")
    run = subprocess.run([script, "solve", "-"], input=SAT_TEXT, capture_output=True, text=True, timeout=60)
    assert run.returncode == 0 and "\tSAT\t" in run.stdout


@pytest.mark.parametrize("name, text, message", [
    ("a.cnf", "p cnf 1 1\n1 x 0\n", "2: invalid literal 'x'"),
    ("a.mklp", "max x0\nx0 <= 1\nx0 <= y\n", "3: bad number: y"),
    ("a.mklp", "max x0\n# note\nx0 + a*x1 <= 1\n", "3: bad coeff in a*x1"),
    ("a.mklp", "max x0 + 3/-4\n", "1: bad den in 3/"),
    ("a.mklp", "max x0\nfoo\n", "2: bad syntax: foo"),
    ("a.mkcp", "var x 0 1\nvar y 0 1\n\nle x y z\n", "4: bad c"),
    ("a.mkcp", "var x 0 1\nlinear 1 x 2 5 le\n", "2: linear: expected le/eq/ge"),
    ("a.mkcp", "var x 0 1\neq x\n", "2: eq needs 2 vars"),
    ("a.mps", "NAME x\nROWS\n N obj\nCOLUMNS\n x nowhere 1\nENDATA\n", "5: unknown row 'nowhere'"),
    ("a.mps", "NAME x\nROWS\n N obj\nCOLUMNS\n x obj 1,5\nENDATA\n", "5: expected a name and one or two (row, value) pairs"),
])
def test_bad_input_names_the_file_and_line(tmp_path, name, text, message):
    path = write(tmp_path, name, text)
    run = mekra("solve", path)
    assert run.returncode == 1
    assert f"mekra: error: {path}:{message}" in run.stderr


def test_progress_bar_only_on_a_terminal(tmp_path):
    paths = [write(tmp_path, f"{i}.cnf", SAT_TEXT) for i in range(3)]
    main, terminal = pty.openpty()
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))  # a new pty is 0 columns wide
    try:
        run = subprocess.run([sys.executable, "-m", "mekra_tools", "solve", *map(str, paths)], stdout=subprocess.PIPE,
                             stderr=terminal, stdin=subprocess.DEVNULL, timeout=60)
        os.close(terminal)
        shown = b""
        while True:
            try:
                chunk = os.read(main, 4096)
            except OSError:  # the terminal's other end is closed: all read
                break
            if not chunk:
                break
            shown += chunk
    finally:
        os.close(main)
    assert run.returncode == 0 and run.stdout.count(b"\tSAT\t") == 3
    assert b"3/3" in shown  # the bar, at its end
    assert mekra("solve", *paths).stderr == ""  # not a terminal: silent
