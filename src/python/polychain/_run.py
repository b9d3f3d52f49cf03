"""run, sweep and sample: the arguments read as the command reads its options, the core
called through polychain._core, and the results it hands back."""

import copy
import math
import operator
from types import SimpleNamespace
from typing import NamedTuple, Optional

import numpy as np

from . import _core
from ._models import INT32_MAX, INT64_MAX, models

# The settings' defaults, as the command's.
DEFAULT_RESTART_TRAPPED = models["saw"].setting("restart_trapped").default
DEFAULT_PIVOTS_PER_SAMPLE = models["pivot"].setting("pivots_per_sample").default
DEFAULT_WALKERS = models["pivot"].setting("walkers").default


class Error(Exception):
    """The base of polychain's own exceptions. Bad arguments raise ValueError or TypeError,
    a run too big for the memory MemoryError, an interrupt KeyboardInterrupt."""


class TrialLimitError(Error):
    """A chain passed `max_trials`: the run (or sweep) stopped and returned nothing.

    Attributes: `chain`, the index (from 0) of the chain that passed the cap in its run (its
    random stream is the run's advanced `chain` jumps); `seed`, the seed of the run or
    sweep, to repeat it; `steps`, the N of the run that stopped."""

    def __init__(self, message, chain, seed, steps):
        super().__init__(message)
        self.chain = chain
        self.seed = seed
        self.steps = steps


class Estimate(NamedTuple):
    """A mean over chains and its standard error (NaN where there is none)."""

    value: float
    se: float


class Count(NamedTuple):
    """A per-chain count of the self-avoiding models: its mean, largest value and sum."""

    mean: float
    max: int
    total: int


class PivotStats(NamedTuple):
    """The Markov chains of a pivot run: walkers, the settings used, attempted and accepted
    pivots, the acceptance, and the integrated autocorrelation times of R^2 and Rg^2 between
    successive samples (1/2 for independent samples)."""

    walkers: int
    pivots_per_sample: int
    burn_in: int
    attempts: int
    accepted: int
    acceptance: float
    tau_R2: float
    tau_Rg2: float


_TEXTS = ("eR", "TR", "Rsqred", "TRsqred", "pers", "Rgtxt")
_ESTIMATES = ("rms_R", "R2", "mean_R", "rms_Rg", "Rg2", "ratio")
_COUNTS = ("trials", "discarded", "backups")


class RunResult:
    """What one run returns.

    - `model`, `steps`, `iterations`, `seed` (the seed used: pass it back to repeat the run),
      `avoid` (saw) or `kuhn` (short-range), else None.
    - `texts`: the six result texts by the window's control names, in order: eR (<R>
      calculated), TR (<R> theoretical), Rsqred (Sqr<R^2> calculated), TRsqred (Sqr<R^2>
      theoretical), pers (lp), Rgtxt (Rg).
    - The extended statistics, each an Estimate (value, se): `rms_R` sqrt(<R^2>), `R2`
      <R^2>, `mean_R` <|R|>, `rms_Rg` sqrt(<Rg^2>), `Rg2` <Rg^2>, `ratio` <Rg^2>/<R^2>;
      `chains`, the chains (or samples) they are over.
    - The self-avoiding models: `trials`, `discarded`, `backups` (Count) and `restarts`;
      None for the others.
    - The pivot model: `pivot` (PivotStats); None for the others.
    - `chain`: the last chain's sites, origin first, as an int32 array of shape (N + 1, 3),
      or (N, 3) for short-range, whose N sites are N - 1 steps of K: the sites of the
      command's .cdat export. It owns the core's buffer; nothing was copied.
    - `gofr`, `gofq`: g(r) and g(q) of the last chain as float64 arrays when the run was
      asked for them (gofr=True), else None.
    - `to_dict()`: what `polychain run ... --json` prints for the same run, as Python objects.
    """

    def __init__(self, raw):
        j = raw["json"]
        self._dict = j
        self.model = j["model"]
        self.steps = j["steps"]
        self.iterations = j["iterations"]
        self.seed = j["seed"]
        self.avoid = j.get("avoid")
        self.kuhn = j.get("kuhn")
        self.texts = {name: j["results"][name] for name in _TEXTS}
        extended = raw["extended"]
        self.chains = extended["chains"]
        for name in _ESTIMATES:
            setattr(self, name, Estimate(*extended[name]))
        for name in _COUNTS:
            setattr(self, name, Count(*extended[name]) if extended[name] else None)
        self.restarts = extended["restarts"]
        self.measures = dict(raw["measures"])
        key = models[self.model].measures_key
        self.pivot = None
        if key:
            setattr(self, key, SimpleNamespace(**self.measures))
        self.chain = raw["chain"]
        self.gofr = raw["gofr"]
        self.gofq = raw["gofq"]

    def to_dict(self):
        """The run as the command's --json prints it: a new dict of dicts, lists, str, int,
        float and None (null for an absent standard error)."""
        return copy.deepcopy(self._dict)

    def __repr__(self):
        return (f"<polychain.RunResult {self.model}, N = {self.steps}, {self.iterations} "
                f"iterations, seed {self.seed}: sqrt(<R^2>) = {self.rms_R.value:.6g} +/- "
                f"{self.rms_R.se:.2g}>")


class SweepResult:
    """What a sweep returns: one entry per N, in the order of `steps`, as numpy arrays.

    - `model`, `iterations`, `seed` (the sweep's; each N's own seed is in `seeds`), `avoid`
      or `kuhn`.
    - `steps` (N), `seeds`, `chains`, and for each statistic its values and standard errors:
      `R2`, `R2_se`, `rms_R`, `rms_R_se`, `mean_R`, `mean_R_se`, `Rg2`, `Rg2_se`, `rms_Rg`,
      `rms_Rg_se`, `ratio`, `ratio_se` (the columns of the command's --csv); for the
      self-avoiding models also `trials_mean`, `trials_max`, `discarded_mean`,
      `discarded_max`, `backups_mean`, `backups_max`, `restarts`.
    - The fit of sqrt(<R^2>) ~ amplitude * N^nu: `nu`, `nu_se`, `chi2_per_dof`, `amplitude`,
      `fit_method` ("weighted" or "ordinary"); all None when the points could not be fitted.
    - The fits with a correction to scaling, <X> = A N^(2 nu) (1 + b N^-Delta), of <R^2> and
      <Rg^2> (the smallest N dropped until chi^2 is acceptable): `nu_corrected` and
      `nu_corrected_se` from <R^2>, and `corrected` with both fits whole as dicts (nu,
      amplitude, correction with their errors, delta, from_steps, points, chi2_per_dof);
      `ratio_limit`, the large-N limit of <Rg^2>/<R^2> with its error. None where a sweep
      has too few N to fit them.
    - `reference`: the reference exponents, {"ideal_chain": 0.5, "self_avoiding_walk": ...}.
    - `to_dict()`: what `polychain sweep ... --json` prints for the same sweep.
    """

    def __init__(self, raw):
        j = raw["json"]
        self._dict = j
        self.model = j["model"]
        self.iterations = j["iterations"]
        self.seed = j["seed"]
        self.avoid = j.get("avoid")
        self.kuhn = j.get("kuhn")
        self.reference = dict(j["reference"])
        points = raw["points"]
        self.steps = np.array([p["steps"] for p in points], dtype=np.int64)
        self.seeds = np.array([p["seed"] for p in points], dtype=np.uint64)
        self.chains = np.array([p["chains"] for p in points], dtype=np.int64)
        for name in _ESTIMATES:
            setattr(self, name, np.array([p[name][0] for p in points], dtype=np.float64))
            setattr(self, name + "_se", np.array([p[name][1] for p in points], dtype=np.float64))
        growth = bool(points) and points[0]["trials"] is not None
        for name in _COUNTS:
            mean = np.array([p[name][0] for p in points], dtype=np.float64) if growth else None
            most = np.array([p[name][1] for p in points], dtype=np.int64) if growth else None
            setattr(self, name + "_mean", mean)
            setattr(self, name + "_max", most)
        self.restarts = (np.array([p["restarts"] for p in points], dtype=np.int64)
                         if growth else None)
        fit = raw["fit"]
        (self.nu, self.nu_se, self.chi2_per_dof, self.amplitude, self.fit_method,
         _points) = fit if fit else (None,) * 6
        self.corrected = copy.deepcopy(j.get("corrected_fit"))
        r2 = (self.corrected or {}).get("R2")
        self.nu_corrected = r2["nu"] if r2 else None
        self.nu_corrected_se = r2["nu_se"] if r2 else None
        limit = j.get("ratio_limit")
        self.ratio_limit = (limit["limit"], limit["limit_se"]) if limit else None

    def to_dict(self):
        """The sweep as the command's --json prints it, as Python objects."""
        return copy.deepcopy(self._dict)

    def __repr__(self):
        fit = (f"nu = {self.nu:.4f} +/- {self.nu_se:.2g}" if self.nu is not None
               else "no fit")
        return (f"<polychain.SweepResult {self.model}, N = {list(self.steps)}, "
                f"{self.iterations} iterations, seed {self.seed}: {fit}>")


def _option(name):
    return f"{name} (--{name.replace('_', '-')})"


def _whole(value, name, least, most):
    """`value` as an int from `least` to `most`, read as the command reads its numbers:
    a whole number, or a float rounded to the nearest whole number with halves to even."""
    if isinstance(value, bool):
        raise TypeError(f"{_option(name)} must be a whole number, not a bool.")
    try:
        whole = operator.index(value)
    except TypeError:
        if not isinstance(value, (float, np.floating)):
            raise TypeError(f"{_option(name)} must be a whole number, such as 100; "
                            f"{value!r} is a {type(value).__name__}.") from None
        if not math.isfinite(value):
            raise ValueError(f"{_option(name)} must be a number, such as 100 or 2.5; "
                             f"{value!r} is not one.") from None
        whole = round(float(value))
    if not least <= whole <= most:
        raise ValueError(f"{_option(name)} is out of range: it accepts whole numbers from "
                         f"{least} to {most}.")
    return whole


# The fields the core's checks name, and the parameters they are.
_FIELDS = (("Steps (N)", "steps"), ("Iterations", "iterations"), ("Kuhn Length", "kuhn"),
           ("Pivots per sample", "pivots_per_sample"), ("Walkers", "walkers"),
           ("Burn-in", "burn_in"), ("steps", "steps"))


def _named(error):
    """The core's ValueError with the parameter it is about named in front."""
    message = str(error)
    for field, name in _FIELDS:
        if message.startswith(field):
            return ValueError(f"{_option(name)}: {message}")
    return ValueError(message)


def _settings(model, iterations, seed, threads, gofr, max_trials, restart_trapped, given):
    """The arguments as the core takes them: `given` holds the model settings by keyword,
    of which only the chosen model's are read (as the command reads only its options)."""
    if model not in models:
        raise ValueError(f"{_option('model')} must be {', '.join(models)}; {model!r} is not "
                         "one.")
    settings = dict(
        model=model,
        iterations=_whole(iterations, "iterations", 1, INT32_MAX),
        gofr=bool(gofr),
        seed=None if seed is None else _whole(seed, "seed", 0, 2**64 - 1),
        threads=0 if threads is None else _whole(threads, "threads", 1, 1024),
        max_trials=_whole(max_trials, "max_trials", 0, INT64_MAX),
        restart_trapped=_whole(restart_trapped, "restart_trapped", 0, INT64_MAX),
    )
    for setting in models[model].settings:
        if setting.name not in given:
            continue
        value = given[setting.name]
        if value is not None and setting.kind == "whole":
            value = _whole(value, setting.name, setting.least, setting.most)
        settings[setting.name] = value
    return settings


class _Progress:
    """The progress argument as a callable (done, total) for the core, or None; True gives a
    tqdm bar (tqdm.auto: a widget in a notebook, text in a terminal)."""

    def __init__(self, progress, unit, description):
        self.bar = None
        self.report = None
        if progress is None or progress is False:
            return
        if progress is True:
            from tqdm.auto import tqdm

            self.bar = tqdm(total=None, unit=unit, desc=description)
            self.report = self._update
        elif callable(progress):
            self.report = progress
        else:
            raise TypeError("progress must be None, True (a tqdm bar) or a callable "
                            f"(done, total); {progress!r} is none of them.")

    def _update(self, done, total):
        if self.bar.total != total:
            self.bar.total = total
        self.bar.n = done
        self.bar.refresh()

    def __enter__(self):
        return self.report

    def __exit__(self, *exc):
        if self.bar is not None:
            self.bar.close()


def _stopped(raw, steps):
    if "stopped" not in raw:
        return
    raise TrialLimitError(
        f"{raw['stopped']} Chain index {raw['chain']} passed it (seed {raw['seed']}).",
        raw["chain"], raw["seed"], steps)


def _chains(call, model, steps, progress, settings):
    """Chains of N = `steps` grown by the core's `call` (run or sample) with `settings`, its
    progress counted in chains (samples for a sampler); raises what run() documents."""
    n = _whole(steps, "steps", -INT32_MAX - 1, INT32_MAX)
    unit = "sample" if models[model].sampler else "chain"
    with _Progress(progress, unit, f"{model} N = {n}") as report:
        try:
            raw = call(n, report, **settings)
        except ValueError as error:
            raise _named(error) from None
    _stopped(raw, n)
    return raw


def run(model, steps, iterations, *, seed=None, threads=None, gofr=False, avoid=1, kuhn=1,
        pivots_per_sample=DEFAULT_PIVOTS_PER_SAMPLE, burn_in=None, walkers=DEFAULT_WALKERS,
        max_trials=0, restart_trapped=DEFAULT_RESTART_TRAPPED, progress=None):
    """Grows `iterations` chains of N = `steps` steps of `model` and returns a RunResult.

    The same run as `polychain run --model MODEL --steps N --iterations I ...`, with the
    same numbers for the same seed on any number of threads; its to_dict() is what the
    command's --json prints.

    model              "meander", "saw", "short-range" or "pivot" (see polychain.models)
    steps              N, at least 1 (for pivot at most 67108862)
    iterations         chains to grow, at least 1; for pivot, samples
    seed               0 to 2**64 - 1; None: from the clock (the result says which)
    threads            1 to 1024; None: all the machine offers
    gofr               also compute g(r) and g(q) of the last chain
    avoid              saw: self-avoidance range (1; 2 or 3 add a zone around old sites)
    kuhn               short-range: Kuhn length K, not 0, |K| (N - 1) at most 2147483647
    pivots_per_sample  pivot: attempted pivots between samples (1000)
    burn_in            pivot: attempted pivots before the first sample (None: N, at least
                       10000)
    walkers            pivot: independent Markov chains sharing the samples, 1 to 1000000
    max_trials         stop with TrialLimitError when a chain passes this many trials; 0:
                       no cap (set one where a chain could be trapped, such as avoid=3)
    restart_trapped    saw, short-range: regrow a chain from the origin after this many
                       trials without growing longer, and a saw chain without a zone as
                       soon as it is closed in for good; 0: never
    progress           None, True for a tqdm bar, or a callable progress(done, total) of
                       chains, called on this thread a few times a second at most

    Numbers are read as the command reads them: ints, or floats rounded to the nearest
    whole number with halves to even. Settings of other models are not read.

    Raises ValueError naming the parameter and what it accepts; MemoryError, before anything
    runs, when the run would need more memory than the machine can give (or when it ran out
    while running); TrialLimitError when a chain passed max_trials; KeyboardInterrupt on
    Ctrl-C or a notebook's interrupt, within a fraction of a second, nothing returned.
    The GIL is released while the chains grow, so other Python threads (and other runs)
    go on meanwhile.
    """
    raw = _chains(_core.run, model, steps, progress,
                  _settings(model, iterations, seed, threads, gofr, max_trials, restart_trapped,
                            dict(avoid=avoid, kuhn=kuhn, pivots_per_sample=pivots_per_sample,
                                 burn_in=burn_in, walkers=walkers)))
    return RunResult(raw)


def sweep(model, steps, iterations, *, seed=None, threads=None, avoid=1, kuhn=1,
          pivots_per_sample=DEFAULT_PIVOTS_PER_SAMPLE, burn_in=None, walkers=DEFAULT_WALKERS,
          max_trials=0, restart_trapped=DEFAULT_RESTART_TRAPPED, progress=None):
    """Runs `model` at every N in `steps`, in that order, and fits nu in
    sqrt(<R^2>) ~ N^nu by weighted least squares on the logarithms; returns a SweepResult.

    The same sweep as `polychain sweep --model MODEL --steps N1,N2,... --iterations I ...`;
    its to_dict() is what the command's --json prints. The run at position k of the list
    has seed SplitMix64 output k + 1 of the sweep's seed (SweepResult.seeds), so any single
    N can be repeated with polychain.run.

    steps     a sequence of N, each at least 1, at least two of them distinct
    progress  None, True for a tqdm bar, or a callable progress(done, total), where total
              is the chain steps of the whole sweep (iterations times the sum of N)
    The other arguments, the exceptions and the GIL are as for polychain.run.
    """
    settings = _settings(model, iterations, seed, threads, False, max_trials, restart_trapped,
                         dict(avoid=avoid, kuhn=kuhn, pivots_per_sample=pivots_per_sample,
                              burn_in=burn_in, walkers=walkers))
    try:
        items = list(steps)
    except TypeError:
        raise TypeError(f"{_option('steps')} must be a sequence of step counts, such as "
                        "[100, 200, 400, 800].") from None
    ns = [_whole(n, "steps", -INT32_MAX - 1, INT32_MAX) for n in items]
    with _Progress(progress, "step", f"{model} sweep") as report:
        try:
            raw = _core.sweep(ns, report, **settings)
        except ValueError as error:
            raise _named(error) from None
    if "stopped" in raw:
        _stopped(raw, None)
    return SweepResult(raw)


def sample(model, steps, count, *, seed=None, threads=None, avoid=1, kuhn=1,
           pivots_per_sample=DEFAULT_PIVOTS_PER_SAMPLE, burn_in=None,
           walkers=DEFAULT_WALKERS, max_trials=0, restart_trapped=DEFAULT_RESTART_TRAPPED,
           progress=None):
    """Grows `count` independent chains of N = `steps` steps of `model` and returns them as
    an int32 array of shape (count, N + 1, 3), origin first: every chain of a growth run
    (chain i is the chain polychain.run grows as its i-th, whatever the thread count), or
    `count` samples of the pivot model. The array is the core's own buffer, not a copy. The
    short-range walk counts the origin among its N sites and loses one site per back-up, so
    its chains differ in length: for it the result is a list of (sites, 3) arrays.

    The memory all the chains take is checked before anything runs (MemoryError). The
    other arguments, the exceptions and the GIL are as for polychain.run; `progress` counts
    chains. `polychain sample` writes the same chains, placed in a box, for simulation
    engines and viewers.
    """
    raw = _chains(_core.sample, model, steps, progress,
                  _settings(model, count, seed, threads, False, max_trials, restart_trapped,
                            dict(avoid=avoid, kuhn=kuhn, pivots_per_sample=pivots_per_sample,
                                 burn_in=burn_in, walkers=walkers)))
    return raw["chains"]
