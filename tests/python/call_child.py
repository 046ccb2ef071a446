"""Child process of call_budget.py: reads a JSON list of [function name, text] pairs from the
file named on the command line, calls each in turn and writes one JSON line per call:
[outcome kind, seconds]. The kind is "dict", or the name of the exception raised."""

import json
import sys
import time

import mekra


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        calls = json.load(f)
    for name, text in calls:
        function = getattr(mekra, name)
        start = time.perf_counter()
        try:
            result = function(text)
            kind = "dict" if isinstance(result, dict) else type(result).__name__
        except Exception as error:  # the kind is the report
            kind = type(error).__name__
        sys.stdout.write(json.dumps([kind, time.perf_counter() - start]) + "\n")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
