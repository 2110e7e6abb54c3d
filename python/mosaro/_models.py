"""Variogram models: gstat's notation, lists of dicts, and the Model object.

The library reads and writes the notation and checks every parameter; this
module only moves models between the forms Python users write them in and
the library's struct, (nugget, [(family code, psill, range, shape, azimuth,
ratio), ...])."""

import collections
import math
from collections.abc import Mapping

import numpy as np

from . import _mosaro

# The families' short names as the library writes them, code k at index
# k - 1; the nugget is not a family of the struct but its own field.
FAMILIES = _mosaro.family_names()
_CODE = {name.lower(): code for code, name in enumerate(FAMILIES, start=1)}
_NUGGET = "Nug"
_SPHERICAL = FAMILIES[_mosaro.FAMILY_SPHERICAL - 1]
_KEYS = ("family", "psill", "range", "kappa", "azimuth", "ratio")
# Pow's exponent is its shape: the notation takes either name.
_ALIASES = {"exponent": "kappa"}

Structure = collections.namedtuple("Structure", _KEYS)
Structure.__doc__ = """One structure of a model: family (short name), psill (partial sill),
range, kappa (the shape of Exc, Mat, Ste; Pow's exponent; NaN for the
families without one), azimuth of the major axis (degrees clockwise from
north) and ratio (minor over major range, 1: isotropic)."""


def _number(value, what):
    try:
        number = float(value)
    except (TypeError, ValueError):
        raise ValueError("model: %s must be a number (got %r)" % (what, value)) from None
    return number


def _from_dicts(entries):
    nugget, structures, seen_nugget = 0.0, [], False
    for index, entry in enumerate(entries):
        if not isinstance(entry, Mapping):
            raise ValueError("model: entry %d must be a dict with family, psill, range, ... (got %r)" % (index, entry))
        entry = {_ALIASES.get(key, key): value for key, value in entry.items()}
        unknown = sorted(set(entry) - set(_KEYS))
        if unknown:
            raise ValueError("model: entry %d has unknown keys %s; known: %s, exponent"
                             % (index, ", ".join(map(repr, unknown)), ", ".join(_KEYS)))
        for key in ("family", "psill"):
            if key not in entry:
                raise ValueError("model: entry %d has no %r" % (index, key))
        family = str(entry["family"])
        psill = _number(entry["psill"], "entry %d's psill" % index)
        if family.lower() == _NUGGET.lower():
            if seen_nugget:
                raise ValueError("model: a second Nug entry (entry %d): a model has one nugget" % index)
            # gstat's tables give the nugget a range of 0; anything else is a mistake.
            extra = [key for key in entry if key not in ("family", "psill") and
                     not (key == "range" and _number(entry[key], "the nugget's range") == 0)]
            if extra:
                raise ValueError("model: the Nug entry takes only a psill (got %s)" % ", ".join(extra))
            nugget, seen_nugget = psill, True
            continue
        code = _CODE.get(family.lower())
        if code is None:
            raise ValueError("model: unknown family %r in entry %d; known: %s"
                             % (family, index, ", ".join((_NUGGET,) + FAMILIES)))
        structures.append((code, psill,
                           _number(entry.get("range", math.nan), "entry %d's range" % index),
                           _number(entry.get("kappa", math.nan), "entry %d's kappa" % index),
                           _number(entry.get("azimuth", 0.0), "entry %d's azimuth" % index),
                           _number(entry.get("ratio", 1.0), "entry %d's ratio" % index)))
    return nugget, structures


def _is_legacy_model(form):
    """(nugget, partial_sill, range), or a dict with those keys: the legacy
    request's spherical model."""
    if isinstance(form, Mapping):
        return "family" not in form and "nugget" in form
    return (isinstance(form, (tuple, list, np.ndarray)) and len(form) == 3 and
            all(np.ndim(v) == 0 and not isinstance(v, (str, Mapping)) for v in form))


def _legacy_parts(form):
    if isinstance(form, Mapping):
        for key in ("nugget", "partial_sill", "range"):
            if key not in form:
                raise ValueError("model: a model dict needs nugget, partial_sill and range; '%s' is missing" % key)
        form = (form["nugget"], form["partial_sill"], form["range"])
    return tuple(_number(v, name) for v, name in zip(form, ("the nugget", "the partial sill", "the range")))


def _parts(form):
    """(nugget, structures) of any form a model is written in."""
    if isinstance(form, Model):
        return form._parts
    if isinstance(form, str):
        status, message, parts = _mosaro.model_parse(form)
        if status != 0:
            raise ValueError("model: %s (in %r)" % (message, form))
        return parts
    if isinstance(form, Mapping):
        if "x" in form and "y" in form:
            raise ValueError("model: a pass of a legacy report holds two directional models, which only the legacy "
                             "request reads (legacy=True)")
        if "family" in form:
            return _from_dicts([form])
    if _is_legacy_model(form):
        nugget, psill, range_ = _legacy_parts(form)
        return nugget, [(_mosaro.FAMILY_SPHERICAL, psill, range_, math.nan, 0.0, 1.0)]
    if isinstance(form, (list, tuple)) and form and all(isinstance(e, Mapping) and "family" in e for e in form):
        return _from_dicts(form)
    raise ValueError("model must be a Model, a string such as '0.05 Nug + 0.59 Sph(897)', a list of dicts "
                     "({'family': 'Sph', 'psill': ..., 'range': ...}, with a {'family': 'Nug', 'psill': ...} entry "
                     "for the nugget) or (nugget, partial_sill, range) (got %r)" % (form,))


class Model:
    """A variogram model: a nugget and up to eight structures of any family,
    as R's gstat writes them.

        Model("0.05 Nug + 0.59 Sph(897)")
        Model([{"family": "Nug", "psill": 0.05}, {"family": "Sph", "psill": 0.59, "range": 897}])
        Model((0.05, 0.59, 897))          # nugget, partial sill, range of a spherical model

    str(model) is the notation, numbers in their shortest exact form, so
    Model(str(model)) == model. Equal models print alike. Raises ValueError
    naming the structure and parameter the library refuses.
    """

    __slots__ = ("_parts", "_text")

    def __init__(self, form):
        nugget, structures = _parts(form)
        if len(structures) > _mosaro.MAX_STRUCTURES:
            raise ValueError("model: at most %d structures (got %d)" % (_mosaro.MAX_STRUCTURES, len(structures)))
        parts = (float(nugget), [tuple(s) for s in structures])
        status, message, text = _mosaro.model_format(parts)
        if status != 0:
            raise ValueError(message if message.startswith("model") else "model: " + message)
        self._parts = parts
        self._text = text

    @classmethod
    def _from_parts(cls, parts):
        model = cls.__new__(cls)
        model._parts = (float(parts[0]), [tuple(s) for s in parts[1]])
        status, message, text = _mosaro.model_format(model._parts)
        if status != 0:
            raise RuntimeError("mosaro: the library gave a model it cannot write: " + message)
        model._text = text
        return model

    @property
    def nugget(self):
        return self._parts[0]

    @property
    def structures(self):
        """The structures, a tuple of Structure(family, psill, range, kappa, azimuth, ratio)."""
        return tuple(Structure(FAMILIES[code - 1], psill, range_, kappa, azimuth, ratio)
                     for code, psill, range_, kappa, azimuth, ratio in self._parts[1])

    @property
    def sill(self):
        """The nugget plus every partial sill (for a model whose families
        all level off; Pow and Lin(0) never do)."""
        return self.nugget + sum(s[1] for s in self._parts[1])

    def semivariance(self, h, azimuth=0.0):
        """gamma at lag distance h along the azimuth (degrees clockwise from
        north; it matters only for anisotropic models); numpy broadcasting
        over both. 0 at h = 0, the nugget and more beyond."""
        radians = np.deg2rad(np.asarray(azimuth, dtype=np.float64))
        h = np.asarray(h, dtype=np.float64)
        return self.semivariance_xy(h * np.sin(radians), h * np.cos(radians))

    def semivariance_xy(self, dx, dy):
        """gamma at the lag vector (dx, dy), with numpy broadcasting."""
        gamma = _mosaro.model_semivariance(self._parts, np.asarray(dx, dtype=np.float64),
                                           np.asarray(dy, dtype=np.float64))
        return gamma if np.ndim(gamma) else float(gamma)

    def to_dicts(self):
        """The model as a list of dicts (gstat's table): a {'family': 'Nug',
        'psill': ...} entry when there is a nugget, then one dict per
        structure with family, psill, range, azimuth, ratio and, where the
        family has one, kappa. Model(model.to_dicts()) == model."""
        entries = [{"family": _NUGGET, "psill": self.nugget}] if self.nugget != 0 or not self._parts[1] else []
        for s in self.structures:
            entry = s._asdict()
            if math.isnan(entry["kappa"]):
                del entry["kappa"]
            entries.append(entry)
        return entries

    def _legacy(self):
        """The legacy request's form: [(nugget, partial_sill, range)] of an
        isotropic spherical model, or the x then y models of one whose axes
        lie along x and y."""
        structures = self._parts[1]
        if len(structures) != 1 or structures[0][0] != _mosaro.FAMILY_SPHERICAL:
            raise ValueError("model: the legacy request takes a nugget and one %s structure (got %s)"
                             % (_SPHERICAL, self._text))
        _, psill, range_, _, azimuth, ratio = structures[0]
        if ratio == 1:
            return [(self.nugget, psill, range_)]
        across = azimuth % 180
        if across not in (0, 90):
            raise ValueError("model: the legacy request takes anisotropy along x and y only (azimuth 0 or 90; got %g)"
                             % azimuth)
        # Azimuth 0: the major axis runs north, along y.
        x_range, y_range = (range_ * ratio, range_) if across == 0 else (range_, range_ * ratio)
        return [(self.nugget, psill, x_range), (self.nugget, psill, y_range)]

    def __str__(self):
        return self._text

    def __repr__(self):
        return "mosaro.Model(%r)" % self._text

    def __eq__(self, other):
        return isinstance(other, Model) and self._text == other._text

    def __hash__(self):
        return hash(self._text)


def as_model(form, argument="model"):
    """A Model of any form a model is written in; ValueError names the argument."""
    if isinstance(form, Model):
        return form
    try:
        return Model(form)
    except ValueError as e:
        text = str(e)
        raise ValueError(argument + text[len("model"):] if text.startswith("model") else text) from None


def from_parts(parts):
    """A Model of the library's (nugget, structures), as a fit or a run gives it."""
    return Model._from_parts(parts)


def legacy_models(model):
    """model= of the legacy request: a list of (nugget, partial_sill, range),
    one (isotropic) or two (x, then y). Takes today's forms (a triple or its
    dict, once or as a pair, a pass of a report) and every Model form that
    is spherical with its axes along x and y."""
    if model is None:
        return []
    if isinstance(model, Mapping) and "x" in model and "y" in model:
        model = (model["x"]["model"], model["y"]["model"])
    if _is_legacy_model(model):
        return [_legacy_parts(model)]
    if (isinstance(model, (tuple, list)) and len(model) == 2 and
            all(_is_legacy_model(m) or isinstance(m, (Model, str)) for m in model)):
        pair = []
        for m in model:
            one = [_legacy_parts(m)] if _is_legacy_model(m) else as_model(m)._legacy()
            if len(one) != 1:
                raise ValueError("model: each of a pair (x, then y) must be isotropic")
            pair += one
        return pair
    if isinstance(model, (tuple, list)) and model and all(np.ndim(v) == 0 for v in model) and \
            not any(isinstance(v, (str, Mapping)) for v in model):
        raise ValueError("model: a model is (nugget, partial_sill, range); got %d numbers" % len(model))
    return as_model(model)._legacy()
