#!/usr/bin/env bash
# Instructions executed per block on 64-bit Arm, counted under qemu-aarch64: one "Trace" line
# per instruction with -singlestep -d exec,nochain; the difference between runs of N and 3N
# blocks, divided by 2N, leaves out start-up. Counts, not times: an emulator says nothing of speed.
# Usage: bench/arm_instructions.sh BUILD_DIR [N]   (an aarch64 Release build: the arm-bench
# preset). Prints, for each path, the count of each implementation called directly, and of
# interpolate_block on each processor model (which picks the level that model has).
set -euo pipefail
build=$1
n=${2:-50}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
impls=(scalar neon)
cpus=(cortex-a57 neoverse-n1 max)

count() {  # CPU IMPLEMENTATION PATH BLOCKS
  qemu-aarch64 -L /usr/aarch64-linux-gnu -cpu "$1" -singlestep -d exec,nochain -D "$log" \
    "$build/bench/run_blocks" "$2" "$3" "$4" > /dev/null 2>&1 || return 1
  grep -c '^Trace' "$log"
}
per_block() {  # CPU IMPLEMENTATION PATH
  local small large
  small=$(count "$1" "$2" "$3" "$n") && large=$(count "$1" "$2" "$3" $((3 * n))) ||
    { echo -; return; }
  echo $(((large - small) / (2 * n)))
}

printf '%-11s' path; printf ' %10s' "${impls[@]}"; printf ' %18s' "${cpus[@]/#/interpolate_block }"
echo
for path in copy horizontal vertical two_d; do
  printf '%-11s' "$path"
  for impl in "${impls[@]}"; do printf ' %10s' "$(per_block max "$impl" "$path")"; done
  for cpu in "${cpus[@]}"; do printf ' %18s' "$(per_block "$cpu" interpolate_block "$path")"; done
  echo
done
