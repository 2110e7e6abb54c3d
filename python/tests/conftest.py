import csv
import os
import sys

import numpy as np
import pytest

sys.path.insert(0, os.path.dirname(__file__))
import c_api  # noqa: E402

SOURCE_DIR = os.environ.get("MOSARO_SOURCE_DIR",
                            os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))


@pytest.fixture(scope="session")
def lib():
    return c_api.library()


@pytest.fixture(scope="session")
def source_dir():
    return SOURCE_DIR


@pytest.fixture(scope="session")
def meuse():
    with open(os.path.join(SOURCE_DIR, "data", "meuse.csv")) as f:
        rows = list(csv.DictReader(f))
    return tuple(np.array([float(r[k]) for r in rows], dtype=np.float32) for k in ("x", "y", "zinc", "copper"))


def smooth_samples(seed, count, extent=1000.0):
    """A smooth field (a wave across the extent plus a shorter one) with noise:
    its variogram levels off, so the automatic fit finds a finite model."""
    rng = np.random.default_rng(seed)
    x = rng.uniform(0, extent, count).astype(np.float32)
    y = rng.uniform(0, extent, count).astype(np.float32)
    k = 2 * np.pi / extent
    field = 50 + 25 * (np.sin(k * x) * np.cos(0.8 * k * y) + 0.5 * np.sin(0.6 * k * (x + y)))
    values = (field + rng.normal(0, 4, count)).astype(np.float32)
    second = (0.5 * field + rng.normal(0, 3, count)).astype(np.float32)
    return x, y, values, second


@pytest.fixture(scope="session")
def double_lib():
    return c_api.double_library()
