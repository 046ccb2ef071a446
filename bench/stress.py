#!/usr/bin/env python3
"""Stress run of whole calls: random texts of a few lines and random mutations of them (a line
dropped, doubled or cut) through the four module functions, each call in a child process with
a time budget, for a given number of minutes. Reports every outcome other than a dict or a
reader's message, and the slowest texts found per function, those slower than SHRINK_FROM shrunk line
by line to the fewest lines that stay at least half as slow.

Usage: python bench/stress.py [--minutes M] [--budget SECONDS] [--seed S] [--top N]
Needs the mekra module importable. The generators are those of the bounded pytest version
(tests/python/random_texts.py); here half of the texts may also use wide domains and large
numbers.
"""

import argparse
import os
import random
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "python"))

from call_budget import ALLOWED, run_calls  # noqa: E402
from random_texts import GENERATORS, texts  # noqa: E402

BATCH = 100
SHRINK_FROM = 0.2  # seconds: faster texts are shown as found (their times are mostly noise)


def shrink(function, text, budget, threshold):
    """Drops lines one at a time while the call stays at least `threshold` seconds slow."""
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        candidate = lines[:i] + lines[i + 1:]
        kind, seconds = run_calls([(function, "\n".join(candidate))], budget)[0]
        if seconds >= threshold or kind == "timeout":
            lines = candidate
        else:
            i += 1
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--minutes", type=float, default=3.0)
    parser.add_argument("--budget", type=float, default=1.0, help="seconds per call")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--top", type=int, default=4, help="slowest texts kept per function")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    deadline = time.monotonic() + args.minutes * 60
    calls = {f: 0 for f in GENERATORS}
    over = {f: 0 for f in GENERATORS}  # calls stopped at the budget
    slowest = {f: [] for f in GENERATORS}  # (seconds, kind, text)
    faults = []
    while time.monotonic() < deadline:
        for function in GENERATORS:
            batch = texts(rng, function, BATCH, wide=rng.random() < 0.5)
            results = run_calls([(function, t) for t in batch], args.budget)
            calls[function] += len(batch)
            for text, (kind, seconds) in zip(batch, results):
                if kind == "timeout":
                    over[function] += 1
                elif kind not in ALLOWED:
                    faults.append((function, kind, text))
                slowest[function].append((seconds, kind, text))
            slowest[function] = sorted(slowest[function], key=lambda s: -s[0])[: args.top]
            if time.monotonic() >= deadline:
                break

    print(f"# {sum(calls.values())} calls in {args.minutes:g} min, budget {args.budget:g} s per call, seed {args.seed}")
    for function, count in calls.items():
        print(f"\n## {function}: {count} calls, {over[function]} over the budget; slowest")
        for seconds, kind, text in slowest[function]:
            shown = kind if kind != "timeout" else f"over {args.budget:g} s"
            if seconds >= SHRINK_FROM:
                text = shrink(function, text, args.budget, min(seconds, args.budget) / 2)
                shown += "; shrunk"
            print(f"- {seconds * 1000:.1f} ms ({shown}):")
            print("    " + text.replace("\n", "\n    "))
    print(f"\n## outcomes other than a dict or a reader's message: {len(faults)}")
    for function, kind, text in faults:
        print(f"- {function} {kind}:\n    " + text.replace("\n", "\n    "))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
