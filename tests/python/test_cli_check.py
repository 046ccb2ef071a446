"""`mekra check` flags each trap of the LP and CP texts, and says nothing about clean texts;
`mekra solve` warns with the same words unless told not to."""

from __future__ import annotations

import pytest
from cli_support import mekra, shared
from hypothesis import given, settings
from hypothesis import strategies as st

from mekra_tools.checks import cp_warnings, lp_warnings


@pytest.mark.parametrize("text, line, words", [
    ("max profit\nprofit <= 4\n", 1, "'profit' is not x<k> of an existing variable: the module makes a new variable x0"),
    ("max profit\nprofit <= 4\n", 2, "makes a new variable x1"),
    ("max x1 + x0\nx0 <= 1\n", 1, "'x1' is not x<k>"),
    ("max x0\ncost: x0 <= 3\n", 2, "starts with 'c', so the module reads it as a comment and drops this constraint"),
    ("max 2x0\nx0 <= 1\n", 1, "name '2x0' looks like a coefficient"),
    ("min 1e3\n", 1, "name '1e3' looks like a coefficient"),
    ("max x0 + x1\n2*(x0 + x1) <= 4\n", 2, "name '(x0' holds brackets"),
    ("max x0\nx0 + x1 <= 4\nint x1\n", 3, "'int x1' reaches no variable"),
    ("max x0\nint x0 x1\nx0 <= 4\n", 2, "'int x0 x1' reaches no variable"),
    ("max x0\nx0 <= inf\n", 2, "'inf' saturates"),
    ("max 1e400*x0\nx0 <= 1\n", 1, "'1e400' saturates"),
    ("", 1, "no objective and no constraint"),
    ("# only a comment\nend\nmax x0\n", 1, "no objective and no constraint"),
])
def test_each_lp_trap_is_flagged_with_its_line(tmp_path, text, line, words):
    assert_flagged(tmp_path / "model.mklp", text, line, words)


@pytest.mark.parametrize("text, line, words", [
    ("var x 0 9\nvar 3 0 9\neq x 3\n", 3, "'3' is the variable declared on line 2, not the number 3"),
    ("var x 0 9\nvar 3 0 9\n", 2, "variable named '3' looks like a number"),
    ("var x 0 9\neq x 3\n", 2, "'3' stands where a variable is needed"),
    ("var x 0 9\nvar y 0 9\nallDiff x y 7\n", 3, "'7' stands where a variable is needed"),
])
def test_each_cp_trap_is_flagged_with_its_line(tmp_path, text, line, words):
    assert_flagged(tmp_path / "model.mkcp", text, line, words)


def assert_flagged(path, text, line, words):
    """`mekra check` exits 1 and names the file and line with a finding that holds the words."""
    path.write_text(text)
    run = mekra("check", path)
    assert run.returncode == 1
    assert any(finding.startswith(f"{path}:{line}: ") and words in finding for finding in run.stdout.splitlines()), run.stdout


CLEAN = {
    "a.mklp": "# comment\nmax 3*x0 + 2*x1\nx0 + x1 <= 4\nx0 + 3*x1 <= 6\nint x0\nend\nanything\n",
    "b.mklp": "min x0 + 0*x1\n2*x0 + 1/4 - 0.5 <= 3\nx1 >= -1.5\n1e3*x0 <= 1e-3\nint x1\n",
    "c.mkcp": "# comment\nvar x 0 9\nvar y 0 9\nlinear 1 x 1 y 10 eq\nlt x y\nle x y -2\nallDiff x y\n",
    "d.cnf": "c comment\np cnf 2 1\n1 -2 0\n",
}


def test_silence_on_clean_texts(tmp_path):
    paths = []
    for name, text in CLEAN.items():
        paths.append(tmp_path / name)
        paths[-1].write_text(text)
    run = mekra("check", *paths)
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")


def test_silence_on_converted_benchmarks(tmp_path):
    models = [shared("benchmarks", "lp", "netlib", "afiro.mps.gz"), shared("benchmarks", "milp", "miplib3", "p0033.gz")]
    texts = []
    for model in models:
        texts.append(tmp_path / (model.name.split(".")[0] + ".mklp"))
        assert mekra("convert", model, "-o", texts[-1]).returncode == 0
    run = mekra("check", *models, *texts)
    assert (run.returncode, run.stdout) == (0, "")


def test_solve_warns_unless_told_not_to(tmp_path):
    path = tmp_path / "model.mklp"
    path.write_text("max profit\nprofit <= 4\n")
    warned = mekra("solve", path)
    quiet = mekra("solve", "--no-warnings", path)
    assert "UNBOUNDED" in warned.stdout and "UNBOUNDED" in quiet.stdout
    assert warned.stderr.count("mekra: warning: ") == 2 and f"{path}:1: 'profit'" in warned.stderr
    assert quiet.stderr == ""


def test_check_reads_standard_input_and_forced_kinds():
    run = mekra("check", "--kind", "lp", "-", input="max profit\n")
    assert run.returncode == 1 and run.stdout.startswith("-:1: 'profit'")
    assert mekra("check", "--kind", "cp", "-", input="var x 0 1\n").returncode == 0


def test_check_names_the_file_and_line_of_a_bad_mps(tmp_path):
    path = tmp_path / "bad.mps"
    path.write_text("NAME x\nROWS\n N obj\nCOLUMNS\n x nowhere 1\nENDATA\n")
    run = mekra("check", path)
    assert run.returncode == 1 and f"{path}:5: unknown row 'nowhere'" in run.stderr


@settings(max_examples=200, deadline=None)
@given(st.text(alphabet=st.sampled_from(list("xc0123456789+-*/<=>;()int max min var eq linear allDiff\n\t.eE")) | st.characters(),
               max_size=200))
def test_checks_never_fail_on_any_text(text):
    for warning in lp_warnings(text) + cp_warnings(text):
        assert warning.startswith("line ")
