"""The Python module's interpolate_blocks on 100,000 calls against the same calls made from C++
(interp_bench's batch/...), in one run, ns per block and their ratio: each into an array made
for the batch, and into one array filled again (out=).

Usage: /usr/bin/python3 bench/python_batch.py BUILD_DIR  (a bench build: cmake --preset bench)
with the module on PYTHONPATH (BUILD_DIR/python). Prints the processor, both figures, the ratio.
"""
import json
import subprocess
import sys
import time

import numpy as np

import blockwalk

build = sys.argv[1]
side, count = 600, 100000
i = np.arange(count, dtype=np.int64)
calls = np.stack([16 + i * 7919 % 500, 16 + i * 104729 % 500, i % 17 - 8, i // 17 % 17 - 8],
                 axis=1)
plane = np.random.default_rng(1).integers(0, 256, (side, side, 3), dtype=np.uint8)

blockwalk.interpolate_blocks(plane, calls)  # the first call chooses the paths
kept = np.empty((count, 16, 16, 3), dtype=np.uint8)


def python_runs(out, runs):
    for _ in range(4):
        start = time.perf_counter_ns()
        blockwalk.interpolate_blocks(plane, calls, out=out)
        runs.append((time.perf_counter_ns() - start) / count)


# Rounds that take turns, for the machine's load changes within seconds.
python = {"fresh_array": [], "same_array": []}
cpp_runs = {"fresh_array": [], "same_array": []}
for _ in range(10):
    python_runs(None, python["fresh_array"])
    python_runs(kept, python["same_array"])
    cpp = subprocess.run([f"{build}/bench/interp_bench", "--benchmark_filter=^batch/",
                          "--benchmark_repetitions=4", "--benchmark_format=json"],
                         capture_output=True, text=True, check=True)
    for b in json.loads(cpp.stdout)["benchmarks"]:
        if b.get("run_type") == "iteration":
            cpp_runs[b["name"].split("/")[1]].append(b["ns_per_block"])
info = {}
for line in open("/proc/cpuinfo"):
    key, _, value = line.partition(":")
    info.setdefault(key.strip(), value.strip())
print(f"{info['model name']} (family {info['cpu family']}, model {info['model']}), "
      f"level {blockwalk.level()}; ns per block, fastest of 40 (median), in 10 alternating rounds")
for name in ("fresh_array", "same_array"):
    py, cc = python[name], cpp_runs[name]
    print(f"{name:12} Python {min(py):6.1f} ({np.median(py):6.1f})  C++ {min(cc):6.1f} "
          f"({np.median(cc):6.1f})  ratio {min(py) / min(cc):.3f} ({np.median(py) / np.median(cc):.3f})")
