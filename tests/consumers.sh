#!/usr/bin/env bash
# The installed library as other projects use it, static and shared: the shared library's
# exports against interp/exported_symbols.txt, a C99 program built through pkg-config, and a
# CMake project through find_package; each program checks a value worked out by hand. Then what
# a port's bench builds with, as installed: the DPI package's C side as C99, and the DPI
# scoreboard under Verilator against the shared installation (the test workflow's benches build
# against a static one) on make_vectors' stimulus.
# Usage: tests/consumers.sh STATIC_BUILD_DIR SHARED_BUILD_DIR WORK_DIR (from the repository root)
set -euo pipefail
static_build=$1
shared_build=$2
rm -rf "$3"
mkdir -p "$3"
work=$(cd "$3" && pwd)  # absolute: CMake resolves a relative prefix path elsewhere
cmake --install "$static_build" --prefix "$work/static" > /dev/null
cmake --install "$shared_build" --prefix "$work/shared" > /dev/null

lib=$(find "$work/shared" -name 'libblockwalk_interp.so' | head -n 1)
echo "shared library $(basename "$(readlink -f "$lib")"), SONAME $(objdump -p "$lib" | awk '/SONAME/ {print $2}')"
if ! diff <(nm -D --defined-only "$lib" | awk '{print $3}' | sort) <(sort interp/exported_symbols.txt); then
  echo "the shared library's exports (<) differ from interp/exported_symbols.txt (>)" >&2
  exit 1
fi

for kind in shared static; do
  pc_dir=$(dirname "$(find "$work/$kind" -name blockwalk.pc | head -n 1)")
  static=()
  [ "$kind" = static ] && static=(--static)
  # shellcheck disable=SC2046  # pkg-config's output is a list of flags
  cc -std=c99 -Wall -Wextra -Wpedantic -Werror tests/c_consumer/consumer.c -o "$work/c_$kind" \
    $(PKG_CONFIG_PATH=$pc_dir pkg-config "${static[@]}" --cflags --libs blockwalk)
  echo -n "$kind: "
  LD_LIBRARY_PATH=$(dirname "$pc_dir") "$work/c_$kind"

  cmake -S tests/consumer -B "$work/cmake_$kind" -DCMAKE_PREFIX_PATH="$work/$kind" > /dev/null
  cmake --build "$work/cmake_$kind" > /dev/null
  echo -n "$kind: "
  "$work/cmake_$kind/consumer"
done

share=$work/shared/share/blockwalk
for file in dpi/blockwalk_dpi.sv dpi/blockwalk_dpi.c dpi/scoreboard.sv opencl/blockwalk.cl \
  opencl/host.c verilog/bench.v verilog/model.vh numpy/bench.py; do
  [ -f "$share/$file" ] || { echo "not installed: share/blockwalk/$file" >&2; exit 1; }
done
pc_dir=$(dirname "$(find "$work/shared" -name blockwalk.pc | head -n 1)")
[ "$(PKG_CONFIG_PATH=$pc_dir pkg-config --variable=portingdir blockwalk)" -ef "$share" ] ||
  { echo "pkg-config's portingdir is not share/blockwalk" >&2; exit 1; }
if ! command -v verilator > /dev/null; then
  echo "DPI bench: skipped, verilator is not installed (Debian's verilator)"
  exit 0
fi
# shellcheck disable=SC2046  # pkg-config's output is a list of flags
cc -std=c99 -Wall -Wextra -Wpedantic -Werror -fsyntax-only \
  -I"$(verilator --getenv VERILATOR_ROOT)/include/vltstd" "$share/dpi/blockwalk_dpi.c" \
  $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags blockwalk)
"$work/shared/bin/make_vectors" --formats memh "$work/vectors" > /dev/null
(
  cd "$work"
  verilator --binary -j 2 -Wall --Mdir dpi -o scoreboard -I"$share/verilog" \
    "$share/dpi/blockwalk_dpi.sv" "$share/dpi/scoreboard.sv" "$share/dpi/blockwalk_dpi.c" \
    -CFLAGS "$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags blockwalk)" \
    -LDFLAGS "$(PKG_CONFIG_PATH=$pc_dir pkg-config --libs blockwalk) -Wl,-rpath,$(dirname "$pc_dir")" \
    > dpi.log 2>&1 || { cat dpi.log; exit 1; }
  echo -n "DPI bench, shared: "
  dpi/scoreboard | grep '^scoreboard:'
)
"$work/shared/bin/check_walk" "$work/vectors" --blocks "$work/vectors/mine.memh" | head -n 1
