"""The `mekra` command: solve, convert and check files of the field's formats.

Exit codes: 0 all solved (a timeout counts as an answer), 1 some input was bad, 2 usage error,
130 interrupted by Ctrl-C; with `--format competition`, 10 satisfiable and 20 unsatisfiable.
"""

from __future__ import annotations

import argparse
import os
import signal
import sys
from collections.abc import Generator
from typing import TextIO

from tqdm import tqdm

from .batch import Engine, default_jobs, in_order, make_tasks, solve_tasks
from .checks import text_warnings
from .convert import mps_to_lp_text
from .errors import InputError
from .kinds import KINDS, STDIN, Kind, expand_sources, format_from_name, load, read_bytes
from .mps import read_mps
from .output import competition, json_line, line
from .solving import Outcome

EXIT_OK = 0
EXIT_BAD_INPUT = 1
EXIT_USAGE = 2
EXIT_INTERRUPTED = 130
PROGRAM = "mekra"
COMPETITION_USAGE = "--format competition takes exactly one SAT instance"


def positive_int(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError("must be at least 1")
    return value


def positive_float(text: str) -> float:
    value = float(text)
    if not value > 0:
        raise argparse.ArgumentTypeError("must be more than 0")
    return value


def parser() -> argparse.ArgumentParser:
    top = argparse.ArgumentParser(
        prog=PROGRAM, description="Solve SAT, LP, MILP and CP files with mekra.",
        epilog="exit codes: 0 all answered (TIMEOUT included), 1 bad input (or check found traps), 2 usage, "
               "130 Ctrl-C; --format competition: 10 SAT, 20 UNSAT")
    commands = top.add_subparsers(dest="command", required=True, metavar="COMMAND")
    kinds_help = "the solver for every file: sat, lp, milp or cp (default: from each file's name)"

    solve = commands.add_parser("solve", help="solve files and folders", description=(
        "Solve each FILE (.cnf DIMACS, .mps MPS, .mklp mekra LP text, .mkcp mekra CP text; .gz, .xz "
        "and .bz2 read transparently; a folder means its instance files; - is standard input)."))
    solve.add_argument("files", nargs="+", metavar="FILE")
    solve.add_argument("--kind", choices=KINDS, help=kinds_help)
    solve.add_argument("--json", action="store_true", help="one JSON object per instance, with the whole result")
    solve.add_argument("--model", action="store_true", help="print models")
    solve.add_argument("--format", choices=("lines", "competition"), default="lines",
                       help="competition: SAT-competition answer of one SAT instance, exit 10/20/0")
    solve.add_argument("--jobs", "-j", type=positive_int, help="worker processes (default: all cores)")
    solve.add_argument("--ordered", action="store_true", help="print in input order, not as solved")
    solve.add_argument("--timeout", type=positive_float, metavar="S", help='seconds per instance; then "TIMEOUT"')
    solve.add_argument("--dask", metavar="ADDRESS", help="run on the Dask scheduler at ADDRESS (pip install mekra[dask])")
    solve.add_argument("--no-warnings", action="store_true", help="do not warn about text traps")

    convert = commands.add_parser("convert", help="write the LP text of an MPS model")
    convert.add_argument("file", metavar="FILE.mps")
    convert.add_argument("-o", "--output", metavar="OUT", help="output file (default: standard output)")

    check = commands.add_parser("check", help="flag lines that the module reads otherwise than meant")
    check.add_argument("files", nargs="+", metavar="FILE")
    check.add_argument("--kind", choices=KINDS, help=kinds_help)
    return top


class Reporter:
    """Writes outcomes and their messages; remembers what decides the exit code."""

    def __init__(self, args: argparse.Namespace, total: int, out: TextIO, err: TextIO) -> None:
        self.args = args
        self.out = out
        self.err = err
        self.bad = 0
        self.finished = 0
        self.noted: set[str] = set()
        self.bar = tqdm(total=total, file=err, unit="inst", disable=not err.isatty() or args.format == "competition")

    def write(self, text: str, stream: TextIO) -> None:
        if self.bar.disable:
            print(text, file=stream, flush=True)
        else:
            self.bar.write(text, file=stream)

    def report(self, outcome: Outcome) -> None:
        self.finished += 1
        for note in outcome.notes:
            if note not in self.noted:  # once per run, not once per file
                self.noted.add(note)
                self.write(f"{PROGRAM}: note: {outcome.source}: {note}", self.err)
        if not self.args.no_warnings:
            for warning in outcome.warnings:
                self.write(f"{PROGRAM}: warning: {warning}", self.err)
        if outcome.error is not None:
            self.bad += 1
            self.write(f"{PROGRAM}: error: {outcome.error}", self.err)
        if self.args.format == "competition":
            lines, _ = competition(outcome)
            self.write("\n".join(lines), self.out)
        elif self.args.json:
            self.write(json_line(outcome), self.out)
        else:
            self.write(line(outcome, self.args.model), self.out)
        self.bar.update(1)

    def close(self) -> None:
        self.bar.close()


def run_solve(args: argparse.Namespace, out: TextIO, err: TextIO) -> int:
    if args.files.count(STDIN) > 1:
        raise UsageError("'-' (standard input) can be given once")
    tasks = make_tasks(args.files, args.kind, not args.no_warnings)
    if args.format == "competition" and (len(tasks) != 1 or args.kind not in (None, "sat")
                                         or format_from_name(tasks[0][1]) not in (None, "dimacs")):
        raise UsageError(COMPETITION_USAGE)
    if not tasks:
        raise UsageError("no instance files found")
    if any(task[1] == STDIN for task in tasks):
        # read standard input here: the workers' standard input is not ours
        index, source, kind, _, warnings = next(t for t in tasks if t[1] == STDIN)
        text = read_bytes(STDIN).decode("utf-8", errors="replace")
        tasks[index] = (index, source, kind, text, warnings)
    engine: Engine = "dask" if args.dask else "local"
    jobs = min(args.jobs or default_jobs(), len(tasks))
    outcomes: Generator[Outcome, None, None] = solve_tasks(tasks, jobs, args.timeout, engine, args.dask)
    if args.ordered:
        outcomes = in_order(outcomes)
    reporter = Reporter(args, len(tasks), out, err)
    try:
        last = None
        for outcome in outcomes:
            reporter.report(outcome)
            last = outcome
    except KeyboardInterrupt:
        outcomes.close()  # kills every worker before we say anything
        reporter.close()
        print(f"{PROGRAM}: interrupted: {reporter.finished} of {len(tasks)} instances finished", file=err)
        return EXIT_INTERRUPTED
    finally:
        outcomes.close()  # on any error too: no worker outlives the command
        reporter.close()
    if args.format == "competition" and last is not None:
        if last.kind not in (None, "sat"):
            raise UsageError(COMPETITION_USAGE)
        if last.error is not None:
            return EXIT_BAD_INPUT
        return competition(last)[1]
    return EXIT_BAD_INPUT if reporter.bad else EXIT_OK


def run_convert(args: argparse.Namespace, out: TextIO, err: TextIO) -> int:
    try:
        loaded = load(args.file, "lp")
        if loaded.format != "mps":
            raise InputError(args.file, "not an MPS file (no MPS sections found)")
        model = read_mps(loaded.text, args.file)
    except InputError as error:
        print(f"{PROGRAM}: error: {error}", file=err)
        return EXIT_BAD_INPUT
    text = mps_to_lp_text(model, os.path.basename(args.file))
    if args.output is None:
        out.write(text)
    else:
        try:
            with open(args.output, "w", encoding="utf-8") as handle:
                handle.write(text)
        except OSError as error:
            print(f"{PROGRAM}: error: {args.output}: {error.strerror}", file=err)
            return EXIT_BAD_INPUT
    for warning in model.warnings:
        print(f"{PROGRAM}: warning: {args.file}: {warning}", file=err)
    return EXIT_OK


def check_findings(source: str, kind: Kind | None) -> list[str]:
    loaded = load(source, kind)
    if loaded.format == "mps":
        model = read_mps(loaded.text, source)
        findings = [f"{source}: {warning}" for warning in model.warnings]
        rounded = mps_to_lp_text(model).split("\n")[4]  # the header line that counts rounded numbers
        if not rounded.startswith("# numbers the LP reader rounds: 0 "):
            findings.append(f"{source}: {rounded[2:]}")
        return findings
    return [f"{source}:{w[5:]}" if w.startswith("line ") else f"{source}: {w}" for w in text_warnings(loaded.format, loaded.text)]


def run_check(args: argparse.Namespace, out: TextIO, err: TextIO) -> int:
    found = False
    for source in expand_sources(args.files):
        try:
            findings = check_findings(source, args.kind)
        except InputError as error:
            print(f"{PROGRAM}: error: {error}", file=err)
            found = True
            continue
        for finding in findings:
            print(finding, file=out)
        found = found or bool(findings)
    return EXIT_BAD_INPUT if found else EXIT_OK


class UsageError(Exception):
    pass


def main(argv: list[str] | None = None) -> int:
    args = parser().parse_args(argv)
    # a shell starts background jobs with Ctrl-C ignored; this command always answers it
    signal.signal(signal.SIGINT, signal.default_int_handler)
    out, err = sys.stdout, sys.stderr
    commands = {"solve": run_solve, "convert": run_convert, "check": run_check}
    try:
        return commands[args.command](args, out, err)
    except UsageError as error:
        print(f"{PROGRAM}: error: {error}", file=err)
        return EXIT_USAGE
    except KeyboardInterrupt:
        return EXIT_INTERRUPTED
    except BrokenPipeError:  # `mekra solve ... | head`
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_OK
