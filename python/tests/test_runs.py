"""Long runs: progress, the GIL released while the library works, and the
three ways a run stops early (the callback's False, its exception, Ctrl-C)."""

import os
import subprocess
import sys
import threading
import time

import pytest

import mosaro
from conftest import smooth_samples

MODEL = (1.0, 60.0, 300.0)
# About two seconds on one thread: long enough to watch, short enough to test.
LONG = dict(size=(800, 800), model=MODEL, threads=1)


@pytest.fixture(scope="module")
def many():
    return smooth_samples(2, 20000)[:3]


def test_progress_rises_to_one_through_every_stage(meuse):
    x, y, zinc, _ = meuse
    calls = []
    mosaro.grid(x, y, zinc, cell=40, progress=lambda stage, index, fraction: calls.append((stage, index, fraction)))
    fractions = [c[2] for c in calls]
    assert all(a < b for a, b in zip(fractions, fractions[1:]))
    assert fractions[-1] == 1.0 and fractions.count(1.0) == 1
    stages = [c[0] for c in calls]
    assert stages[0] == "variograms" and stages[-1] == "sweep"
    assert stages == sorted(stages, key=("variograms", "fit", "sweep").index)


def test_the_gil_is_released_while_the_library_runs(many):
    x, y, values = many

    def count_for(seconds=None, stop=None):
        n, end = 0, time.monotonic() + (seconds or 1e9)
        while time.monotonic() < end and not (stop and stop.is_set()):
            n += 1
        return n

    rate = count_for(0.3) / 0.3
    done, counted = threading.Event(), []
    worker = threading.Thread(target=lambda: counted.append(count_for(stop=done)))
    interval = sys.getswitchinterval()
    # With the GIL held, the counter could only run while the progress
    # callback takes the GIL back, a switch interval at a time.
    sys.setswitchinterval(0.0005)
    try:
        worker.start()
        start = time.monotonic()
        mosaro.grid(x, y, values, **LONG)
        elapsed = time.monotonic() - start
    finally:
        done.set()
        worker.join()
        sys.setswitchinterval(interval)
    assert elapsed > 0.5
    # Released, the counter runs most of the time even on a busy machine;
    # held, about a hundred switch intervals (0.05 s) at most.
    assert counted[0] / rate > 0.15 * elapsed, (counted[0] / rate, elapsed)


@pytest.mark.parametrize("legacy", [False, True])
def test_a_false_from_the_progress_function_cancels(many, legacy):
    x, y, values = many
    seen = []

    def stop_halfway(stage, index, fraction):
        seen.append(fraction)
        return fraction < 0.5

    with pytest.raises(mosaro.Cancelled, match="cancel"):
        mosaro.grid(x, y, values, progress=stop_halfway, legacy=legacy, **LONG)
    assert 0.5 <= seen[-1] < 0.7  # no call after the one that said stop


def test_an_exception_in_the_progress_function_stops_the_run_and_propagates(many):
    x, y, values = many
    calls = []

    def broken(stage, index, fraction):
        calls.append(fraction)
        if len(calls) == 3:
            raise ZeroDivisionError("from the callback")

    with pytest.raises(ZeroDivisionError, match="from the callback"):
        mosaro.grid(x, y, values, progress=broken, **LONG)
    assert len(calls) == 3


CTRL_C = """
import os, signal, sys, threading, time
sys.path.insert(0, sys.argv[1])
import mosaro
from conftest import smooth_samples
x, y, values = smooth_samples(2, 20000)[:3]
threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
start = time.monotonic()
try:
    mosaro.grid(x, y, values, size=(800, 800), model=(1.0, 60.0, 300.0), threads=1, progress=True)
    print("finished")
except KeyboardInterrupt:
    print("interrupted after %.2f s" % (time.monotonic() - start))
"""


def test_ctrl_c_cancels_a_run_and_raises_keyboard_interrupt():
    out = subprocess.run([sys.executable, "-c", CTRL_C, os.path.dirname(__file__)], capture_output=True,
                         text=True, timeout=120)
    assert out.returncode == 0, out.stderr
    assert out.stdout.startswith("interrupted after"), out.stdout
    assert float(out.stdout.split()[2]) < 1.5


def test_progress_true_draws_a_bar_on_stderr(many, capfd, monkeypatch):
    x, y, values = many
    # The bar waits a second before it draws; how long a run lasts depends
    # on the machine, so here it draws at once.
    monkeypatch.setattr(mosaro._progress, "_DELAY_SECONDS", 0.0)
    mosaro.grid(x, y, values, progress=True, **LONG)
    err = capfd.readouterr().err
    assert "100% sweep" in err and err.endswith("\n") and "[" + "#" * 40 + "]" in err
    # A run that ends within a second leaves nothing behind.
    monkeypatch.undo()
    mosaro.grid(x[:500], y[:500], values[:500], size=(20, 20), model=MODEL, progress=True)
    assert capfd.readouterr().err == ""
