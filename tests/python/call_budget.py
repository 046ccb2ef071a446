"""Whole calls under a time budget: each call runs in a child process, so a call that runs
past its budget is stopped and reported instead of blocking the caller."""

import json
import os
import selectors
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# Outcomes a call may have on any text: a result, or a reader's message. A text that needs
# more memory than allowed may also answer MemoryError.
ALLOWED = {"dict", "ValueError", "MemoryError"}


def run_calls(calls, budget):
    """Runs (function name, text) pairs in order. Returns one (kind, seconds) per call; a call
    still running after `budget` seconds gets ("timeout", budget) and the calls after it run in
    a fresh child. A child that dies gets ("crash", seconds) for the call it was running."""
    results = []
    while len(results) < len(calls):
        results += _run_in_child(calls[len(results):], budget)
    return results


def _run_in_child(calls, budget):
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False, encoding="utf-8") as f:
        json.dump(calls, f)
        path = f.name
    child = subprocess.Popen([sys.executable, os.path.join(HERE, "call_child.py"), path],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    results, pending = [], ""
    selector = selectors.DefaultSelector()
    selector.register(child.stdout, selectors.EVENT_READ)
    started = time.monotonic()
    try:
        while len(results) < len(calls):
            left = budget - (time.monotonic() - started)
            if left <= 0 or not selector.select(timeout=left):
                results.append(("timeout", budget))
                break
            chunk = os.read(child.stdout.fileno(), 65536).decode("utf-8")
            if not chunk:  # the child died within this call
                results.append(("crash", time.monotonic() - started))
                break
            pending += chunk
            while "\n" in pending:
                line, pending = pending.split("\n", 1)
                kind, seconds = json.loads(line)
                results.append((kind, seconds))
                started = time.monotonic()
    finally:
        selector.close()
        child.kill()
        child.wait()
        os.unlink(path)
    return results
