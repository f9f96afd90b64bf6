#!/usr/bin/env bash
# The installed library as other projects use it, static and shared: the shared library's
# exports against interp/exported_symbols.txt, a C99 program built through pkg-config, and a
# CMake project through find_package; each program checks a value worked out by hand.
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
