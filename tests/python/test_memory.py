"""Many calls leave memory flat: no leaked references on any path (results and errors)."""

import gc
import resource
import tracemalloc

import mekra

CALLS = [
    (mekra.solve_sat, ("p cnf 3 2\n1 -2 0\n2 3 0",), {}),
    (mekra.solve_sat, ("p cnf 2 4\n1 2 0\n-1 2 0\n1 -2 0\n-1 -2 0",), {}),
    (mekra.solve_sat, ("p cnf 1 1\n1 x 0",), {}),
    (mekra.solve_sat, (), {"input": "c only"}),
    (mekra.solve_sat, (b"bytes",), {}),
    (mekra.solve_sat, ("a", "b"), {}),
    (mekra.solve_lp_text, ("max 3*x0 + 2*x1\nx0 + x1 <= 4\nx0 + 3*x1 <= 6",), {}),
    (mekra.solve_lp_text, ("max x0\n3*x0 <= 1",), {}),
    (mekra.solve_lp_text, ("foo",), {}),
    (mekra.solve_milp_text, ("max x0 + x1\n2*x0 + 2*x1 <= 3\nint x0\nint x1",), {}),
    (mekra.solve_cp_text, ("var x 0 9\nvar y 0 9\nlinear 1 x 1 y 10 eq\nlt x y",), {}),
    (mekra.solve_cp_text, ("var x 5 3",), {}),
    (mekra.solve_cp_text, ("bad line",), {}),
    (mekra.solve_cp_text, (), {"text": "x"}),
]


def run(rounds):
    for _ in range(rounds):
        for function, args, kwargs in CALLS:
            try:
                function(*args, **kwargs)
            except (TypeError, ValueError):
                pass


def rss_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def test_twenty_thousand_calls_leave_memory_flat():
    rounds = 20_000 // len(CALLS) + 1
    run(200)  # warm caches and interned objects
    gc.collect()
    tracemalloc.start()
    before_python, _ = tracemalloc.get_traced_memory()
    before_rss = rss_kib()
    run(rounds)
    gc.collect()
    after_python, _ = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    after_rss = rss_kib()
    assert after_python - before_python < 64 * 1024, "Python objects leaked"
    assert after_rss - before_rss < 4 * 1024, "resident memory grew by more than 4 MiB"


def test_results_are_new_objects_owned_by_the_caller():
    first = mekra.solve_sat("p cnf 1 1\n1 0")
    second = mekra.solve_sat("p cnf 1 1\n1 0")
    assert first == second and first is not second
    first["model"]["x0"] = "changed"
    assert mekra.solve_sat("p cnf 1 1\n1 0")["model"]["x0"] is True
