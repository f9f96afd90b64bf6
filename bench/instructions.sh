#!/usr/bin/env bash
# Instructions per call of one function, counted by callgrind while interp_bench runs one of its
# benchmarks: repeatable whatever else the machine does.
# Usage: bench/instructions.sh BENCH_BINARY FUNCTION FILTER
#   e.g. bench/instructions.sh build/bench/bench/interp_bench two_d_avx2 'two_d/avx2$'
set -euo pipefail
bench=$1
function=$2
filter=$3
out=$(mktemp)
trap 'rm -f "$out"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect="$function*" \
  "$bench" --benchmark_filter="$filter" --benchmark_min_time=0.3 > /dev/null 2>&1
total=$(awk '/^summary:/ {print $2}' "$out")
calls=$(grep -o 'calls=[0-9]*' "$out" | cut -d= -f2 | sort -n | tail -1)
echo "$function: $((total / calls)) instructions per call, over $calls calls"
