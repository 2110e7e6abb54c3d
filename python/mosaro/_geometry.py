"""Where the nodes go: the same rules as the command-line tool's --extent,
--cell and --size, so that the same arguments give the same grid from both."""

import math

# Without cell or size, the longer side of the extent gets this many cells,
# and the cells are square.
DEFAULT_CELLS_ALONG_LONGER_SIDE = 100
INT_MAX = 2**31 - 1


def _number(value):
    return "%.9g" % value


def _pair(value, name, kind):
    import numpy
    if numpy.ndim(value) == 0:
        return kind(value), None
    items = list(numpy.ravel(value))
    if len(items) == 1:
        return kind(items[0]), None
    if len(items) != 2:
        raise ValueError("%s takes one number or two (x, then y); got %d" % (name, len(items)))
    return kind(items[0]), kind(items[1])


def _nodes_along(length, cell, axis):
    # The small allowance keeps an extent that is an exact multiple of the
    # cell from losing its last node to rounding.
    nodes = math.floor(length / cell * (1 + 1e-9)) + 1
    if not nodes <= INT_MAX:
        raise ValueError("a cell of %s gives too many nodes along %s" % (_number(cell), axis))
    return int(nodes)


def _require_finite(values, name):
    import numpy
    bad = numpy.flatnonzero(~numpy.isfinite(values))
    if len(bad):
        raise ValueError("%s[%d] must be finite (got %g)" % (name, bad[0], numpy.ravel(values)[bad[0]]))


def _as_float32(value):
    # numpy's float32 rounding, as the library receives the number.
    import numpy
    return float(numpy.float32(value))


def choose(x, y, extent=None, cell=None, size=None):
    """Returns ((x_min, y_min, x_max, y_max), (cell_x, cell_y), (nodes_x, nodes_y)),
    every float as the library's float32 receives it."""
    if extent is not None:
        bounds = [float(b) for b in extent]
        if len(bounds) != 4:
            raise ValueError("extent takes four numbers: x_min, y_min, x_max, y_max")
    else:
        if len(x) == 0:
            raise ValueError("no samples to take the extent from (give extent=)")
        # A NaN would otherwise surface as an extent "nan ... is not finite",
        # naming neither the array nor the sample.
        _require_finite(x, "x")
        _require_finite(y, "y")
        bounds = [float(x.min()), float(y.min()), float(x.max()), float(y.max())]
    text = "extent " + " ".join(_number(b) for b in bounds)
    if any(not math.isfinite(b) or abs(b) > 1e30 for b in bounds):
        raise ValueError(text + " is not finite")
    width, height = bounds[2] - bounds[0], bounds[3] - bounds[1]
    if width < 0 or height < 0:
        raise ValueError(text + " is inverted (give x_min, y_min, x_max, y_max)")
    if width == 0 and height == 0:
        raise ValueError(text + " is empty (give extent=)")
    if cell is not None and size is not None:
        raise ValueError("give either cell or size, not both")

    if size is not None:
        nx, ny = _pair(size, "size", int)
        if ny is None:
            raise ValueError("size takes two node counts: (nodes_x, nodes_y)")
        if nx < 1 or ny < 1:
            raise ValueError("size %d %d: at least 1 node each way" % (nx, ny))
        if nx > 1 and width == 0:
            raise ValueError("%s has no width for %d nodes" % (text, nx))
        if ny > 1 and height == 0:
            raise ValueError("%s has no height for %d nodes" % (text, ny))
        # One node along an axis: its spacing is the extent (or 1 when flat).
        dx = width / (nx - 1) if nx > 1 else (width if width > 0 else 1.0)
        dy = height / (ny - 1) if ny > 1 else (height if height > 0 else 1.0)
    else:
        if cell is not None:
            dx, dy = _pair(cell, "cell", float)
            if dy is None:
                dy = dx
        else:
            dx = dy = max(width, height) / DEFAULT_CELLS_ALONG_LONGER_SIDE
        if not (dx > 0 and dy > 0 and math.isfinite(dx) and math.isfinite(dy)):
            raise ValueError("cell size %s %s must be positive and finite" % (_number(dx), _number(dy)))
        nx = _nodes_along(width, dx, "x")
        ny = _nodes_along(height, dy, "y")
    if nx * ny > INT_MAX:
        raise ValueError("a grid of %d x %d nodes is too large (at most 2^31 - 1 nodes; give a coarser cell)"
                         % (nx, ny))
    cell_x, cell_y = _as_float32(dx), _as_float32(dy)
    if not (cell_x > 0 and cell_y > 0):
        raise ValueError("cell size %s %s is too small for single precision" % (_number(dx), _number(dy)))
    return tuple(_as_float32(b) for b in bounds), (cell_x, cell_y), (nx, ny)
