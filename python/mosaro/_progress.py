"""progress=True: a bar on standard error, drawn only for runs that last."""

import sys
import time

_DELAY_SECONDS = 1.0
_WIDTH = 40


class Bar:
    def __init__(self, stream=None):
        self._stream = stream if stream is not None else sys.stderr
        self._start = time.monotonic()
        self._drawn = False

    def __call__(self, stage, pass_index, fraction):
        elapsed = time.monotonic() - self._start
        # A run that ends within a second leaves no bar behind.
        if not self._drawn and elapsed < _DELAY_SECONDS:
            return True
        self._drawn = True
        filled = int(fraction * _WIDTH + 0.5)
        self._stream.write("\r[%s%s] %3d%% %-10s %5.1f s" % (
            "#" * filled, "." * (_WIDTH - filled), int(fraction * 100 + 0.5), stage, elapsed))
        self._stream.flush()
        return True

    def close(self):
        # Whether the run ended or was stopped, the next output starts on a
        # line of its own.
        if self._drawn:
            self._stream.write("\n")
            self._stream.flush()
