#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for a bounded time from a seed corpus made here by
# make_picture: small valid pictures of every shape the reader supports, and broken ones; and
# manifests of vector sets.
# Usage: fuzz/run.sh BUILD_DIR SECONDS_PER_TARGET. Fails on any crash, leak or sanitizer report.
set -euo pipefail
build=$1
seconds=$2
work=$build/fuzz-run
rm -rf "$work"
mkdir -p "$work/bitmap" "$work/interp" "$work/check" "$work/manifest" "$work/stream" \
  "$work/artifacts"

pic=$build/tools/make_picture
n=0
seed() { "$pic" "$work/bitmap/$((n += 1)).bmp" "$@"; }
seed --width 1 --height 1
seed --width 5 --height 3
seed --width 6 --height 2 --top-down
seed --width 7 --height 4 --info 124
seed --width 3 --height 3 --table 64
seed --width 8 --height 5 --random 3
seed --width 2 --height 9 --top-down --info 124 --random 4
seed --width 4 --height 3 --link profile.icc
seed --width 3 --height 2 --link profile.icc --profile-first
# Broken: cut inside the file header, the info block and the pixel array.
for cut in 13 30 60; do head -c "$cut" "$work/bitmap/2.bmp" > "$work/bitmap/cut$cut.bmp"; done
printf 'BM' > "$work/bitmap/signature.bmp"
# Planes for the interpolation: random bytes of a few sizes.
for size in 16 300 3000; do head -c "$size" "$work/bitmap/6.bmp" > "$work/interp/$size"; done

# Block files as other implementations write them: 16 x 16 bitmaps of each layout.
for layout in "" "--info 124" "--table 64" "--link profile.icc" "--link profile.icc --profile-first"; do
  # shellcheck disable=SC2086  # the options are words
  "$pic" "$work/check/$((n += 1)).bmp" --width 16 --height 16 --random "$n" $layout
done

# Manifests over the target's own pictures p.bmp (40 x 36) and q.bmp (17 x 36, top-down).
call_columns="file,picture,stride,height,x,y,mvx,mvy"
printf '%s\na.bmp,p.bmp,40,3,0,0,1,2\nb.bmp,q.bmp,17,3,-20,1,-3,4\n' "$call_columns" \
  > "$work/manifest/calls"
printf '\xEF\xBB\xBF%s,path,hx,vy,clamp_x,clamp_y\r\na.bmp,p.bmp,40,3,9,9,5,0,horizontal,1,0,high,high\r\n' \
  "$call_columns" > "$work/manifest/derived"
printf 'mvy,mvx,y,x,height,stride,picture,file\n-2147483648,2147483647,0,0,2,40,p.bmp,c.bmp\n' \
  > "$work/manifest/extremes"

# Streams of a block: raw, NumPy, and $writememh text of byte and of row words with comments.
python3 - "$work/stream" <<'PYTHON'
import sys
out, block = sys.argv[1], bytes((i * 7) % 256 for i in range(768))
header = "{'descr': '|u1', 'fortran_order': False, 'shape': (1, 16, 16, 3), }"
header += " " * (117 - len(header)) + "\n"
seeds = {
    "raw": block,
    "npy": b"\x93NUMPY\x01\x00" + len(header).to_bytes(2, "little") + header.encode() + block,
    "bytes": "".join("%02x\n" % b for b in block).encode(),
    "rows": ("// a block\n@0\n" + "".join(
        block[r:r + 48][::-1].hex() + "\n" for r in range(0, 768, 48))).encode(),
}
for name, data in seeds.items():
    open(out + "/" + name, "wb").write(data)
PYTHON

for target in bitmap interp check manifest stream; do
  echo "== fuzz $target for ${seconds}s"
  "$build/fuzz/${target}_fuzz" -seed=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=4096 -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    "$work/$target"
done
