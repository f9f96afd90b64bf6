"""The README's NumPy bench (porting/numpy/bench.py) with a port that samples a two-dimensional
image, as a texture port does: identical to blockwalk for the default set and the walk where the
image is 32 pixels wider and holds the next row's first 32 pixels; wrong where a sampler clamps
to the edge instead."""
import importlib.util
import pathlib
import subprocess

import numpy as np
import pytest

from test_blockwalk import TAPS, tool

BENCH = pathlib.Path(__file__).resolve().parents[2] / "porting" / "numpy" / "bench.py"


def load_bench():
    spec = importlib.util.spec_from_file_location("bench", BENCH)
    bench = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(bench)
    return bench


def widened(plane):
    """The plane as an image 32 pixels wider: row r, then the first 32 pixels of row r + 1."""
    rows, stride, _ = plane.shape
    image = np.zeros((rows, stride + 32, 3), np.int32)
    image[:, :stride] = plane
    image[:-1, stride:] = plane[1:, :32]
    return image


def texture_port(sample):
    """A port that reads through sample(plane, rows, columns), index arrays of the block's
    window."""
    def port(plane, stride, height, x, y, mvx, mvy):
        hx, vy = mvx & 3, mvy & 3
        px, py = x + (mvx >> 2), y + (mvy >> 2)  # Python's integers do not overflow
        if hx or vy:
            px, py = min(max(px, -15), stride - 2), min(max(py, -15), height - 2)
        sx, sy = px + 16, py + 16
        if not (hx or vy):
            return sample(plane, np.arange(sy, sy + 16)[:, None],
                          np.arange(sx, sx + 16)[None, :]).astype(np.uint8)
        # Rows sy - 1 ... sy + 17 and columns sx - 1 ... sx + 17: 19 x 19 pixels.
        window = sample(plane, np.arange(sy - 1, sy + 18)[:, None],
                        np.arange(sx - 1, sx + 18)[None, :]).astype(np.int64)
        h, v = TAPS[hx], TAPS[vy]
        if hx and vy:
            first = (sum(h[k] * window[:, k:k + 16] for k in range(4)) + 1) >> 1
            out = (sum(v[k] * first[k:k + 16] for k in range(4)) + 4096) >> 13
        elif hx:
            out = (sum(h[k] * window[1:17, k:k + 16] for k in range(4)) + 64) >> 7
        else:
            out = (sum(v[k] * window[k:k + 16, 1:17] for k in range(4)) + 64) >> 7
        return np.clip(out, 0, 255).astype(np.uint8)
    return port


def wider_image(plane, rows, columns):
    return widened(plane)[rows, columns]


def clamped_to_edge(plane, rows, columns):
    return plane[np.clip(rows, 0, plane.shape[0] - 1), np.clip(columns, 0, plane.shape[1] - 1)]


def check(out):
    return subprocess.run([tool("check_walk"), str(out), "--blocks", str(out / "mine.npy")],
                          capture_output=True, text=True)


@pytest.fixture(scope="module")
def stimulus(tmp_path_factory):
    """The default set and the walk over a noise picture, as NumPy arrays."""
    root = tmp_path_factory.mktemp("stimulus")
    subprocess.run([tool("make_vectors"), "--formats", "npy", str(root / "set")], check=True,
                   capture_output=True)
    rng = np.random.default_rng(4)
    rows = rng.integers(0, 256, (540, 533, 3), dtype=np.uint8)
    padded = np.zeros((540, 533 * 3 + 1), np.uint8)  # rows of 1599 bytes, padded to 1600
    padded[:, :1599] = rows.reshape(540, 1599)
    header = (b"BM" + (54 + padded.size).to_bytes(4, "little") + bytes(4) +
              (54).to_bytes(4, "little") + (40).to_bytes(4, "little") +
              (533).to_bytes(4, "little") + (540).to_bytes(4, "little") + (1).to_bytes(2, "little") +
              (24).to_bytes(2, "little") + bytes(24))
    (root / "walk.bmp").write_bytes(header + padded.tobytes())
    subprocess.run([tool("make_vectors"), "--walk", str(root / "walk.bmp"), "--formats", "npy",
                    str(root / "walk")], check=True, capture_output=True)
    return root


@pytest.mark.parametrize("dir, blocks", [("set", 1559), ("walk", 1900)])
def test_a_port_on_the_wider_image_is_identical(stimulus, dir, blocks):
    load_bench().run(str(stimulus / dir), texture_port(wider_image))
    checked = check(stimulus / dir)
    assert checked.returncode == 0, checked.stdout + checked.stderr
    assert checked.stdout.startswith(f"identical: all {blocks} blocks' pixels")


def test_a_port_through_a_sampler_clamped_to_the_edge_is_not(stimulus):
    load_bench().run(str(stimulus / "set"), texture_port(clamped_to_edge))
    checked = check(stimulus / "set")
    assert checked.returncode == 1, checked.stdout + checked.stderr
    # The check finds every block it got wrong where a sampler clamped to the edge reads.
    assert "in all: 180 of 272 groups differ; found where the plane's edges are clamped, as a " \
        "texture's clamp-to-edge sampler does, instead of running on into the next row, in 180 " \
        "of them" in checked.stdout, checked.stdout
