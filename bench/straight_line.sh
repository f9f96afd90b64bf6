#!/usr/bin/env bash
# Instructions per call of a function without branches, counted in its disassembly: for the
# vector levels valgrind cannot run (AVX-512), every call executes each of them exactly once. A
# function that is a tail call into another (a template's instance) is counted as that one.
# Usage: bench/straight_line.sh LIBRARY FUNCTION
#   e.g. bench/straight_line.sh build/bench/interp/libblockwalk_interp.a two_d_avx512
set -euo pipefail
disassembly=$(objdump -d --no-show-raw-insn -C -w "$1")
body_of() {  # NAME, as the line that begins it shows it
  awk -v f="$1" '!done && /^[0-9a-f]+ </ && index($0, "<" f) {p = 1; next} p && /^$/ {p = 0; done = 1} p' \
    <<< "$disassembly"
}
body=$(body_of "$2(")
[ -n "$body" ] || { echo "$2: not found in $1" >&2; exit 1; }
if [ "$(grep -c '^ ' <<< "$body")" -le 2 ] && target=$(grep -oP '\sjmp\s+[0-9a-f]+ <\K.*(?=>$)' <<< "$body"); then
  body=$(body_of "$target>")
fi
if grep -qE '\sj[a-z]+\s|\scall\s|\sloop' <<< "$body"; then
  echo "$2: has branches or calls, so its count per call is not its length" >&2
  exit 1
fi
echo "$2: $(grep -cE '^ +[0-9a-f]+:\s+[a-z]' <<< "$body" | tr -d ' ') instructions per call"
