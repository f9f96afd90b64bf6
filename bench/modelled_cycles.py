#!/usr/bin/env python3
"""Modelled cycles per block of every kernel of every level in a build, on the cores of its family.

Usage: bench/modelled_cycles.py BUILD_DIR [--blocks N] [--cores CORE,...] [--bottlenecks]
  BUILD_DIR: a Release build, x86-64 (the bench preset) or 64-bit Arm (the arm-bench preset).

The kernels' own object code, disassembled from BUILD_DIR/bench/run_blocks, goes to llvm-mca, which
models how many cycles a core needs for it. A kernel without branches runs each of its instructions
once per block, and is modelled whole. A kernel with loops is cut into runs of instructions that
execute equally often, each run (a loop body, or the code around the loops) is modelled alone and
multiplied by how often it runs per block: its trip count, counted by running N blocks (default 30)
through run_blocks under valgrind (x86) or qemu-aarch64 (Arm). The models assume warm caches and
predicted branches; they are estimates for cores we do not have, to be weighed beside measurements.
Installs nothing: it names the Debian package it needs when a tool is missing.
"""
import argparse
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

# No znver5: llvm-mca 22 models it as Zen 4, where the two differ most (512-bit units).
X86_CORES = {
    "scalar": ["znver3", "znver4", "alderlake", "icelake-server", "sapphirerapids"],
    "sse2": ["znver3", "znver4", "alderlake", "icelake-server", "sapphirerapids"],
    "avx2": ["znver3", "znver4", "alderlake", "icelake-server", "sapphirerapids"],
    "avx512": ["znver4", "icelake-server", "sapphirerapids"],  # znver3 has no AVX-512
}
ARM_CORES = ["cortex-a76", "neoverse-n1", "neoverse-v2", "apple-m1"]
PATHS = ["copy", "horizontal", "vertical", "two_d"]
LEVELS = {"x86": ["scalar", "sse2", "avx2", "avx512"], "arm": ["scalar", "neon"]}
# Levels valgrind cannot run (AVX-512, and AVX2's AVX-VNNI form); their kernels must be free of
# branches.
UNTRACEABLE = {"avx2", "avx512"}
MCA_ITERATIONS = 100


def need(tool, package):
    if shutil.which(tool) is None:
        sys.exit(f"modelled_cycles: needs {tool}, from Debian's {package}")
    return tool


def run(args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs).stdout


def family_of(binary):
    header = run(["readelf", "-h", binary])
    if "AArch64" in header:
        return "arm"
    if "X86-64" in header:
        return "x86"
    sys.exit(f"modelled_cycles: {binary} is neither x86-64 nor AArch64")


def disassemble(objdump, binary):
    """Functions of the binary: name -> list of (address, instruction text). Helpers of the same
    name in two sources (an anonymous namespace's) are told apart by their address: "name@addr"."""
    functions, name = {}, None
    for line in run([objdump, "-d", "--no-show-raw-insn", "-C", "-w", binary]).splitlines():
        head = re.match(r"^([0-9a-f]+) <(.*)>:$", line)
        if head:
            name = head.group(2)
            if name in functions:
                name = f"{name}@{head.group(1)}"
            functions[name] = []
            continue
        body = re.match(r"^\s+([0-9a-f]+):\s+(.*)$", line)
        if body and name is not None:
            functions[name].append((int(body.group(1), 16), body.group(2)))
    return functions


def function_named(functions, short):
    """The function whose demangled name begins with `short(`."""
    for name, body in functions.items():
        if name.startswith(short + "("):
            return name, body
    sys.exit(f"modelled_cycles: no function {short} in the build")


BRANCH = re.compile(r"^(?:bnd |notrack )?(j[a-z]+|jmp|call|b|bl|b\.[a-z]+|cbn?z|tbn?z)\s")


def target_of(text):
    """The address a branch aims at, or None."""
    m = re.search(r"\s([0-9a-f]+) <(.*)>$", text)
    return int(m.group(1), 16) if m and "@plt" not in m.group(2) else None


def local_targets(functions, body):
    """Functions of the binary that `body` jumps or calls into (helpers and tail calls), found by
    the address the branch aims at."""
    starts = {f[0][0]: name for name, f in functions.items() if f}
    return [starts[target_of(t)] for _, t in body if BRANCH.match(t) and target_of(t) in starts]


def for_mca(family, text):
    """An instruction as llvm-mca reads it, or None for padding."""
    text = re.split(r"\s+//" if family == "arm" else r"\s+#", text)[0].strip()
    # An address operand, as objdump shows it: a label will do.
    text = re.sub(r"\b[0-9a-f]+ <[^>]*>", ".Lany", text)
    if not text or re.match(r"^(?:(?:cs |data16 )*nop[a-z]*|xchg\s+%ax,%ax)\b", text):
        return None
    if BRANCH.match(text) and family == "x86":
        return re.sub(r"\s.*$", " .Lany", text)
    return text


def mca_cycles(mca, family, core, instructions, bottlenecks=False):
    """Cycles llvm-mca models for one pass of `instructions`, in a steady state of many."""
    triple = "aarch64-linux-gnu" if family == "arm" else "x86_64-linux-gnu"
    source = ".Lany:\n" + "\n".join(instructions) + "\n"
    args = [mca, f"-mtriple={triple}", f"-mcpu={core}", f"-iterations={MCA_ITERATIONS}",
            "--skip-unsupported-instructions=lack-sched"]
    if bottlenecks:
        args.append("--bottleneck-analysis")
    out = run(args, input=source)
    total = int(re.search(r"Total Cycles:\s+(\d+)", out).group(1))
    return total / MCA_ITERATIONS, out


def counts_x86(binary, level, path, blocks):
    """Executions per block of every instruction address, counted by callgrind."""
    need("valgrind", "valgrind")
    with tempfile.NamedTemporaryFile() as out:
        subprocess.run(["valgrind", "--tool=callgrind", "--dump-instr=yes", "--compress-pos=no",
                        "--compress-strings=no", f"--callgrind-out-file={out.name}",
                        binary, level, path, str(blocks)], check=True, capture_output=True)
        counts = collections.Counter()
        in_binary, cost = False, re.compile(r"^0x([0-9a-f]+) \d+ (\d+)$")
        calling = False
        for line in open(out.name):
            if line.startswith("ob="):
                in_binary = os.path.realpath(line.strip()[3:]) == os.path.realpath(binary)
            elif line.startswith("calls="):
                calling = True  # the next cost line is the call's inclusive cost
            else:
                m = cost.match(line.strip())
                if m and in_binary:
                    if not calling:
                        counts[int(m.group(1), 16)] += int(m.group(2))
                    calling = False
                elif m:
                    calling = False
    return {address: n / blocks for address, n in counts.items()}


def counts_arm(binary, level, path, blocks, cpu="max"):
    """Executions per block of every instruction address, counted from qemu's trace."""
    need("qemu-aarch64", "qemu-user")
    with tempfile.NamedTemporaryFile() as log:
        subprocess.run(["qemu-aarch64", "-L", "/usr/aarch64-linux-gnu", "-cpu", cpu, "-singlestep",
                        "-d", "exec,nochain,page", "-D", log.name, binary, level, path, str(blocks)],
                       check=True, capture_output=True)
        counts, base = collections.Counter(), None
        for line in open(log.name):
            if base is None:
                # The first mapping is the program itself.
                m = re.match(r"^([0-9a-f]{16})-[0-9a-f]{16} [0-9a-f]{16} r-x", line)
                if m:
                    base = int(m.group(1), 16)
                continue
            m = re.match(r"^Trace \d+: 0x[0-9a-f]+ \[[0-9a-f]+/([0-9a-f]+)/", line)
            if m:
                counts[int(m.group(1), 16) - base] += 1
    return {address: n / blocks for address, n in counts.items()}


def kernel_cycles(args, family, functions, counts, name, cores, mca):
    """Modelled cycles per block of kernel `name` on each core, and how it was modelled."""
    full_name, body = function_named(functions, name)
    helpers = sorted(set(local_targets(functions, body)) - {full_name})
    code = list(body) + [i for h in helpers for i in functions[h]]
    # A tail call into a helper runs the helper once; any other branch makes a loop or a choice.
    starts = {functions[h][0][0] for h in helpers if functions[h]}
    branches = [t for _, t in code if BRANCH.match(t) and not t.startswith("call")
                and target_of(t) not in starts]
    if counts is None:
        if branches:
            sys.exit(f"modelled_cycles: {name} has branches, and no trip counts could be taken")
        runs = [(1.0, [t for _, t in code])]
        how = "whole, no branches"
    else:
        # Runs of instructions that execute equally often, in address order within each function.
        runs = []
        for function in [body] + [functions[h] for h in helpers]:
            last = None
            for address, text in function:
                n = counts.get(address, 0.0)
                if n == 0:
                    last = None
                    continue
                if last is None or abs(n - last) > 1e-9:
                    runs.append((n, []))
                runs[-1][1].append(text)
                last = n
        loops = sum(1 for n, _ in runs if n > 1.0 + 1e-9)
        how = f"{len(runs)} runs, {loops} of them loop bodies (x trip count)" if loops else "straight line"
    results = {}
    for core in cores:
        total = 0.0
        for n, texts in runs:
            instructions = [i for i in (for_mca(family, t) for t in texts) if i]
            if instructions:
                total += n * mca_cycles(mca, family, core, instructions)[0]
        results[core] = total
        if args.bottlenecks and len(runs) == 1:
            instructions = [i for i in (for_mca(family, t) for t in runs[0][1]) if i]
            report = mca_cycles(mca, family, core, instructions, True)[1]
            print(f"--- {name} on {core}")
            print("\n".join(report.splitlines()[:60]))
    return results, how


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--blocks", type=int, default=30)
    parser.add_argument("--cores", help="cores to model, instead of the family's")
    parser.add_argument("--kernels", help="kernels to model, e.g. two_d_avx512,copy_avx512")
    parser.add_argument("--bottlenecks", action="store_true",
                        help="print llvm-mca's bottleneck analysis of each branch-free kernel")
    args = parser.parse_args()
    binary = f"{args.build}/bench/run_blocks"
    mca = need("llvm-mca-22", "llvm-22")
    family = family_of(binary)
    objdump = need("aarch64-linux-gnu-objdump" if family == "arm" else "objdump",
                   "binutils-aarch64-linux-gnu" if family == "arm" else "binutils")
    functions = disassemble(objdump, binary)

    rows = []
    for level in LEVELS[family]:
        cores = ARM_CORES if family == "arm" else X86_CORES[level]
        if args.cores:
            cores = [c for c in args.cores.split(",") if c in cores]
        for path in PATHS:
            # The level's kernel of this path, and its other forms (two_d_avx512_madd).
            names = sorted({n.split("(")[0] for n in functions
                            if re.match(rf"{path}_{level}(_\w+)?\(", n)})
            for name in names:
                if args.kernels and name not in args.kernels.split(","):
                    continue
                if level in UNTRACEABLE:
                    counts = None
                elif family == "arm":
                    counts = counts_arm(binary, level, path, args.blocks)
                else:
                    counts = counts_x86(binary, level, path, args.blocks)
                results, how = kernel_cycles(args, family, functions, counts, name, cores, mca)
                rows.append((name, results, how))

    all_cores = ARM_CORES if family == "arm" else X86_CORES["avx2"]
    if args.cores:
        all_cores = [c for c in all_cores if c in args.cores.split(",")]
    print(f"{'kernel':<26}" + "".join(f"{c:>16}" for c in all_cores) + "  modelled")
    for name, results, how in rows:
        cells = "".join(f"{results[c]:>16.0f}" if c in results else f"{'':>16}" for c in all_cores)
        print(f"{name:<26}{cells}  {how}")
    print(f"cycles per block, llvm-mca {MCA_ITERATIONS} iterations; loop bodies modelled alone and "
          f"multiplied by their trip counts, counted over {args.blocks} blocks")


if __name__ == "__main__":
    main()
