#!/usr/bin/env bash
# Instructions per call of a function without branches, counted in its disassembly: for the
# vector levels valgrind cannot run (AVX-512), every call executes each of them exactly once.
# Usage: bench/straight_line.sh LIBRARY FUNCTION
#   e.g. bench/straight_line.sh build/bench/interp/libblockwalk_interp.a two_d_avx512
set -euo pipefail
body=$(objdump -d --no-show-raw-insn -C "$1" | awk -v f="$2(" '!done && /^[0-9a-f]+ </ && index($0, "<" f) {p = 1; next} p && /^$/ {p = 0; done = 1} p')
[ -n "$body" ] || { echo "$2: not found in $1" >&2; exit 1; }
if grep -qE '\sj[a-z]+\s|\scall\s|\sloop' <<< "$body"; then
  echo "$2: has branches or calls, so its count per call is not its length" >&2
  exit 1
fi
echo "$2: $(grep -c '^ ' <<< "$body") instructions per call"
