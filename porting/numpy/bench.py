"""A NumPy bench over make_vectors' stimulus (--formats npy): every call of a set, or of the walk
(make_vectors --walk), from calls.npy, run through a port, its blocks saved for check_walk DIR
--blocks DIR/mine.npy."""
import csv

import numpy as np


def run(dir, port):
    """Runs port(plane, stride, height, x, y, mvx, mvy), which gives a block of (16, 16, 3) from
    a plane of (rows, stride, 3), on every call in DIR; saves the blocks as DIR/mine.npy."""
    calls = np.load(f"{dir}/calls.npy")  # (N, 9): plane, stride, height, x, y, mvx, mvy, rows, base
    with open(f"{dir}/planes.csv") as listed:
        planes = [np.load(f"{dir}/{p['plane_npy']}") for p in csv.DictReader(listed)]
    blocks = np.stack([port(planes[c[0]], *(int(v) for v in c[1:7])) for c in calls])
    np.save(f"{dir}/mine.npy", blocks)
