"""The Python module against the formulas written out once more in NumPy, against the C++
programs' blocks, and on everything it must refuse. Refusals run in a process of their own, so
that a crash fails a test instead of ending the run."""
import csv
import os
import shutil
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import blockwalk

TAPS = np.array([[0, 128, 0, 0], [-7, 105, 35, -5], [-8, 72, 72, -8], [-5, 35, 105, -7]])


def tool(name):
    """A C++ program: as the build names it, or the installed one on PATH."""
    path = os.environ.get("BLOCKWALK_" + name.upper()) or shutil.which(name)
    if not path:
        pytest.skip(f"{name} is neither built nor installed")
    return path


def reference(plane, x, y, mvx, mvy, height):
    """The block as the formulas give it: the vector split by floor and & 3, the clamp, the taps
    at -1 ... +2, two roundings for two fractional axes."""
    stride = plane.shape[1]
    flat = plane.reshape(-1).astype(np.int64)
    hx, vy = mvx & 3, mvy & 3
    px, py = x + (mvx >> 2), y + (mvy >> 2)
    if hx or vy:
        px, py = min(max(px, -15), stride - 2), min(max(py, -15), height - 2)
    sx, sy = px + 16, py + 16
    rows, cols = np.arange(16)[:, None], np.arange(16)[None, :]

    def pixels(c, r):  # rows run on into the next: only the byte offset matters
        at = 3 * (r * stride + c)
        return np.stack([flat[at + ch] for ch in range(3)], axis=-1)

    if not hx and not vy:
        return pixels(sx + cols, sy + rows).astype(np.uint8)
    if not vy:
        s = sum(TAPS[hx][k] * pixels(sx + cols - 1 + k, sy + rows) for k in range(4))
        return np.clip((s + 64) >> 7, 0, 255).astype(np.uint8)
    if not hx:
        s = sum(TAPS[vy][k] * pixels(sx + cols, sy + rows - 1 + k) for k in range(4))
        return np.clip((s + 64) >> 7, 0, 255).astype(np.uint8)
    j = np.arange(19)[:, None]
    first = (sum(TAPS[hx][k] * pixels(sx + cols - 1 + k, sy - 1 + j) for k in range(4)) + 1) >> 1
    s = sum(TAPS[vy][k] * first[rows[:, 0] + k] for k in range(4))
    return np.clip((s + 4096) >> 13, 0, 255).astype(np.uint8)


@pytest.fixture(scope="module")
def plane():
    return np.random.default_rng(7).integers(0, 256, (97, 61, 3), dtype=np.uint8)


def every_call(plane):
    """Every phase pair, inside, at and beyond each bound, with vectors of both signs; the plane
    holds every footprint, its height for the clamp 33 rows less than its rows."""
    height, stride = plane.shape[0] - 33, plane.shape[1]
    calls = []
    for mvx_whole in (-2, -1, 0, 1):
        for mvy_whole in (-1, 0, 2):
            for hx in range(4):
                for vy in range(4):
                    for x, y in ((3, 5), (-15, 0), (-30, height - 2), (stride - 2, -16),
                                 (stride + 9, height + 40), (20, height)):
                        mvx, mvy = 4 * mvx_whole + hx, 4 * mvy_whole + vy
                        if not hx and not vy:  # a copy reads where it points, unclamped
                            x = min(max(x + mvx_whole, -16), stride - 32) - mvx_whole
                            y = min(max(y + mvy_whole, -16), plane.shape[0] - 32) - mvy_whole
                        calls.append((x, y, mvx, mvy))
    return calls


def test_every_phase_pair_clamp_and_sign_as_the_formulas_give(plane):
    height = plane.shape[0] - 33
    for x, y, mvx, mvy in every_call(plane):
        got = blockwalk.interpolate_block(plane, x, y, mvx, mvy, height=height)
        assert got.shape == (16, 16, 3) and got.dtype == np.uint8
        want = reference(plane, x, y, mvx, mvy, height)
        assert np.array_equal(got, want), (x, y, mvx, mvy)


def test_the_batch_gives_what_single_calls_give(plane):
    height = plane.shape[0] - 33
    calls = np.array(every_call(plane), dtype=np.int32)
    blocks = blockwalk.interpolate_blocks(plane, calls, height=height)
    assert blocks.shape == (len(calls), 16, 16, 3)
    for call, block in zip(calls, blocks):
        assert np.array_equal(block, blockwalk.interpolate_block(plane, *map(int, call),
                                                                 height=height))
    # Any integer dtype, any layout; into an array of the caller's.
    again = np.zeros_like(blocks)
    filled = blockwalk.interpolate_blocks(plane, np.asfortranarray(calls.astype(np.int64)),
                                          height=height, out=again)
    assert filled is again and np.array_equal(again, blocks)


def test_the_sets_blocks_are_those_make_vectors_wrote(tmp_path):
    """The C++ program's expected blocks, read with NumPy, against the module's for the same
    calls on the same planes."""
    out = tmp_path / "set"
    subprocess.run([tool("make_vectors"), "--formats", "npy", str(out)], check=True,
                   capture_output=True)
    expected = np.load(out / "expected" / "blocks.npy")
    lines = list(csv.DictReader(open(out / "vectors.csv")))
    assert expected.shape == (len(lines), 16, 16, 3) and expected.dtype == np.uint8
    planes = {}
    for name in {line["plane_npy"] for line in lines}:
        planes[name] = np.load(out / name)
    for name, plane in planes.items():
        mine = [i for i, line in enumerate(lines) if line["plane_npy"] == name]
        calls = np.array([[int(lines[i][k]) for k in ("x", "y", "mvx", "mvy")] for i in mine])
        height = int(lines[mine[0]]["height"])
        assert np.array_equal(blockwalk.interpolate_blocks(plane, calls, height=height),
                              expected[mine])
    # The module's own set is the program's.
    manifest = blockwalk.make_vectors(str(tmp_path / "again"), formats=["npy"])
    assert manifest.endswith("/vectors.csv")
    assert np.array_equal(np.load(tmp_path / "again" / "expected" / "blocks.npy"), expected)


def test_a_numpy_file_is_read_by_check_walk(tmp_path):
    out = tmp_path / "set"
    blockwalk.make_vectors(str(out), formats=["npy"])
    blocks = np.load(out / "expected" / "blocks.npy")
    np.save(tmp_path / "right.npy", blocks.reshape(len(blocks), 768))
    wrong = blocks.copy()
    wrong[5, 3, 4, 1] ^= 1
    np.save(tmp_path / "wrong.npy", wrong)
    right = subprocess.run([tool("check_walk"), str(out), "--blocks", str(tmp_path / "right.npy")],
                           capture_output=True, text=True)
    assert right.returncode == 0, right.stdout + right.stderr
    assert right.stdout.startswith("identical: all 1559 blocks' pixels")
    found = subprocess.run([tool("check_walk"), str(out), "--blocks", str(tmp_path / "wrong.npy")],
                           capture_output=True, text=True)
    assert found.returncode == 1
    assert "first: block 5 (vector0006.bmp, manifest line 7) row 3 pixel 4 channel 1" in found.stdout


def test_check_reports_as_json_does(tmp_path):
    out = tmp_path / "set"
    blockwalk.make_vectors(str(out))
    before = blockwalk.check(str(out))
    assert not before["identical"] and before["blocks_checked"] == 0
    assert len(before["missing"]) == 1559
    for name in os.listdir(out / "expected"):
        shutil.copy(out / "expected" / name, out / name)
    assert blockwalk.check(str(out))["identical"]
    # An array stands for the files: a truncating second pass shows as a rounding.
    lines = list(csv.DictReader(open(out / "vectors.csv")))
    plane, _ = blockwalk.read_picture(str(out / "random.bmp"))
    blocks = np.zeros((len(lines), 16, 16, 3), dtype=np.uint8)
    for i, line in enumerate(lines):
        if line["picture"] == "random.bmp":
            blocks[i] = blockwalk.interpolate_block(plane, *(int(line[k]) for k in
                                                             ("x", "y", "mvx", "mvy")),
                                                    height=int(line["height"]))
    report = blockwalk.check(str(out), blocks=blocks)
    assert report["pixels_only"] and not report["identical"]
    groups = {(g["path"], tuple(g["phases"])) for g in report["groups"] if g["differing_blocks"]}
    assert groups, "the other picture's blocks are zeros"
    assert report["coverage"]["paths_never"] == []


def test_read_picture_gives_the_plane_as_blockwalk_reads_it(tmp_path):
    out = tmp_path / "set"
    blockwalk.make_vectors(str(out), formats=["bin"])
    plane, height = blockwalk.read_picture(str(out / "random.bmp"))
    assert plane.shape == (150, 203, 3) and height == 150
    assert plane.tobytes() == (out / "random.plane.bin").read_bytes()


def run_isolated(code):
    """Runs `code` with the module in a process of its own; its printed lines."""
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, env=os.environ.copy())
    assert done.returncode == 0, f"ended with {done.returncode}: {done.stderr}"
    return done.stdout.splitlines()


def test_refuses_what_it_cannot_serve_without_reading_outside_an_array(tmp_path):
    (tmp_path / "text.bmp").write_bytes(b"hello")
    os.mkfifo(tmp_path / "pipe.bmp")
    # An 8-bit picture: 2 x 2 pixels, a colour table of 256 entries.
    info = (40).to_bytes(4, "little") + (2).to_bytes(4, "little") + (2).to_bytes(4, "little") + \
        (1).to_bytes(2, "little") + (8).to_bytes(2, "little") + bytes(24)
    eight = b"BM" + (14 + 40 + 1024 + 8).to_bytes(4, "little") + bytes(4) + \
        (14 + 40 + 1024).to_bytes(4, "little") + info + bytes(1024) + bytes(8)
    (tmp_path / "eight.bmp").write_bytes(eight)
    # A 24-bit picture of 2 x 2 pixels whose rows of 8 bytes are cut short.
    info = (40).to_bytes(4, "little") + (2).to_bytes(4, "little") + (2).to_bytes(4, "little") + \
        (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + bytes(24)
    (tmp_path / "short.bmp").write_bytes(b"BM" + bytes(8) + (54).to_bytes(4, "little") + info +
                                         bytes(10))
    printed = run_isolated(f"""
        import numpy as np, blockwalk
        plane = np.zeros((40, 30, 3), dtype=np.uint8)
        def refused(what, call):
            try:
                call()
            except Exception as e:
                print(what, type(e).__name__, getattr(e, "status", ""), e)
            else:
                print(what, "accepted")
        refused("missing", lambda: blockwalk.read_picture("{tmp_path}/none.bmp"))
        refused("pipe", lambda: blockwalk.read_picture("{tmp_path}/pipe.bmp"))
        refused("text", lambda: blockwalk.read_picture("{tmp_path}/text.bmp"))
        refused("eight", lambda: blockwalk.read_picture("{tmp_path}/eight.bmp"))
        refused("short", lambda: blockwalk.read_picture("{tmp_path}/short.bmp"))
        refused("dtype", lambda: blockwalk.interpolate_block(plane.astype(np.int16), 0, 0, 1, 1))
        refused("list", lambda: blockwalk.interpolate_block([[1, 2, 3]], 0, 0, 1, 1))
        refused("shape", lambda: blockwalk.interpolate_block(plane[:, :, 0], 0, 0, 1, 1))
        refused("strided", lambda: blockwalk.interpolate_block(plane[:, ::2], 0, 0, 1, 1))
        refused("outside", lambda: blockwalk.interpolate_block(plane, 0, 25, 1, 1))
        refused("copy", lambda: blockwalk.interpolate_block(plane, -17, -16, 0, 0))
        refused("height", lambda: blockwalk.interpolate_block(plane, 0, 0, 1, 1, height=0))
        refused("calls dtype", lambda: blockwalk.interpolate_blocks(plane, np.zeros((2, 4))))
        refused("calls shape", lambda: blockwalk.interpolate_blocks(
            plane, np.zeros((2, 3), dtype=int)))
        refused("calls outside", lambda: blockwalk.interpolate_blocks(
            plane, np.array([[-10, -10, 0, 0], [0, 30, 2, 2]])))
        refused("calls 32 bits", lambda: blockwalk.interpolate_blocks(
            plane, np.array([[-10, -10, 0, 0], [0, 2**31, 0, 0]]), height=7))
        refused("out shape", lambda: blockwalk.interpolate_blocks(
            plane, np.array([[0, 0, 1, 1]]), out=np.zeros((2, 16, 16, 3), dtype=np.uint8)))
        refused("out read-only", lambda: blockwalk.interpolate_blocks(
            plane, np.array([[0, 0, 1, 1]]),
            out=np.broadcast_to(np.zeros((16, 16, 3), dtype=np.uint8), (1, 16, 16, 3))))
        refused("check dir", lambda: blockwalk.check("{tmp_path}/none"))
        refused("formats", lambda: blockwalk.make_vectors("{tmp_path}/set", formats=["gif"]))
        """)
    assert printed == [
        "missing PictureError -1 error -1! (cannot be opened)",
        "pipe PictureError -1 error -1! (cannot be opened: a named pipe (FIFO))",
        "text PictureError -2 error -2! (not a bitmap, or malformed: no \"BM\" signature, or a file "
        "header cut short)",
        "eight PictureError -3 error -3! (a bitmap blockwalk cannot interpolate: not 24 bits per "
        "pixel, or compressed)",
        "short PictureError -2 error -2! (error reading the bits: the pixel array is shorter than "
        "the header promises)",
        "dtype TypeError  plane: dtype int16, not uint8",
        "list TypeError  plane: a numpy.ndarray of uint8 is needed, not list",
        "shape ValueError  plane: shape (40, 30), not (rows, stride, 3)",
        "strided ValueError  plane: not C-contiguous; numpy.ascontiguousarray(plane) makes it so",
        "outside ValueError  the block at x 0, y 25, mvx 1, mvy 1 (stride 30, height 40) reads "
        "outside the plane",
        "copy ValueError  the block at x -17, y -16, mvx 0, mvy 0 (stride 30, height 40) reads "
        "outside the plane",
        "height ValueError  height: 0, not 1 ... 2147483647",
        "calls dtype TypeError  calls: dtype float64, not an integer type",
        "calls shape ValueError  calls: shape (2, 3), not (N, 4): x, y, mvx, mvy",
        "calls outside ValueError  calls[1] = (0, 30, 2, 2): the block reads outside the plane",
        "calls 32 bits ValueError  calls[1] = (0, 2147483648, 0, 0): a value beyond 32 bits",
        "out shape ValueError  out: shape (2, 16, 16, 3); a writable, C-contiguous (N, 16, 16, 3) "
        "is needed, N the calls'",
        "out read-only ValueError  out: shape (1, 16, 16, 3); a writable, C-contiguous "
        "(N, 16, 16, 3) is needed, N the calls'",
        f"check dir Error 2 {tmp_path}/none: not a directory",
        "formats ValueError  formats: bmp, bin, npy and memh, each once; got (gif)",
    ]


def test_a_plane_holds_the_clamped_calls_the_readme_says_it_does():
    # R rows serve height R - 33 when the plane is at least 32 pixels wide: the last pixel read,
    # (height + 32) x stride + 31, must lie before R x stride.
    for stride, spare_rows, fits in [(64, 33, True), (32, 33, True), (31, 33, False),
                                     (31, 34, True), (16, 34, True), (16, 33, False)]:
        plane = np.zeros((50, stride, 3), dtype=np.uint8)
        height = 50 - spare_rows
        blockwalk.interpolate_block(plane, -2**31, -2**31, 1, 1, height=height)  # the low corner
        try:
            blockwalk.interpolate_block(plane, 2**31 - 1, 2**31 - 1, 1, 1, height=height)
            served = True
        except ValueError:
            served = False
        assert served == fits, (stride, spare_rows)


def test_level_and_version():
    assert blockwalk.level() in ("scalar", "sse2", "avx2", "avx512", "neon")
    assert blockwalk.__version__.count(".") == 2
