"""What runs, sweeps and samples hand back: numbers with their standard errors, the model's
measures by name, and numpy arrays over the core's buffers."""

import copy
import math
from dataclasses import dataclass
from typing import (TYPE_CHECKING, Any, Dict, Generic, Iterable, Iterator, List, Mapping,
                    Optional, Sequence, Tuple, TypeVar, Union, overload)

import numpy as np
from numpy.typing import NDArray

from . import _core
from ._models import measure_places, models

if TYPE_CHECKING:
    import pandas

FloatArray = NDArray[np.float64]
IntArray = NDArray[np.int64]

#: A value: a float for a run, a float64 array (one entry per N) for a sweep.
V = TypeVar("V", float, FloatArray)
#: A whole number: an int for a run, an int64 array (one entry per N) for a sweep.
W = TypeVar("W", int, IntArray)


def _same(a: Any, b: Any) -> bool:
    """Equal values, NaN equal to NaN, arrays element by element."""
    if isinstance(a, np.ndarray) or isinstance(b, np.ndarray):
        return bool(np.array_equal(np.asarray(a), np.asarray(b), equal_nan=True))
    if isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b):
        return True
    return bool(a == b)


def _key(*values: Any) -> int:
    """A hash that agrees with _same: NaN hashes alike (Python hashes each NaN by identity)."""
    return hash(tuple("nan" if isinstance(v, float) and math.isnan(v) else v
                      for v in map(float, values)))


def _constant(other: Any) -> Optional[Union[int, float]]:
    """`other` as a Python number when it is a real number (not a bool, not an Estimate, not
    an array), else None."""
    if isinstance(other, (bool, np.bool_)) or not isinstance(
            other, (int, float, np.integer, np.floating)):
        return None
    return other.item() if isinstance(other, np.generic) else other


def _whole_part(ufunc: Any, function: Any, value: Any) -> Any:
    """math's trunc, floor or ceil of a float (an int), numpy's of an array (floats)."""
    return ufunc(value) if isinstance(value, np.ndarray) else function(value)


def _plain(other: Any) -> Any:
    """An Estimate's value; anything else as it is."""
    return other.value if isinstance(other, Estimate) else other


class Estimate(Generic[V]):
    """A value and its standard error: ``value`` and ``se`` (NaN where there is none, such
    as for a theoretical value, or for the six results of a Markov chain's samples).

    ``float(e)`` is the value, ``value, se = e`` unpacks it, and ``f"{e:.4f}"`` formats both
    as ``"0.5876 +/- 0.0012"``. In a sweep, ``value`` and ``se`` are float64 arrays with one
    entry per N, so that ``plt.errorbar(s.steps, *s.rms_R)`` plots them, and a format
    applies to each entry: ``"[1.234 +/- 0.012, 2.468 +/- 0.020]"``.

    An Estimate is a number where a number is wanted, its value standing in for it:

    - Shifted or scaled by a constant (a real number), it keeps its error, which follows
      exactly: ``e + c``, ``c + e``, ``e - c`` and ``c - e`` have the error of ``e``;
      ``e * c``, ``c * e`` and ``e / c`` the error times ``abs(c)`` (over it); ``-e``,
      ``+e`` and ``abs(e)`` the error of ``e``. The same through numpy's ``np.add``,
      ``np.subtract``, ``np.multiply``, ``np.divide``, ``np.negative`` and ``np.absolute``
      with a number.
    - Everything else is the value's own arithmetic and gives a plain float (an array in
      a sweep), without an error: ``e + e``, ``e * e``, ``e / e2``, ``c / e``, ``e ** 2``,
      ``e // c``, ``math.sqrt(e)``, ``np.sqrt(e)``, ``np.log(e)`` and any other ufunc,
      ``round(e, 2)``, ``int(e)``, ``math.floor(e)``. Those errors are not exact (two
      Estimates of one run are correlated), so the package leaves them to you.
    - ``<``, ``<=``, ``>`` and ``>=`` compare the values, with numbers or Estimates. ``==``
      with a number compares the value (``e == 0.5``); between two Estimates it holds when
      both the value and the error are equal (NaN equal to NaN).
    - ``np.asarray(e)`` is the value as a float64 array (0-d for a run), and
      ``np.array([r.R2, r.Rg2])`` a float64 array of values.
    """

    __slots__ = ("value", "se")
    value: V
    se: V

    def __init__(self, value: V, se: V) -> None:
        object.__setattr__(self, "value", value)
        object.__setattr__(self, "se", se)

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError("an Estimate cannot be changed")

    def __float__(self) -> float:
        return float(self.value)

    def __int__(self) -> int:
        return int(self.value)

    def __iter__(self) -> Iterator[V]:
        return iter((self.value, self.se))

    def __eq__(self, other: object) -> Any:
        if isinstance(other, Estimate):
            return _same(self.value, other.value) and _same(self.se, other.se)
        if _constant(other) is None:
            return NotImplemented
        return self.value == other

    def __hash__(self) -> int:
        # Equal to a number when its value is: hashed as its value.
        value = float(self.value)
        return hash("nan") if math.isnan(value) else hash(value)

    def __repr__(self) -> str:
        return f"Estimate(value={self.value!r}, se={self.se!r})"

    def __format__(self, format_spec: str) -> str:
        if isinstance(self.value, np.ndarray):
            if not format_spec:
                return repr(self)
            pairs = (f"{format(v, format_spec)} +/- {format(e, format_spec)}"
                     for v, e in zip(self.value.tolist(), np.asarray(self.se).tolist()))
            return f"[{', '.join(pairs)}]"
        return f"{format(self.value, format_spec)} +/- {format(self.se, format_spec)}"

    def __reduce__(self) -> Any:
        return (Estimate, (self.value, self.se))

    # Exact: a shift or a scale by a constant.
    def __add__(self, other: Any) -> Any:
        c = _constant(other)
        if c is None:
            return self.value + _plain(other) if isinstance(other, Estimate) else NotImplemented
        return Estimate(self.value + c, self.se)

    def __radd__(self, other: Any) -> Any:
        c = _constant(other)
        return NotImplemented if c is None else Estimate(c + self.value, self.se)

    def __sub__(self, other: Any) -> Any:
        c = _constant(other)
        if c is None:
            return self.value - _plain(other) if isinstance(other, Estimate) else NotImplemented
        return Estimate(self.value - c, self.se)

    def __rsub__(self, other: Any) -> Any:
        c = _constant(other)
        return NotImplemented if c is None else Estimate(c - self.value, self.se)

    def __mul__(self, other: Any) -> Any:
        c = _constant(other)
        if c is None:
            return self.value * _plain(other) if isinstance(other, Estimate) else NotImplemented
        return Estimate(self.value * c, self.se * abs(c))

    def __rmul__(self, other: Any) -> Any:
        c = _constant(other)
        return NotImplemented if c is None else Estimate(c * self.value, abs(c) * self.se)

    def __truediv__(self, other: Any) -> Any:
        c = _constant(other)
        if c is None:
            return self.value / _plain(other) if isinstance(other, Estimate) else NotImplemented
        return Estimate(self.value / c, self.se / abs(c))

    def __neg__(self) -> "Estimate[V]":
        return Estimate(-self.value, self.se)

    def __pos__(self) -> "Estimate[V]":
        return self

    def __abs__(self) -> "Estimate[V]":
        return Estimate(abs(self.value), self.se)

    # The value's own: plain numbers.
    def __rtruediv__(self, other: Any) -> Any:
        return _plain(other) / self.value if _constant(other) is not None else NotImplemented

    def __floordiv__(self, other: Any) -> Any:
        return self.value // _plain(other)

    def __rfloordiv__(self, other: Any) -> Any:
        return _plain(other) // self.value

    def __mod__(self, other: Any) -> Any:
        return self.value % _plain(other)

    def __rmod__(self, other: Any) -> Any:
        return _plain(other) % self.value

    def __pow__(self, other: Any) -> Any:
        return self.value ** _plain(other)

    def __rpow__(self, other: Any) -> Any:
        return _plain(other) ** self.value

    def __round__(self, ndigits: Optional[int] = None) -> Any:
        if isinstance(self.value, np.ndarray):
            return np.round(self.value, ndigits or 0)
        return round(self.value, ndigits)

    def __trunc__(self) -> Any:
        return _whole_part(np.trunc, math.trunc, self.value)

    def __floor__(self) -> Any:
        return _whole_part(np.floor, math.floor, self.value)

    def __ceil__(self) -> Any:
        return _whole_part(np.ceil, math.ceil, self.value)

    def __lt__(self, other: Any) -> Any:
        return self.value < _plain(other)

    def __le__(self, other: Any) -> Any:
        return self.value <= _plain(other)

    def __gt__(self, other: Any) -> Any:
        return self.value > _plain(other)

    def __ge__(self, other: Any) -> Any:
        return self.value >= _plain(other)

    # numpy: the value as an array, ufuncs on the value but for the exact ones above.
    def __array__(self, dtype: Any = None, copy: Any = None) -> NDArray[Any]:
        return np.array(self.value, dtype=np.float64 if dtype is None else dtype)

    def __array_ufunc__(self, ufunc: Any, method: str, *inputs: Any, **kwargs: Any) -> Any:
        exact = _EXACT.get(ufunc)
        if method == "__call__" and not kwargs and exact is not None:
            if len(inputs) == 1:
                return getattr(self, exact[0])()
            forward, reflected = exact
            if inputs[0] is self:
                result = getattr(self, forward)(inputs[1])
            else:
                result = getattr(self, reflected)(inputs[0])
            if result is not NotImplemented and isinstance(result, Estimate):
                return result
        plain = [_plain(x) for x in inputs]
        return getattr(ufunc, method)(*plain, **kwargs)


# The ufuncs an Estimate keeps its error through (with a number): its methods of them.
_EXACT: Dict[Any, Tuple[str, ...]] = {
    np.add: ("__add__", "__radd__"),
    np.subtract: ("__sub__", "__rsub__"),
    np.multiply: ("__mul__", "__rmul__"),
    np.true_divide: ("__truediv__", "__rtruediv__"),
    np.negative: ("__neg__",),
    np.positive: ("__pos__",),
    np.absolute: ("__abs__",),
}


class Count(Generic[V, W]):
    """A count per chain of the models that count trials: its ``mean`` over the chains, its
    largest value ``max`` and its sum ``total`` (in a sweep, arrays with one entry per N)."""

    __slots__ = ("mean", "max", "total")
    mean: V
    max: W
    total: W

    def __init__(self, mean: V, max: W, total: W) -> None:
        object.__setattr__(self, "mean", mean)
        object.__setattr__(self, "max", max)
        object.__setattr__(self, "total", total)

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError("a Count cannot be changed")

    def __iter__(self) -> Iterator[Any]:
        return iter((self.mean, self.max, self.total))

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Count):
            return NotImplemented
        return all(_same(a, b) for a, b in zip(self, other))

    def __hash__(self) -> int:
        return _key(self.mean, self.max, self.total)

    def __repr__(self) -> str:
        return f"Count(mean={self.mean!r}, max={self.max!r}, total={self.total!r})"

    def __reduce__(self) -> Any:
        return (Count, (self.mean, self.max, self.total))


#: A measure's value in a run: an int (count), a float (number), an Estimate (estimate) or a
#: float64 array (curve), or a Curve for a curve at its own abscissae; None where the run has
#: none. In a sweep: arrays with one entry per
#: N, an Estimate of arrays, or a list of curves.
MeasureValue = Any


class Measures(Mapping[str, MeasureValue]):
    """The model's measures by name (see :attr:`polychain.Model.measures`), also as
    attributes: ``r.measures["tau_R2"]`` is ``r.measures.tau_R2``."""

    def __init__(self, values: Mapping[str, MeasureValue]) -> None:
        self._values: Dict[str, MeasureValue] = dict(values)

    def __getitem__(self, name: str) -> MeasureValue:
        return self._values[name]

    def __iter__(self) -> Iterator[str]:
        return iter(self._values)

    def __len__(self) -> int:
        return len(self._values)

    def __getattr__(self, name: str) -> MeasureValue:
        values = self.__dict__.get("_values")
        if values is None or name not in values:
            known = ", ".join(values or ()) or "none"
            raise AttributeError(f"no measure called {name!r}; the measures are {known}")
        return values[name]

    def __dir__(self) -> List[str]:
        return [*super().__dir__(), *self._values]

    def __repr__(self) -> str:
        return f"Measures({self._values!r})"

    def __eq__(self, other: object) -> bool:
        """The same measures with the same values, a curve's array compared element by
        element (NaN equal to NaN)."""
        if not isinstance(other, Mapping) or set(self) != set(other):
            return False
        for name, value in self._values.items():
            theirs = other[name]
            if isinstance(value, np.ndarray) or isinstance(theirs, np.ndarray):
                if not np.array_equal(value, theirs, equal_nan=True):
                    return False
            elif value != theirs and not (value != value and theirs != theirs):
                return False
        return True

    __hash__ = None  # type: ignore[assignment]


class Curve:
    """A curve measured at its own abscissae, such as the melt's internal distances
    <R^2(n)>/n on a logarithmic set of n: ``n``, ``value`` and ``se`` (its standard errors,
    NaN where there is none), float64 arrays of one length. ``n, value, se = c`` unpacks it,
    so that ``plt.errorbar(*c)`` plots it."""

    __slots__ = ("n", "value", "se")
    n: FloatArray
    value: FloatArray
    se: FloatArray

    def __init__(self, n: FloatArray, value: FloatArray, se: FloatArray) -> None:
        object.__setattr__(self, "n", n)
        object.__setattr__(self, "value", value)
        object.__setattr__(self, "se", se)

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError("a Curve cannot be changed")

    def __iter__(self) -> Iterator[FloatArray]:
        return iter((self.n, self.value, self.se))

    def __len__(self) -> int:
        return len(self.n)

    def __eq__(self, other: object) -> bool:
        """The same n, values and errors, element by element (NaN equal to NaN)."""
        return isinstance(other, Curve) and all(
            np.array_equal(a, b, equal_nan=True) for a, b in zip(self, other))

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return f"Curve(n={self.n!r}, value={self.value!r}, se={self.se!r})"

    def __reduce__(self) -> Any:
        return (Curve, (self.n, self.value, self.se))


def _floats(values: Any) -> FloatArray:
    """JSON numbers as a float64 array, NaN for null."""
    return np.array(values, dtype=np.float64)


_ABSENT = object()


def _place(measures: Optional[Mapping[str, Any]], path: str) -> Any:
    """The value at `path` (levels joined by "/") in a run's JSON object of its model's
    measures; _ABSENT where the run has none."""
    value: Any = measures
    for level in path.split("/"):
        if not isinstance(value, Mapping) or level not in value:
            return _ABSENT
        value = value[level]
    return value


def _measure(kind: str, indexed: bool, value: Any) -> MeasureValue:
    """A measure's value of one run from its JSON: None where the run has none."""
    if value is _ABSENT:
        return None
    if kind == "estimate":
        return Estimate(_number(value["value"]), _number(value["se"]))
    if kind == "number":
        return _number(value)
    if kind == "curve":
        if isinstance(value, Mapping):
            return Curve(_floats(value["n"]), _floats(value["value"]), _floats(value["se"]))
        return _floats([v for _, v in value] if indexed else value)
    return value


@dataclass(frozen=True)
class PerChain:
    """Each chain's own values, in chain order (for a sampler, its samples in the order of
    their index), the same on any thread count: chain ``i`` is chain ``i`` of
    :func:`polychain.sample` with the same arguments.

    Attributes:
        R: the end-to-end vectors, an int32 array of shape (chains, 3).
        R2: their squared lengths, float64 (chains,).
        Rg2: the squared radii of gyration about each chain's centre of mass, float64
            (chains,).
    """

    R: NDArray[np.int32]
    R2: FloatArray
    Rg2: FloatArray

    def __len__(self) -> int:
        return len(self.R2)


class Chains(Sequence[NDArray[np.int32]]):
    """Chains of differing lengths laid end to end: ``sites``, an int32 array of shape
    (sites, 3), and ``starts``, the int64 offsets (chains + 1 of them), chain ``c`` holding
    ``sites[starts[c]:starts[c + 1]]``. ``chains[c]`` is that view, ``len(chains)`` the count,
    and iterating gives every chain in turn. Nothing is copied."""

    def __init__(self, sites: NDArray[np.int32], starts: IntArray) -> None:
        self.sites = sites
        self.starts = starts

    @property
    def lengths(self) -> IntArray:
        """The sites of each chain."""
        return np.diff(self.starts)

    def __len__(self) -> int:
        return len(self.starts) - 1

    @overload
    def __getitem__(self, index: int) -> NDArray[np.int32]: ...

    @overload
    def __getitem__(self, index: slice) -> Sequence[NDArray[np.int32]]: ...

    def __getitem__(self, index: Union[int, slice]
                    ) -> Union[NDArray[np.int32], Sequence[NDArray[np.int32]]]:
        if isinstance(index, slice):
            return [self[i] for i in range(*index.indices(len(self)))]
        count = len(self)
        c = index + count if index < 0 else index
        if not 0 <= c < count:
            raise IndexError(f"chain index {index} out of range for {count} chains")
        return self.sites[self.starts[c]:self.starts[c + 1]]

    def __repr__(self) -> str:
        return f"<polychain.Chains: {len(self)} chains, {len(self.sites)} sites>"


# The common statistics as the core describes them: (name, key in the JSON) of the six results
# and of the extended statistics, in the order of the core's tables.
_STATISTICS = _core.statistics()
_TEXTS = tuple((s["name"], s["json"]) for s in _STATISTICS["results"])
_ESTIMATES = tuple((s["name"], s["json"]) for s in _STATISTICS["extended"])
_COUNTS = ("trials", "discarded", "backups")


def _with_key(names: Iterable[str], key: str) -> List[str]:
    """dir() of a result: its attributes and the model's measures_key (``pivot``), so that
    tab completion finds the model's section."""
    return sorted({*names, key} - {""})


@dataclass(frozen=True, eq=False)
class FormFactor:
    """A run's single-chain form factor, P(q) = <|sum_j exp(i q x_j)|^2> / n^2 over a chain's
    n sites, at wave vectors q = 2 pi m / M along the three axes (averaged over them).

    Attributes:
        q: the wave numbers, a float64 array, from well below 1/Rg up to pi.
        P: P(q) averaged over the chains it was taken on, a float64 array.
        debye: the Debye function of an ideal chain with the run's <Rg^2>,
            2 (exp(-x) - 1 + x) / x^2 at x = q^2 <Rg^2>, beside it.
        P_se: P's standard errors over independent chains (NaN for a sampler's samples).
        chains: the chains averaged over.
        every: their spacing by index: a growth run takes chains 0, every, 2 every, ...; a
            sampler its samples so spaced.
    """

    q: FloatArray
    P: FloatArray
    debye: FloatArray
    P_se: FloatArray
    chains: int
    every: int


@dataclass(frozen=True, eq=False)
class StructureFactor:
    """A melt's collective structure factor of the monomer density, S(q) =
    <|sum_j exp(i q x_j)|^2> / n over the box's n sites, at the box's wave vectors
    q = 2 pi m / L along its periodic axes (averaged over them and over the samples).

    Attributes:
        q: the wave numbers, a float64 array.
        S: S(q), a float64 array.
        samples: the samples averaged over.
    """

    q: FloatArray
    S: FloatArray
    samples: int


def _settings_of(model: str, j: Mapping[str, Any]) -> Dict[str, Any]:
    return {s.name: j[s.name] for s in models[model].settings if s.name in j}


@dataclass(frozen=True)
class Energy:
    """A run's energy terms per chain, under a contact or bend energy: each an
    :class:`Estimate` (mean and standard error over the samples).

    Attributes:
        contacts: pairs of sites one unit apart that no step joins.
        bends: sites where the walk turns.
        wall_contacts: sites next to a wall; None for a model without walls.
        energy: the energy in kT.
        heat_capacity: (<U^2> - <U>^2) in kT^2, the heat capacity in units of k.
    """

    contacts: Estimate[float]
    bends: Estimate[float]
    wall_contacts: Optional[Estimate[float]]
    energy: Estimate[float]
    heat_capacity: Estimate[float]


def _energy(j: Optional[Mapping[str, Any]]) -> Optional[Energy]:
    if not j:
        return None

    def estimate(e: Mapping[str, Any]) -> Estimate[float]:
        return Estimate(_number(e["value"]), _number(e["se"]))

    walls = j.get("wall_contacts")
    return Energy(contacts=estimate(j["contacts"]), bends=estimate(j["bends"]),
                  wall_contacts=estimate(walls) if walls else None,
                  energy=estimate(j["energy"]), heat_capacity=estimate(j["heat_capacity"]))


class RunResult:
    """What :func:`polychain.run` returns.

    Attributes:
        model: the model's key.
        steps: the steps N of each chain.
        iterations: the chains grown (a sampler's samples).
        seed: the seed used; pass it back to repeat the run.
        settings: the model's settings that chose its walks, by name.
        texts: the six result texts as the window shows them, under their historical
            captions, in order: ``eR`` ("<R>" calculated), ``TR`` ("<R>" theoretical),
            ``Rsqred`` ("Sqr<R^2>" calculated), ``TRsqred`` ("Sqr<R^2>" theoretical),
            ``pers`` ("lp") and ``Rgtxt`` ("Rg").
        values: the same six as numbers, keyed like ``texts``, each an :class:`Estimate`
            (its standard error NaN for the theoretical values, and for a sampler's
            samples). They keep their historical definitions, which are not the textbook
            quantities their captions suggest: ``values["eR"]`` is the mean of x + y + z of
            the end point over N; ``values["Rsqred"]``, captioned "Sqr<R^2>", is the mean
            end-to-end distance ``<|R|>`` over the chains (or samples), not sqrt(<R^2>);
            ``values["TRsqred"]`` is N to the model's size exponent; ``values["pers"]`` is
            the model's persistence length made from ``values["Rsqred"]``; and
            ``values["Rgtxt"]``, captioned "Rg", is the square root of the mean spread of
            the distances of a chain's sites from its start (their squared deviations
            from their mean, summed and divided by N), not the radius of gyration. The
            textbook values are the attributes below: sqrt(<R^2>) is ``rms_R``, <R^2>
            ``R2``, ``<|R|>`` ``mean_R``, and the radius of gyration about the centre of mass
            ``rms_Rg`` (sqrt(<Rg^2>)).
        rms_R: the textbook root-mean-square end-to-end distance sqrt(<R^2>), an
            :class:`Estimate`, as are ``R2`` (<R^2>), ``mean_R`` (``<|R|>``), ``rms_Rg``
            (sqrt(<Rg^2>), the radius of gyration about each chain's centre of mass),
            ``Rg2`` (<Rg^2>) and ``ratio`` (<Rg^2>/<R^2>).
        chains: the chains (or samples) those are over.
        trials: for a model that counts trials, the trial steps per chain as a
            :class:`Count`, as are ``discarded`` and ``backups``; ``restarts``, the times
            chains were regrown. None for the other models.
        measures: the model's own measures (:class:`Measures`), also under the model's
            ``measures_key`` (``r.pivot`` for the pivot model).
        chain: the last chain's sites, origin first, an int32 array of shape (sites, 3): the
            sites of the command's .cdat export, in the core's buffer.
        per_chain: each chain's values (:class:`PerChain`) with ``per_chain=True``, else
            None.
        energy: under a contact or bend energy, the energy terms per chain
            (:class:`Energy`: ``energy.contacts`` and so on), else None.
        gofr: g(r) of the last chain, a float64 array, with ``gofr=True``, else None; and
            ``gofq``, its transform. g(r) is the histogram of the differences of the chain's
            sites' distances from its start (not a pair correlation of the sites).
        form_factor: the chains' form factor P(q) with the Debye function beside it
            (:class:`FormFactor`).
        structure_factor: for a melt, its structure factor S(q) (:class:`StructureFactor`);
            None for the other models.
        notes: the model's notes on the run as the command prints them, a list of str (empty
            for a model without notes): such as a melt's "Note: the burn-in covered ..."
            when it may not be in equilibrium, or "Equilibrated: ..." when it is. Each note
            that begins "Note:" is also a RuntimeWarning of :func:`polychain.run`, shown at
            the line that called it.
    """

    rms_R: Estimate[float]
    R2: Estimate[float]
    mean_R: Estimate[float]
    rms_Rg: Estimate[float]
    Rg2: Estimate[float]
    ratio: Estimate[float]
    trials: Optional[Count[float, int]]
    discarded: Optional[Count[float, int]]
    backups: Optional[Count[float, int]]

    def __init__(self, raw: Mapping[str, Any]) -> None:
        # The command's JSON, and beside it what the JSON leaves out: the six results' values
        # with their errors, the counts' totals and the arrays of the chains.
        j = raw["json"]
        self._dict: Dict[str, Any] = j
        self.model: str = j["model"]
        self.steps: int = j["steps"]
        self.iterations: int = j["iterations"]
        self.seed: int = j["seed"]
        self.settings: Dict[str, Any] = _settings_of(self.model, j)
        self.texts: Dict[str, str] = {name: j["results"][key] for name, key in _TEXTS}
        self.values: Dict[str, Estimate[float]] = {
            name: Estimate(float(v), float(se)) for name, (v, se) in raw["values"].items()}
        extended = j["extended"]
        self.chains: int = extended["chains"]
        for name, key in _ESTIMATES:
            setattr(self, name, Estimate(_number(extended[key]["value"]),
                                         _number(extended[key]["se"])))
        totals = raw["totals"]
        for name in _COUNTS:
            counted = extended.get(name)
            setattr(self, name, Count(float(counted["mean"]), counted["max"], totals[name])
                    if counted else None)
        self.restarts: Optional[int] = extended.get("restarts")
        model = models[self.model]
        own = j.get(model.measures_key) if model.measures_key else None
        self.measures = Measures({
            m.name: _measure(m.kind, measure_places[self.model, m.name][1],
                             _place(own, measure_places[self.model, m.name][0]))
            for m in model.measures})
        self._measures_key = model.measures_key
        self.chain: NDArray[np.int32] = raw["chain"]
        per_chain = raw.get("per_chain")
        self.per_chain: Optional[PerChain] = PerChain(**per_chain) if per_chain else None
        self.energy: Optional[Energy] = _energy(j.get("energy"))
        gofr, gofq = j.get("gofr"), j.get("gofq")
        self.gofr: Optional[FloatArray] = None if gofr is None else _floats([v for _, v in gofr])
        self.gofq: Optional[FloatArray] = None if gofq is None else _floats([v for _, v in gofq])
        self.notes: List[str] = list(j.get("notes", []))
        form = j.get("form_factor")
        self.form_factor: Optional[FormFactor] = FormFactor(
            q=_floats(form["q"]), P=_floats(form["P"]), debye=_floats(form["debye"]),
            P_se=_floats(form["P_se"]), chains=form["chains"], every=form["every"]
        ) if form else None
        structure = j.get("structure_factor")
        self.structure_factor: Optional[StructureFactor] = StructureFactor(
            q=_floats(structure["q"]), S=_floats(structure["S"]), samples=structure["samples"]
        ) if structure else None

    def __getattr__(self, name: str) -> Measures:
        if name != "_measures_key" and name == self._measures_key:
            return self.measures
        raise AttributeError(f"'RunResult' object has no attribute {name!r}")

    def __dir__(self) -> List[str]:
        return _with_key(super().__dir__(), self._measures_key)

    def to_dict(self) -> Dict[str, Any]:
        """The run as the command's ``--json`` prints it: a new dict of dicts, lists, str,
        int, float and None (null for an absent standard error)."""
        return copy.deepcopy(self._dict)

    def __repr__(self) -> str:
        return (f"<polychain.RunResult {self.model}, N = {self.steps}, {self.iterations} "
                f"{models[self.model].samples}, seed {self.seed}: sqrt(<R^2>) = "
                f"{self.rms_R.value:.6g} +/- {self.rms_R.se:.2g}>")


@dataclass(frozen=True)
class CorrectedFit:
    """A fit with the leading correction to scaling, <X> = A N^(2 nu) (1 + b N^-delta), from
    the smallest N at which chi^2 became acceptable.

    Attributes:
        nu: the exponent, an :class:`Estimate`, as are ``amplitude`` (A) and ``correction``
            (b).
        delta: the correction exponent used.
        from_steps: the smallest N used (every larger one was used too).
        points: the N used.
        chi2_per_dof: chi^2 per degree of freedom.
        acceptable: chi^2 is acceptable.
    """

    nu: Estimate[float]
    amplitude: Estimate[float]
    correction: Estimate[float]
    delta: float
    from_steps: float
    points: int
    chi2_per_dof: float
    acceptable: bool


@dataclass(frozen=True)
class LimitFit:
    """The large-N limit of a ratio, y = limit + c N^-delta.

    Attributes:
        limit: an :class:`Estimate`.
        correction: the amplitude c of the correction.
        delta: the correction exponent used.
        from_steps: the smallest N used (every larger one was used too).
        points: the N used.
        chi2_per_dof: chi^2 per degree of freedom.
        acceptable: chi^2 is acceptable.
    """

    limit: Estimate[float]
    correction: float
    delta: float
    from_steps: float
    points: int
    chi2_per_dof: float
    acceptable: bool


@dataclass(frozen=True)
class CorrectedFits:
    """The fits of a sweep with the correction to scaling.

    Attributes:
        R2: the fit of <R^2> (:class:`CorrectedFit`), None when it could not be made.
        Rg2: the fit of <Rg^2>, likewise.
        ratio_limit: the large-N limit of <Rg^2>/<R^2> (:class:`LimitFit`), or None.
    """

    R2: Optional[CorrectedFit]
    Rg2: Optional[CorrectedFit]
    ratio_limit: Optional[LimitFit]


def _number(value: Optional[float]) -> float:
    return math.nan if value is None else float(value)


def _corrected(j: Optional[Mapping[str, Any]]) -> Optional[CorrectedFit]:
    if not j:
        return None
    return CorrectedFit(
        nu=Estimate(_number(j["nu"]), _number(j["nu_se"])),
        amplitude=Estimate(_number(j["amplitude"]), _number(j["amplitude_se"])),
        correction=Estimate(_number(j["correction"]), _number(j["correction_se"])),
        delta=_number(j["delta"]), from_steps=_number(j["from_steps"]), points=j["points"],
        chi2_per_dof=_number(j["chi2_per_dof"]), acceptable=j["acceptable"])


def _limit(j: Optional[Mapping[str, Any]]) -> Optional[LimitFit]:
    if not j:
        return None
    return LimitFit(
        limit=Estimate(_number(j["limit"]), _number(j["limit_se"])),
        correction=_number(j["correction"]), delta=_number(j["delta"]),
        from_steps=_number(j["from_steps"]), points=j["points"],
        chi2_per_dof=_number(j["chi2_per_dof"]), acceptable=j["acceptable"])


def _column(points: Sequence[Mapping[str, Any]], key: str, kind: str,
            place: Tuple[str, bool]) -> MeasureValue:
    """A measure of a sweep's points from their JSON, one entry per N."""
    found = [_place(p.get(key), place[0]) for p in points]
    values = [None if v is _ABSENT else v for v in found]
    if kind == "estimate":
        return Estimate(np.array([_number(v["value"] if v else None) for v in values]),
                        np.array([_number(v["se"] if v else None) for v in values]))
    if kind == "count" and all(v is not None for v in values):
        return np.array(values, dtype=np.int64)
    if kind == "curve":
        return [_measure(kind, place[1], v) for v in found]
    return np.array([_number(v) for v in values], dtype=np.float64)


class SweepResult:
    """What :func:`polychain.sweep` returns: one entry per N, in the order of ``steps``.

    Attributes:
        model: the model's key.
        iterations: the chains (or samples) at each N; None for a sweep that spent a budget
            on each N instead.
        seed: the sweep's seed (each N's own seed is in ``seeds``).
        settings: the model's settings that chose its walks, by name.
        steps: N, an int64 array; ``seeds`` (uint64) and ``chains`` (int64) likewise.
        rms_R: sqrt(<R^2>) at each N, an :class:`Estimate` of float64 arrays, as are
            ``R2``, ``mean_R``, ``rms_Rg``, ``Rg2`` and ``ratio`` (the columns of the
            command's ``--csv``).
        trials: for a model that counts trials, a :class:`Count` of arrays, as are
            ``discarded`` and ``backups``; ``restarts`` an int64 array. None for the others.
        measures: the model's measures that a sweep keeps, each as an array (an
            :class:`Estimate` of arrays, a list of curves), also under the model's
            ``measures_key``.
        nu: the exponent of the fit sqrt(<R^2>) ~ amplitude N^nu by least squares on the
            logarithms, an :class:`Estimate`; ``chi2_per_dof``, ``amplitude`` and
            ``fit_method`` (``"weighted"`` or ``"ordinary"``) with it. None when the points
            could not be fitted.
        corrected: the fits with the correction to scaling (:class:`CorrectedFits`), None
            for a sweep with too few N.
        nu_corrected: ``corrected.R2.nu``, or None.
        ratio_limit: ``corrected.ratio_limit.limit``, or None.
        reference: the reference exponents, ``{"ideal_chain": 0.5, "self_avoiding_walk":
            ...}``.
        notes: the model's notes on each N's run, a list (one per N) of lists of str, as for
            :attr:`RunResult.notes`; each that begins "Note:" is also a RuntimeWarning of
            :func:`polychain.sweep`, its N named (and the value, in a sweep over a list).
        R2_per_N: <R^2>/N at each N, an :class:`Estimate` of float64 arrays: flat for the
            ideal chain, so the theta point is where it turns flat.
        nu_eff: the effective exponent between neighbouring N, ln(<R^2>_b/<R^2>_a) / (2
            ln(N_b/N_a)), an :class:`Estimate` of arrays one shorter than ``steps``.
        varied: for a sweep over several values of a real setting (such as
            ``contact_energy=[-0.22, -0.269, -0.32]``), the setting's name; None otherwise.
        series: the sweep of each value, in order, each a :class:`SweepResult` whose
            ``settings`` holds its value; the sweep returned is the first of them. A sweep of
            one value is its own series, ``[self]``.
    """

    rms_R: Estimate[FloatArray]
    R2: Estimate[FloatArray]
    mean_R: Estimate[FloatArray]
    rms_Rg: Estimate[FloatArray]
    Rg2: Estimate[FloatArray]
    ratio: Estimate[FloatArray]
    trials: Optional[Count[FloatArray, IntArray]]
    discarded: Optional[Count[FloatArray, IntArray]]
    backups: Optional[Count[FloatArray, IntArray]]

    def __init__(self, raw: Mapping[str, Any]) -> None:
        # The command's JSON, and beside it what the JSON leaves out: the counts' totals and
        # the curves of <R^2>/N and the effective exponent.
        j = raw["json"]
        self._dict: Dict[str, Any] = j
        self.model: str = j["model"]
        self.iterations: Optional[int] = j["iterations"]
        self.seed: int = j["seed"]
        self.settings: Dict[str, Any] = _settings_of(self.model, j)
        self.reference: Dict[str, float] = dict(j["reference"])
        points: List[Dict[str, Any]] = j["points"]
        extended = [p["extended"] for p in points]
        self.steps: IntArray = np.array([p["steps"] for p in points], dtype=np.int64)
        self.seeds: NDArray[np.uint64] = np.array([p["seed"] for p in points], dtype=np.uint64)
        self.chains: IntArray = np.array([e["chains"] for e in extended], dtype=np.int64)
        for name, key in _ESTIMATES:
            setattr(self, name, Estimate(_floats([e[key]["value"] for e in extended]),
                                         _floats([e[key]["se"] for e in extended])))
        growth = bool(points) and "trials" in extended[0]
        totals = raw["totals"]
        for name in _COUNTS:
            setattr(self, name, Count(
                np.array([e[name]["mean"] for e in extended], dtype=np.float64),
                np.array([e[name]["max"] for e in extended], dtype=np.int64),
                np.array([t[name] for t in totals], dtype=np.int64)) if growth else None)
        self.restarts: Optional[IntArray] = (
            np.array([e["restarts"] for e in extended], dtype=np.int64) if growth else None)
        model = models[self.model]
        self.measures = Measures({m.name: _column(points, model.measures_key, m.kind,
                                                  measure_places[self.model, m.name])
                                  for m in model.measures if m.in_sweep})
        self._measures_key = model.measures_key
        self.R2_per_N = Estimate(np.array(raw["R2_per_N"][0], dtype=np.float64),
                                 np.array(raw["R2_per_N"][1], dtype=np.float64))
        self.nu_eff = Estimate(np.array(raw["nu_eff"][0], dtype=np.float64),
                               np.array(raw["nu_eff"][1], dtype=np.float64))
        self.varied: Optional[str] = None
        self.series: List[SweepResult] = [self]
        fit = j["fit"]
        self.nu: Optional[Estimate[float]] = None
        self.chi2_per_dof: Optional[float] = None
        self.amplitude: Optional[float] = None
        self.fit_method: Optional[str] = None
        if fit:
            self.nu = Estimate(_number(fit["nu"]), _number(fit["nu_se"]))
            self.chi2_per_dof = _number(fit["chi2_per_dof"])
            self.amplitude = _number(fit["amplitude"])
            self.fit_method = fit["method"]
        corrected = j.get("corrected_fit") or {}
        r2, rg2 = _corrected(corrected.get("R2")), _corrected(corrected.get("Rg2"))
        limit = _limit(j.get("ratio_limit"))
        self.corrected: Optional[CorrectedFits] = (
            CorrectedFits(r2, rg2, limit) if r2 or rg2 or limit else None)
        self.nu_corrected: Optional[Estimate[float]] = r2.nu if r2 else None
        self.ratio_limit: Optional[Estimate[float]] = limit.limit if limit else None
        self.notes: List[List[str]] = [list(p.get("notes", [])) for p in j["points"]]

    def __getattr__(self, name: str) -> Measures:
        if name != "_measures_key" and name == self._measures_key:
            return self.measures
        raise AttributeError(f"'SweepResult' object has no attribute {name!r}")

    def __dir__(self) -> List[str]:
        return _with_key(super().__dir__(), self._measures_key)

    def to_dict(self) -> Dict[str, Any]:
        """The sweep as the command's ``--json`` prints it, as Python objects."""
        return copy.deepcopy(self._dict)

    def to_pandas(self) -> "pandas.DataFrame":
        """The sweep as a pandas DataFrame, one row per N in the order of ``steps``: the
        columns ``steps``, ``seed`` and ``chains``; each estimate's value and its standard
        error as ``rms_R`` and ``rms_R_se`` (likewise ``R2``, ``mean_R``, ``rms_Rg``,
        ``Rg2``, ``ratio``); for a model that counts trials ``trials_mean``, ``trials_max``,
        ``trials_total`` (likewise ``discarded`` and ``backups``) and ``restarts``; then the
        model's measures by name, an estimate again as two columns (its curves left out). A
        sweep over several values of a setting gives every value's rows, value after value,
        with the setting's value as the first column (named as :attr:`varied`), as the
        command's CSV does.

        Needs pandas (Debian's python3-pandas); ``to_dict()`` stays the command's JSON.
        """
        try:
            import pandas
        except ImportError:
            raise ImportError("SweepResult.to_pandas() needs pandas: install python3-pandas "
                              "(or pip install pandas).") from None
        if self.varied is None or len(self.series) < 2:
            return self._frame(pandas)
        frames = []
        for value in self.series:
            frame = value._frame(pandas)
            frame.insert(0, self.varied, value.settings[self.varied])
            frames.append(frame)
        return pandas.concat(frames, ignore_index=True)

    def _frame(self, pandas: Any) -> "pandas.DataFrame":
        # This sweep's own rows.
        columns: Dict[str, Any] = {"steps": self.steps, "seed": self.seeds,
                                   "chains": self.chains}
        for name, _ in _ESTIMATES:
            value, se = getattr(self, name)
            columns[name], columns[f"{name}_se"] = value, se
        for name in _COUNTS:
            counted = getattr(self, name)
            if counted is not None:
                for part, column in zip(("mean", "max", "total"), counted):
                    columns[f"{name}_{part}"] = column
        if self.restarts is not None:
            columns["restarts"] = self.restarts
        for name, value in self.measures.items():
            if isinstance(value, Estimate):
                columns[name], columns[f"{name}_se"] = value.value, value.se
            elif isinstance(value, np.ndarray):
                columns[name] = value
        return pandas.DataFrame(columns)

    def __repr__(self) -> str:
        fit = f"nu = {self.nu:.4f}" if self.nu is not None else "no fit"
        return (f"<polychain.SweepResult {self.model}, N = {self.steps.tolist()}, "
                f"{self.iterations} iterations, seed {self.seed}: {fit}>")
