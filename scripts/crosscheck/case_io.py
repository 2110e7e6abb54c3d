"""Plain-text case files and grid files of the cross-check.

Case file, one item per line:

    args <nValueColumn> <nPointCount> <nColumnCount> <fCellSizeX> <fCellSizeY>
         <nCellCountX> <nCellCountY> <nNeighbourCount> <KrigingMethod> <fMethodParameter>
    rect <fXMin> <fYMin> <fXMax> <fYMax>
    methodarray <count> <v1> <v2> ...
    grid_init <float every node starts with>
    data
    <nPointCount lines of nColumnCount floats>

(the args item is one line).  Floats are written with repr() of the float's
value, which C's strtof reads back to the same float.  Reading here rounds
each decimal string straight to the nearest float, as strtof does (no
detour through the nearest double, which could round twice).

Grid file: one line per node in index order, the float's bit pattern as
8 lower-case hex digits.
"""

import math
from fractions import Fraction

from kriging_model import f32, float_bits, bits_to_float, INF, NAN

_ARG_NAMES = ("n_value_column", "n_point_count", "n_column_count", "cell_x", "cell_y",
              "n_cell_x", "n_cell_y", "n_neighbour", "method", "method_parameter")
_FLOAT_ARGS = {"cell_x", "cell_y", "method_parameter"}

_FLT_MAX_BITS = 0x7F7FFFFF
_TWO_128 = Fraction(2) ** 128


def _magnitude_value(bits):
    """Exact value of a non-negative float bit pattern (inf counts as 2**128 for rounding)."""
    if bits >= 0x7F800000:
        return _TWO_128
    return Fraction(bits_to_float(bits))


def parse_f32(token):
    """Decimal (or hex) string to the nearest float, ties to even, like strtof."""
    t = token.strip()
    low = t.lower()
    neg = low.startswith("-")
    body = low.lstrip("+-")
    if body in ("nan",) or body.startswith("nan("):
        return -NAN if neg else NAN
    if body in ("inf", "infinity"):
        return -INF if neg else INF
    if body.startswith("0x"):
        value = Fraction(float.fromhex(body))
    else:
        value = Fraction(body)
    # Nearest double first, then settle the float among its neighbours exactly.
    try:
        guess = abs(f32(float(value)))
    except OverflowError:
        guess = INF
    b = float_bits(guess) if guess != INF else 0x7F800000
    best = None
    for cand in (b - 1, b, b + 1):
        if cand < 0 or cand > 0x7F800000:
            continue
        err = abs(_magnitude_value(cand) - value)
        key = (err, cand & 1)
        if best is None or key < best[0]:
            best = (key, cand)
    result = bits_to_float(best[1])
    return -result if neg else result


def format_f32(x):
    """repr() of the float value; strtof reads it back to the same float."""
    x = f32(x)
    if x != x:
        return "nan"
    if x == INF:
        return "inf"
    if x == -INF:
        return "-inf"
    return repr(x)


def read_case(path):
    """Read a case file into a dict: args, rect, method_array, grid_init, data."""
    with open(path, "r") as fh:
        lines = fh.read().splitlines()
    case = {"name": path}
    i = 0
    data_lines = None
    while i < len(lines):
        line = lines[i].strip()
        i += 1
        if not line:
            continue
        key, _, rest = line.partition(" ")
        fields = rest.split()
        if key == "args":
            if len(fields) != len(_ARG_NAMES):
                raise ValueError("%s: args needs %d fields" % (path, len(_ARG_NAMES)))
            args = {}
            for name, tok in zip(_ARG_NAMES, fields):
                args[name] = parse_f32(tok) if name in _FLOAT_ARGS else int(tok)
            case["args"] = args
        elif key == "rect":
            case["rect"] = [parse_f32(tok) for tok in fields[:4]]
        elif key == "methodarray":
            count = int(fields[0])
            case["method_array"] = [parse_f32(tok) for tok in fields[1:1 + count]]
        elif key == "grid_init":
            case["grid_init"] = parse_f32(fields[0])
        elif key == "data":
            data_lines = lines[i:]
            break
        else:
            raise ValueError("%s: unknown item %r" % (path, key))
    data = []
    for line in data_lines or []:
        data.extend(parse_f32(tok) for tok in line.split())
    case["data"] = data
    case.setdefault("method_array", [])
    case.setdefault("grid_init", 0.0)
    return case


def write_case(path, case):
    """Write a case dict (as read_case returns) to path."""
    a = case["args"]
    out = ["args " + " ".join(format_f32(a[name]) if name in _FLOAT_ARGS else str(int(a[name]))
                              for name in _ARG_NAMES),
           "rect " + " ".join(format_f32(v) for v in case["rect"]),
           "methodarray %d" % len(case["method_array"])
           + "".join(" " + format_f32(v) for v in case["method_array"]),
           "grid_init " + format_f32(case["grid_init"]),
           "data"]
    cols = a["n_column_count"]
    data = case["data"]
    for r in range(len(data) // cols if cols > 0 else 0):
        out.append(" ".join(format_f32(v) for v in data[r * cols:(r + 1) * cols]))
    with open(path, "w") as fh:
        fh.write("\n".join(out) + "\n")


def format_grid(grid):
    """Grid as text: one 8-digit lower-case hex bit pattern per line."""
    return "".join("%08x\n" % float_bits(v) for v in grid)


def parse_grid(text):
    """Grid text to a list of bit patterns (ints)."""
    return [int(tok, 16) for tok in text.split()]


def write_grid(path, grid):
    with open(path, "w") as fh:
        fh.write(format_grid(grid))


def read_grid(path):
    with open(path, "r") as fh:
        return parse_grid(fh.read())
