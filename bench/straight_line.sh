#!/usr/bin/env bash
# Instructions per call of a function without branches, counted in its disassembly: for the
# vector levels valgrind cannot run (AVX-512), every call executes each of them exactly once. A
# function that is a tail call into another (a template's instance) is counted as that one.
# Usage: bench/straight_line.sh LIBRARY FUNCTION
#   e.g. bench/straight_line.sh build/bench/interp/libblockwalk_interp.a two_d_avx512
set -euo pipefail
disassembly=$(objdump -d --no-show-raw-insn -C -w "$1")
# Only the object file that defines the function: an archive's objects each start at address 0.
disassembly=$(awk -v f="<$2(" '/file format/ {if (found) exit; text = ""} {text = text $0 "\n"}
  /^[0-9a-f]+ </ && index($0, f) {found = 1} END {if (found) printf "%s", text}' <<< "$disassembly")
body_of() {  # the function whose first line matches the awk pattern $1
  awk "!done && /^[0-9a-f]+ </ && $1 {p = 1; next} p && /^\$/ {p = 0; done = 1} p" <<< "$disassembly"
}
body=$(body_of "index(\$0, \"<$2(\")")
[ -n "$body" ] || { echo "$2: not found in $1" >&2; exit 1; }
# A tail call into another function of the object, found by its address.
if [ "$(grep -c '^ ' <<< "$body")" -le 2 ] && target=$(grep -oP '\sjmp\s+\K[0-9a-f]+(?= <)' <<< "$body"); then
  body=$(body_of "/^0*$target </")
fi
if grep -qE '\sj[a-z]+\s|\scall\s|\sloop' <<< "$body"; then
  echo "$2: has branches or calls, so its count per call is not its length" >&2
  exit 1
fi
# Every instruction objdump prints, those it shows with a prefix ({vex}, {evex}) among them, but
# the padding after the last (the forms of nop), which no call executes.
count=$(grep -E '^ +[0-9a-f]+:\s+\S' <<< "$body" |
  grep -cvE ':\s+((data16|cs|ds) )*(nop[wl]?|xchg\s+%ax,%ax)(\s|$)' || true)
echo "$2: $count instructions per call"
