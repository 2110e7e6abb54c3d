"""Where the nodes go: the library's layout rule (the command-line tool's
--extent, --cell and --size take the same), in double precision for the
prediction and with the floats as the legacy float32 request receives them."""

import math

import numpy

from . import _mosaro

INT_MAX = 2**31 - 1


def _pair(value, name, kind):
    if numpy.ndim(value) == 0:
        return kind(value), None
    items = list(numpy.ravel(value))
    if len(items) == 1:
        return kind(items[0]), None
    if len(items) != 2:
        raise ValueError("%s takes one number or two (x, then y); got %d" % (name, len(items)))
    return kind(items[0]), kind(items[1])


def _as_float32(value):
    return float(numpy.float32(value))


def choose(x, y, extent=None, cell=None, size=None):
    """Returns ((x_min, y_min, x_max, y_max), (cell_x, cell_y), (nodes_x, nodes_y)),
    every float as the library's float32 receives it."""
    bounds, cells, nodes = choose_double(x, y, extent, cell, size)
    return tuple(_as_float32(b) for b in bounds), tuple(_as_float32(c) for c in cells), nodes


def choose_double(x, y, extent=None, cell=None, size=None):
    """The same layout in double precision, as the prediction takes it."""
    if extent is not None:
        extent = [float(b) for b in extent]
        if len(extent) != 4:
            raise ValueError("extent takes four numbers: x_min, y_min, x_max, y_max")
    cell_x = cell_y = 0.0
    if cell is not None:
        cell_x, cell_y = _pair(cell, "cell", float)
        # A zero given must not read as "no cell size".
        if cell_x == 0.0 or cell_y == 0.0 or math.isnan(cell_x) or (cell_y is not None and math.isnan(cell_y)):
            raise ValueError("cell size %g must be positive and finite" % (cell_x if cell_x == 0.0 else cell_y))
        cell_y = cell_y if cell_y is not None else 0.0
    nodes_x = nodes_y = 0
    if size is not None:
        nodes_x, nodes_y = _pair(size, "size", int)
        if nodes_y is None:
            raise ValueError("size takes two node counts: (nodes_x, nodes_y)")
        if nodes_x < 1 or nodes_y < 1:
            raise ValueError("size %d %d: at least 1 node each way" % (nodes_x, nodes_y))
    xs = numpy.ascontiguousarray(x, dtype=numpy.float64).ravel() if extent is None else numpy.zeros(0)
    ys = numpy.ascontiguousarray(y, dtype=numpy.float64).ravel() if extent is None else numpy.zeros(0)
    return _mosaro.layout(extent, xs, ys, cell_x, cell_y, nodes_x, nodes_y)
