"""Builds one of the benchmarks' C++ helpers (a target of bench/CMakeLists.txt) into build/bench
and returns its path. The build is incremental: an unchanged helper costs one quick check."""

import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD_DIR = ROOT / "build" / "bench"


def build_tool(target):
    if not (BUILD_DIR / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "-S", str(ROOT / "bench"), "-B", str(BUILD_DIR), "-DCMAKE_BUILD_TYPE=Release"],
                       check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD_DIR), "--target", target, "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    return BUILD_DIR / target
