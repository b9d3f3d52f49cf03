"""What runs, sweeps and samples hand back: numbers with their standard errors, the model's
measures by name, and numpy arrays over the core's buffers."""

import copy
import math
from dataclasses import dataclass
from typing import (Any, Dict, Generic, Iterator, List, Mapping, Optional, Sequence,
                    TypeVar, Union, overload)

import numpy as np
from numpy.typing import NDArray

from ._models import models

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


class Estimate(Generic[V]):
    """A value and its standard error: ``value`` and ``se`` (NaN where there is none, such
    as for a theoretical value, or for the six results of a Markov chain's samples).

    ``float(e)`` is the value, ``value, se = e`` unpacks it, and ``f"{e:.4f}"`` formats both
    as ``"0.5876 +/- 0.0012"``. In a sweep, ``value`` and ``se`` are float64 arrays with one
    entry per N, so that ``plt.errorbar(s.steps, *s.rms_R)`` plots them.
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

    def __iter__(self) -> Iterator[V]:
        return iter((self.value, self.se))

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Estimate):
            return NotImplemented
        return _same(self.value, other.value) and _same(self.se, other.se)

    def __hash__(self) -> int:
        return _key(self.value, self.se)

    def __repr__(self) -> str:
        return f"Estimate(value={self.value!r}, se={self.se!r})"

    def __format__(self, format_spec: str) -> str:
        if isinstance(self.value, np.ndarray):
            return repr(self)
        return f"{format(self.value, format_spec)} +/- {format(self.se, format_spec)}"

    def __reduce__(self) -> Any:
        return (Estimate, (self.value, self.se))


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
#: float64 array (curve); None where the run has none. In a sweep: arrays with one entry per
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


def _measure(kind: str, value: Any) -> MeasureValue:
    if kind == "estimate" and value is not None:
        return Estimate(float(value[0]), float(value[1]))
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


_TEXTS = ("eR", "TR", "Rsqred", "TRsqred", "pers", "Rgtxt")
_ESTIMATES = ("rms_R", "R2", "mean_R", "rms_Rg", "Rg2", "ratio")
_COUNTS = ("trials", "discarded", "backups")


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
        steps: N.
        iterations: the chains grown (a sampler's samples).
        seed: the seed used; pass it back to repeat the run.
        settings: the model's settings that chose its walks, by name.
        texts: the six result texts as the window shows them, in order: ``eR`` (<R>
            calculated), ``TR`` (<R> theoretical), ``Rsqred`` (Sqr<R^2> calculated),
            ``TRsqred`` (Sqr<R^2> theoretical), ``pers`` (lp), ``Rgtxt`` (Rg).
        values: the same six as numbers, keyed like ``texts``, each an :class:`Estimate`
            (its standard error NaN for the theoretical values, and for a sampler's samples).
        rms_R: sqrt(<R^2>), an :class:`Estimate`, as are ``R2`` (<R^2>), ``mean_R`` (``<|R|>``),
            ``rms_Rg`` (sqrt(<Rg^2>)), ``Rg2`` (<Rg^2>) and ``ratio`` (<Rg^2>/<R^2>).
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
            ``gofq``, its transform.
    """

    trials: Optional[Count[float, int]]
    discarded: Optional[Count[float, int]]
    backups: Optional[Count[float, int]]

    def __init__(self, raw: Mapping[str, Any]) -> None:
        j = raw["json"]
        self._dict: Dict[str, Any] = j
        self.model: str = j["model"]
        self.steps: int = j["steps"]
        self.iterations: int = j["iterations"]
        self.seed: int = j["seed"]
        self.settings: Dict[str, Any] = _settings_of(self.model, j)
        self.texts: Dict[str, str] = {name: j["results"][name] for name in _TEXTS}
        self.values: Dict[str, Estimate[float]] = {
            name: Estimate(float(v), float(se)) for name, (v, se) in raw["values"].items()}
        extended = raw["extended"]
        self.chains: int = extended["chains"]
        self.rms_R: Estimate[float] = Estimate(*extended["rms_R"])
        self.R2: Estimate[float] = Estimate(*extended["R2"])
        self.mean_R: Estimate[float] = Estimate(*extended["mean_R"])
        self.rms_Rg: Estimate[float] = Estimate(*extended["rms_Rg"])
        self.Rg2: Estimate[float] = Estimate(*extended["Rg2"])
        self.ratio: Estimate[float] = Estimate(*extended["ratio"])
        for name in _COUNTS:
            counted = extended[name]
            setattr(self, name, Count(*counted) if counted else None)
        self.restarts: Optional[int] = extended["restarts"]
        model = models[self.model]
        self.measures = Measures({m.name: _measure(m.kind, raw["measures"].get(m.name))
                                  for m in model.measures})
        self._measures_key = model.measures_key
        self.chain: NDArray[np.int32] = raw["chain"]
        per_chain = raw.get("per_chain")
        self.per_chain: Optional[PerChain] = PerChain(**per_chain) if per_chain else None
        self.energy: Optional[Energy] = _energy(j.get("energy"))
        self.gofr: Optional[FloatArray] = raw["gofr"]
        self.gofq: Optional[FloatArray] = raw["gofq"]

    def __getattr__(self, name: str) -> Measures:
        if name != "_measures_key" and name == self._measures_key:
            return self.measures
        raise AttributeError(f"'RunResult' object has no attribute {name!r}")

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
        correction: c.
        delta, from_steps, points, chi2_per_dof, acceptable: as for :class:`CorrectedFit`.
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


def _column(points: Sequence[Mapping[str, Any]], kind: str, name: str) -> MeasureValue:
    values = [p["measures"].get(name) for p in points]
    if kind == "estimate":
        return Estimate(np.array([_number(v[0] if v else None) for v in values]),
                        np.array([_number(v[1] if v else None) for v in values]))
    if kind == "count" and all(v is not None for v in values):
        return np.array(values, dtype=np.int64)
    if kind == "curve":
        return values
    return np.array([_number(v) for v in values], dtype=np.float64)


class SweepResult:
    """What :func:`polychain.sweep` returns: one entry per N, in the order of ``steps``.

    Attributes:
        model, iterations, seed: the sweep's (each N's own seed is in ``seeds``).
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
    """

    trials: Optional[Count[FloatArray, IntArray]]
    discarded: Optional[Count[FloatArray, IntArray]]
    backups: Optional[Count[FloatArray, IntArray]]

    def __init__(self, raw: Mapping[str, Any]) -> None:
        j = raw["json"]
        self._dict: Dict[str, Any] = j
        self.model: str = j["model"]
        self.iterations: Optional[int] = j["iterations"]
        self.seed: int = j["seed"]
        self.settings: Dict[str, Any] = _settings_of(self.model, j)
        self.reference: Dict[str, float] = dict(j["reference"])
        points: List[Dict[str, Any]] = raw["points"]
        self.steps: IntArray = np.array([p["steps"] for p in points], dtype=np.int64)
        self.seeds: NDArray[np.uint64] = np.array([p["seed"] for p in points], dtype=np.uint64)
        self.chains: IntArray = np.array([p["chains"] for p in points], dtype=np.int64)

        def estimate(name: str) -> Estimate[FloatArray]:
            return Estimate(np.array([p[name][0] for p in points], dtype=np.float64),
                            np.array([p[name][1] for p in points], dtype=np.float64))

        self.rms_R = estimate("rms_R")
        self.R2 = estimate("R2")
        self.mean_R = estimate("mean_R")
        self.rms_Rg = estimate("rms_Rg")
        self.Rg2 = estimate("Rg2")
        self.ratio = estimate("ratio")
        growth = bool(points) and points[0]["trials"] is not None
        for name in _COUNTS:
            setattr(self, name, Count(
                np.array([p[name][0] for p in points], dtype=np.float64),
                np.array([p[name][1] for p in points], dtype=np.int64),
                np.array([p[name][2] for p in points], dtype=np.int64)) if growth else None)
        self.restarts: Optional[IntArray] = (
            np.array([p["restarts"] for p in points], dtype=np.int64) if growth else None)
        model = models[self.model]
        self.measures = Measures({m.name: _column(points, m.kind, m.name)
                                  for m in model.measures if m.in_sweep})
        self._measures_key = model.measures_key
        fit = raw["fit"]
        self.nu: Optional[Estimate[float]] = None
        self.chi2_per_dof: Optional[float] = None
        self.amplitude: Optional[float] = None
        self.fit_method: Optional[str] = None
        if fit:
            nu, nu_se, self.chi2_per_dof, self.amplitude, self.fit_method, _ = fit
            self.nu = Estimate(nu, nu_se)
        corrected = j.get("corrected_fit") or {}
        r2, rg2 = _corrected(corrected.get("R2")), _corrected(corrected.get("Rg2"))
        limit = _limit(j.get("ratio_limit"))
        self.corrected: Optional[CorrectedFits] = (
            CorrectedFits(r2, rg2, limit) if r2 or rg2 or limit else None)
        self.nu_corrected: Optional[Estimate[float]] = r2.nu if r2 else None
        self.ratio_limit: Optional[Estimate[float]] = limit.limit if limit else None

    def __getattr__(self, name: str) -> Measures:
        if name != "_measures_key" and name == self._measures_key:
            return self.measures
        raise AttributeError(f"'SweepResult' object has no attribute {name!r}")

    def to_dict(self) -> Dict[str, Any]:
        """The sweep as the command's ``--json`` prints it, as Python objects."""
        return copy.deepcopy(self._dict)

    def __repr__(self) -> str:
        fit = f"nu = {self.nu:.4f}" if self.nu is not None else "no fit"
        return (f"<polychain.SweepResult {self.model}, N = {self.steps.tolist()}, "
                f"{self.iterations} iterations, seed {self.seed}: {fit}>")
