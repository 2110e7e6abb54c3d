"""The package's exceptions and the one place a library status becomes one."""

import warnings

from . import _mosaro, _progress


class Cancelled(Exception):
    """The progress function returned False and the run stopped."""


class NoFiniteModelWarning(RuntimeWarning):
    """The legacy fit gave no finite model: every node is 0, as in the
    legacy grid (returned only with allow_empty=True). Give a model
    (model=...) or a coarser cell."""


def raise_for(status, message, argument=None):
    """Raises the exception of an error status. `argument` names the
    caller's argument when the library's message speaks of its own field."""
    if status == _mosaro.ERROR_OUT_OF_MEMORY:
        raise MemoryError(message)
    if status == _mosaro.ERROR_INTERNAL:
        raise RuntimeError(message)
    raise ValueError("%s: %s" % (argument, message) if argument else message)


def call(binding, progress, *arguments, arguments_named=None, warn=True, stacklevel=2):
    """Runs a binding whose last argument is the progress function and whose
    answer is (status, message, ..., stopped_by_user at index 5, ...), with
    the bar or the caller's function; raises for an error status (naming
    the argument of arguments_named[status] where there is one), warns for a
    warning (unless warn is False) at the stack level that is the user's
    call."""
    bar = None
    if progress is True:
        bar = progress = _progress.Bar()
    elif progress is False:
        progress = None
    elif progress is not None and not callable(progress):
        raise ValueError("progress must be True, False, None or a function f(stage, pass_index, fraction) (got %r)"
                         % (progress,))
    try:
        answer = binding(*arguments, progress)
    finally:
        if bar is not None:
            bar.close()
    status, message, stopped = answer[0], answer[1], answer[5]
    if status < 0:
        if status == _mosaro.ERROR_CANCELLED and stopped:
            raise Cancelled(message)
        raise_for(status, message, (arguments_named or {}).get(status))
    if status > 0 and warn:
        warnings.warn(message, NoFiniteModelWarning, stacklevel=stacklevel + 1)
    return answer
