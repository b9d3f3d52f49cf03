"""run, sweep and sample: the arguments read as the command reads its options, each model's
settings as keywords from the model table, the core called through polychain._core, and the
results it hands back."""

import math
import operator
import os
import re
import sys
import textwrap
import warnings
from typing import (Any, Callable, Dict, Iterable, List, Literal, Mapping, Optional, Sequence,
                    Union, overload)

import numpy as np
from numpy.typing import NDArray

from . import _core
from ._models import (INT32_MAX, INT64_MAX, Flag, Model, Setting, SettingArgument, Whole,
                      models)
from ._progress import Progress, Reporter
from ._files import Ensemble, place
from ._results import Chains, RunResult, SweepResult

#: The default of ``restart_trapped``, as the command's.
DEFAULT_RESTART_TRAPPED: int = _core.DEFAULT_RESTART_TRAPPED

# The keywords of each call besides the model's settings.
_KEYWORDS = {
    "run": ("seed", "threads", "gofr", "per_chain", "max_trials", "restart_trapped", "progress"),
    "sweep": ("seed", "threads", "max_trials", "restart_trapped", "progress"),
    "sample": ("seed", "threads", "max_trials", "restart_trapped", "progress"),
}


class Error(Exception):
    """The base of polychain's own exceptions. Bad arguments raise ValueError or TypeError,
    a run too big for the memory MemoryError, an interrupt KeyboardInterrupt."""


class TrialLimitError(Error):
    """A chain passed ``max_trials``: the run (or sweep) stopped and returned nothing.

    Attributes:
        chain: the index (from 0) of the chain that passed the cap in its run (its random
            stream is the run's advanced ``chain`` jumps).
        seed: the seed of the run or sweep, to repeat it.
        steps: the N of the run that stopped (None for a sweep).
    """

    def __init__(self, message: str, chain: int, seed: int, steps: Optional[int]) -> None:
        super().__init__(message)
        self.chain = chain
        self.seed = seed
        self.steps = steps


def _option(name: str) -> str:
    return f"{name} (--{name.replace('_', '-')})"


def _whole(value: Any, field: str, least: int, most: int) -> int:
    """`value` as an int from `least` to `most`, read as the command reads its numbers: a
    whole number, or a float rounded to the nearest whole number with halves to even."""
    if isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{field} must be a whole number, not a bool.")
    try:
        whole = operator.index(value)
    except TypeError:
        if not isinstance(value, (float, np.floating)):
            raise TypeError(f"{field} must be a whole number, such as 100; {value!r} is a "
                            f"{type(value).__name__}.") from None
        if not math.isfinite(value):
            raise ValueError(f"{field} must be a number, such as 100 or 2.5; {value!r} is "
                             "not one.") from None
        whole = round(float(value))
    if not least <= whole <= most:
        raise ValueError(f"{field} is out of range: it accepts whole numbers from {least} to "
                         f"{most}.")
    return whole


def _flag(value: Any, field: str) -> bool:
    if not isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{field} must be True or False; {value!r} is a "
                        f"{type(value).__name__}.")
    return bool(value)


def _setting_value(setting: Setting, value: Any) -> Any:
    """A setting's value as the core takes it: a whole number read as the command reads it,
    a real number as a float, a flag as a bool; the core checks the rest."""
    field = f"{setting.name} ({setting.option})"
    if value is None:
        return None
    if setting.kind == "whole":
        return _whole(value, field, int(setting.least), int(setting.most))
    if setting.kind == "real":
        if isinstance(value, (bool, np.bool_)) or not isinstance(
                value, (int, float, np.integer, np.floating)):
            raise TypeError(f"{field} must be a number, such as 0.5; {value!r} is a "
                            f"{type(value).__name__}.")
        return float(value)
    if setting.kind == "flag":
        return _flag(value, field)
    if isinstance(value, np.str_):
        return str(value)
    return value


def _model(model: Any) -> Model:
    if not isinstance(model, str) or model not in models:
        raise ValueError(f"{_option('model')} must be {', '.join(models)}; {model!r} is not "
                         "one.")
    return models[model]


def _unknown(model: Model, call: str, name: str) -> TypeError:
    own = ", ".join(s.name for s in model.settings) or "none"
    return TypeError(f"{call}() got an unexpected keyword argument {name!r}: the settings of "
                     f"the {model.key} model are {own}, and {call}() also takes "
                     f"{', '.join(_KEYWORDS[call])}.")


def _arguments(model: Model, call: str, iterations: int, seed: Any, threads: Any, gofr: Any,
               per_chain: Any, max_trials: Any, restart_trapped: Any,
               given: Mapping[str, Any]) -> Dict[str, Any]:
    """The arguments as the core takes them, the model's settings among them by name."""
    arguments: Dict[str, Any] = dict(
        model=model.key,
        iterations=iterations,
        gofr=_flag(gofr, "gofr"),
        per_chain=_flag(per_chain, "per_chain"),
        seed=None if seed is None else _whole(seed, _option("seed"), 0, 2**64 - 1),
        threads=0 if threads is None else _whole(threads, _option("threads"), 1, 1024),
        max_trials=_whole(max_trials, _option("max_trials"), 0, INT64_MAX),
        restart_trapped=_whole(restart_trapped, _option("restart_trapped"), 0, INT64_MAX),
    )
    for name, value in given.items():
        try:
            setting = model.setting(name)
        except KeyError:
            raise _unknown(model, call, name) from None
        arguments[name] = _setting_value(setting, value)
    return arguments


def _named(error: ValueError, model: Model, fields: Mapping[str, str]) -> ValueError:
    """The core's ValueError with its fields named by the call's keywords: the core's error
    carries the key of the field it is about (``field``, None when it is about none) and its
    reason with each field as {key} (``reason``). A key is named by `fields` where the call
    takes it under another keyword, else as the keyword with its option, "density
    (--density)"."""
    field = getattr(error, "field", None)
    reason = getattr(error, "reason", None)
    if field is None or not isinstance(reason, str):
        return ValueError(str(error))

    def name(key: str) -> str:
        if key in fields:
            return fields[key]
        try:
            setting = model.setting(key)
        except KeyError:
            return _option(key)
        return f"{setting.name} ({setting.option})"

    named = ValueError(re.sub(r"\{([a-z_]+)\}", lambda match: name(match.group(1)), reason))
    named.field = field  # type: ignore[attr-defined]
    return named


_PACKAGE = os.path.dirname(os.path.abspath(__file__))


def _stacklevel() -> int:
    """The stacklevel that makes a warning of the function calling this one point at the
    first line outside the package: the user's call."""
    frame = sys._getframe(1)
    level = 1
    while frame.f_back is not None and os.path.dirname(
            os.path.abspath(frame.f_code.co_filename)) == _PACKAGE:
        frame = frame.f_back
        level += 1
    return level


def _warn(notes: Iterable[str], level: int, where: str = "") -> None:
    """A RuntimeWarning for each note that says something is amiss (those beginning "Note:";
    a note that all is well, such as "Equilibrated: ...", stays in ``notes`` only)."""
    for note in notes:
        if note.startswith("Note:"):
            warnings.warn(where + note, RuntimeWarning, stacklevel=level + 1)


def _stopped(raw: Mapping[str, Any], steps: Optional[int]) -> None:
    if "stopped" in raw:
        raise TrialLimitError(
            f"{raw['stopped']} Chain index {raw['chain']} passed it (seed {raw['seed']}).",
            raw["chain"], raw["seed"], steps)


_FIELDS: Dict[str, str] = {}


def _chains(call: Callable[..., Dict[str, Any]], model: Model, steps: Any, progress: Progress,
            arguments: Dict[str, Any], fields: Mapping[str, str]) -> Dict[str, Any]:
    """Chains of N = `steps` grown by the core's `call` (run or sample), its progress counted
    in the model's iterations; raises what run() documents."""
    n = _whole(steps, _option("steps"), 1, model.max_steps)
    arguments = {**arguments, "warn_level": _stacklevel()}
    with Reporter(progress, model.sample, f"{model.key} N = {n}") as report:
        try:
            raw = call(n, report, **arguments)
        except ValueError as error:
            raise _named(error, model, fields) from None
    _stopped(raw, n)
    return raw


def run(model: str, steps: Whole, iterations: Whole, *, seed: Optional[Whole] = None,
        threads: Optional[Whole] = None, gofr: Flag = False, per_chain: Flag = False,
        max_trials: Whole = 0, restart_trapped: Whole = DEFAULT_RESTART_TRAPPED,
        progress: Progress = None, **settings: SettingArgument) -> RunResult:
    # The docstring is made from the model table below.
    model_info = _model(model)
    raw = _chains(_core.run, model_info, steps, progress,
                  _arguments(model_info, "run",
                             _whole(iterations, _option("iterations"), 1, INT32_MAX), seed,
                             threads, gofr, per_chain, max_trials, restart_trapped, settings),
                  _FIELDS)
    result = RunResult(raw)
    _warn(result.notes, _stacklevel())
    return result


def sweep(model: str, steps: Iterable[Whole], iterations: Whole, *,
          seed: Optional[Whole] = None, threads: Optional[Whole] = None, max_trials: Whole = 0,
          restart_trapped: Whole = DEFAULT_RESTART_TRAPPED, progress: Progress = None,
          **settings: Union[SettingArgument, Sequence[SettingArgument]]) -> SweepResult:
    """Runs `model` at every N in `steps`, in that order, and fits nu in
    sqrt(<R^2>) ~ N^nu by weighted least squares on the logarithms; returns a
    :class:`SweepResult`.

    The same sweep as ``polychain sweep --model MODEL --steps N1,N2,... --iterations I``;
    its ``to_dict()`` is what the command's ``--json`` prints. The run at position k of the
    list has seed SplitMix64 output k + 1 of the sweep's seed (``SweepResult.seeds``), so any
    single N can be repeated with :func:`run`.

    Args:
        model: a key of :data:`polychain.models`.
        steps: the N, each from 1 to the model's ``max_steps``, at least two of them
            distinct.
        iterations: chains (samples) at each N.
        progress: None, True for a tqdm bar, or a callable ``progress(done, total)``, where
            total is the chain steps of the whole sweep (iterations times the sum of N).
        settings: the model's settings, as for :func:`run`. One real setting may be given a
            list of values (``contact_energy=[-0.22, -0.269, -0.32]``): the N are swept for
            each value in turn, and ``SweepResult.series`` holds every value's sweep (the
            one returned is the first). The value at position v has the sweep seed's
            SplitMix64 state after v * len(steps) outputs, so its N take the outputs that
            follow those of the earlier values and each value's sweep repeats alone.

    The other arguments, the exceptions and the GIL are as for :func:`run`.
    """
    model_info = _model(model)
    given = dict(settings)
    # A setting of the model given several values: the one this sweep varies besides N.
    known = {s.name for s in model_info.settings}
    lists = [name for name, value in given.items()
             if name in known and isinstance(value, (list, tuple, np.ndarray))]
    values: List[Any] = [given.pop(name) for name in lists]
    arguments = _arguments(model_info, "sweep",
                           _whole(iterations, _option("iterations"), 1, INT32_MAX), seed,
                           threads, False, False, max_trials, restart_trapped, given)
    del arguments["per_chain"]
    if isinstance(steps, (str, bytes)):
        raise TypeError(f"{_option('steps')} must be a sequence of step counts, such as "
                        "[100, 200, 400, 800].")
    try:
        items = list(steps)
    except TypeError:
        raise TypeError(f"{_option('steps')} must be a sequence of step counts, such as "
                        "[100, 200, 400, 800].") from None
    ns = [_whole(n, _option("steps"), 1, model_info.max_steps) for n in items]
    arguments["warn_level"] = _stacklevel()
    if not lists:
        return _sweep_once(model_info, ns, arguments, progress)
    name = lists[-1]
    setting = model_info.setting(name)
    if len(lists) > 1 or setting.kind != "real":
        raise TypeError(f"a sweep varies one real setting besides N; {setting.name} "
                        f"({setting.option}) takes one value.")
    varied = [_setting_value(setting, value) for value in values[0]]
    if not varied:
        raise ValueError(f"{setting.name} ({setting.option}) needs at least one value.")
    # Every value is checked before the first one's sweep runs.
    for value in varied:
        try:
            _core.check_sweep(ns, **{**arguments, name: value})
        except ValueError as error:
            raise _named(error, model_info, _FIELDS) from None
    series: List[SweepResult] = []
    for index, value in enumerate(varied):
        arguments[name] = value
        if index > 0:
            arguments["seed"] = _core.sweep_series_seed(series[0].seed, index, len(ns))
        series.append(_sweep_once(model_info, ns, arguments, progress, f"{name} = {value}, "))
    for one in series:
        one.varied = name
        one.series = series
    return series[0]


def _sweep_once(model_info: Model, ns: List[int], arguments: Dict[str, Any],
                progress: Progress, where: str = "") -> SweepResult:
    """One sweep of the core over `ns`, its notes warned of."""
    with Reporter(progress, "step", f"{model_info.key} sweep") as report:
        try:
            raw = _core.sweep(ns, report, **arguments)
        except ValueError as error:
            raise _named(error, model_info, _FIELDS) from None
    _stopped(raw, None)
    result = SweepResult(raw)
    for n, notes in zip(result.steps.tolist(), result.notes):
        _warn(notes, _stacklevel(), f"{where}N = {n}: ")
    return result


def _sampled(call: str, model: str, steps: Whole, count: Whole, seed: Optional[Whole],
             threads: Optional[Whole], max_trials: Whole, restart_trapped: Whole,
             progress: Progress, settings: Dict[str, SettingArgument]) -> Dict[str, Any]:
    """The core's sample of `count` chains (or of a sample of `count` chains, for a model whose
    sample holds many), its arguments read as the command reads them."""
    model_info = _model(model)
    fields = dict(_FIELDS)
    counted = model_info.sample_count
    if counted is None:
        iterations = _whole(count, "count (--chains)", 1, INT32_MAX)
        fields["iterations"] = "count (--chains)"
    else:
        if counted in settings:
            raise TypeError(f"{call}() got {counted!r} twice: the count of a {model_info.key} "
                            f"sample is its {counted} setting.")
        setting = model_info.setting(counted)
        settings = {**settings, counted: _whole(count, "count (--chains)",
                                                int(setting.least), int(setting.most))}
        fields[counted] = "count (--chains)"
        iterations = model_info.sample_iterations
    return _chains(_core.sample, model_info, steps, progress,
                   _arguments(model_info, "sample", iterations, seed, threads, False, False,
                              max_trials, restart_trapped, settings), fields)


@overload
def sample(model: Literal["short-range"], steps: Whole,  # type: ignore[misc]
           count: Whole, *, seed: Optional[Whole] = None, threads: Optional[Whole] = None,
           max_trials: Whole = 0, restart_trapped: Whole = DEFAULT_RESTART_TRAPPED,
           progress: Progress = None, **settings: SettingArgument) -> Chains: ...


@overload
def sample(model: str, steps: Whole, count: Whole, *, seed: Optional[Whole] = None,
           threads: Optional[Whole] = None, max_trials: Whole = 0,
           restart_trapped: Whole = DEFAULT_RESTART_TRAPPED, progress: Progress = None,
           **settings: SettingArgument) -> NDArray[np.int32]: ...


def sample(model: str, steps: Whole, count: Whole, *, seed: Optional[Whole] = None,
           threads: Optional[Whole] = None, max_trials: Whole = 0,
           restart_trapped: Whole = DEFAULT_RESTART_TRAPPED, progress: Progress = None,
           **settings: SettingArgument) -> Union[NDArray[np.int32], Chains]:
    """Grows `count` independent chains of N = `steps` steps of `model` and returns them,
    origin first.

    For every model whose chains hold N + 1 sites, the result is one int32 array of shape
    (count, N + 1, 3): every chain of a growth run (chain i is the chain :func:`run` grows as
    its i-th, whatever the thread count), or `count` samples of a sampler. The short-range
    walk counts the origin among its N sites and loses one site per back-up, so its chains
    differ in length: for it the result is a :class:`Chains`, one int32 array of all the
    sites, (sites, 3), with the offsets of the chains (``chains[c]`` is chain c). Either way
    the sites are the core's own buffer, not a copy.

    For a model whose one sample holds many chains (:attr:`Model.sample_count` names the
    setting), `count` is that setting and the result holds those chains.

    The memory all the chains take is checked before anything runs (MemoryError). The
    other arguments, the exceptions and the GIL are as for :func:`run`; `progress` counts
    chains. :func:`place` and :func:`write` put them in a box and write them for simulation
    engines and viewers, as ``polychain sample`` does.
    """
    raw = _sampled("sample", model, steps, count, seed, threads, max_trials, restart_trapped,
                   progress, settings)
    sites: NDArray[np.int32] = raw["sites"]
    starts: NDArray[np.int64] = raw["starts"]
    if not raw["uniform"]:
        return Chains(sites, starts)
    chains = int(raw["count"])
    return sites.reshape(chains, len(sites) // chains if chains else 0, 3)


def ensemble(model: str, steps: Whole, count: Whole, *, box: Optional[Whole] = None,
             seed: Optional[Whole] = None, threads: Optional[Whole] = None,
             max_trials: Whole = 0, restart_trapped: Whole = DEFAULT_RESTART_TRAPPED,
             progress: Progress = None, **settings: SettingArgument) -> Ensemble:
    """The chains ``polychain sample`` writes, as an :class:`Ensemble` that :func:`write`
    writes to the command's very bytes: :func:`sample`'s chains placed by :func:`place` with
    the same seed (in a periodic box of side `box`, or laid side by side without one), or, for
    a model whose sample sits in a box of its own (the melt), that box with its walls, the
    chains wrapped into it. For such a model `box` is the model's own setting (its box side,
    instead of its density).

    ``polychain.write("m", polychain.ensemble("melt", 100, 50, density=0.5, seed=S))`` writes
    the ``m.gsd`` of ``polychain sample --model melt --steps 100 --chains 50 --density 0.5
    --seed S --export m``.

    The arguments and exceptions are those of :func:`sample` and :func:`place`.
    """
    model_info = _model(model)
    boxed = model_info.sample_count is not None and any(
        s.name == "box" for s in model_info.settings)
    if boxed and box is not None:
        settings = {**settings, "box": box}
    raw = _sampled("ensemble", model, steps, count, seed, threads, max_trials, restart_trapped,
                   progress, settings)
    starts: NDArray[np.int64] = raw["starts"]
    own = raw.get("box")
    if own is not None:
        x, y, z = (bool(p) for p in own["periodic"])
        placed = _core.place(raw["sites"], starts, int(own["side"]), int(raw["seed"]), True,
                             (x, y, z))
        return Ensemble(placed["sites"], placed["images"], starts, int(placed["box"]),
                        int(raw["seed"]), True, (x, y, z))
    chains = Chains(raw["sites"], starts)
    return place(chains, box=box, seed=int(raw["seed"]),
                 self_avoiding=model_info.self_avoiding)


def _settings_text(model: Model) -> List[str]:
    """The model's entry in run's docstring: a definition list item of reST."""
    lines = [f"``{model.key}``"]
    lines += textwrap.wrap(model.description, 88, initial_indent="    ",
                           subsequent_indent="    ")
    lines.append("")
    if not model.settings:
        lines += ["    No settings of its own.", ""]
    for s in model.settings:
        default = "worked out by the run" if s.default is None else repr(s.default)
        text = f"``{s.name}`` ({s.kind}): {s.help}. Accepts {s.accepts}; default {default}."
        lines += textwrap.wrap(text, 88, initial_indent="    - ", subsequent_indent="      ")
    if model.settings:
        lines.append("")
    return lines


_RUN_DOC = """Grows `iterations` chains of N = `steps` steps of `model` and returns a
:class:`RunResult`.

The same run as ``polychain run --model MODEL --steps N --iterations I ...``, with the same
numbers for the same seed on any number of threads; its ``to_dict()`` is what the command's
``--json`` prints.

Args:
    model: a key of :data:`polychain.models` (listed below).
    steps: N, from 1 to the model's ``max_steps``.
    iterations: chains to grow, 1 to 2147483647; for a sampler, samples.
    seed: 0 to 2**64 - 1; None takes one from the clock (the result says which).
    threads: 1 to 1024; None uses all the machine offers.
    gofr: also compute g(r) and g(q) of the last chain (a bool).
    per_chain: also keep each chain's R, R^2 and Rg^2 (``result.per_chain``), a few numbers
        a chain, without holding the chains (a bool).
    max_trials: stop with :class:`TrialLimitError` when a chain passes this many trials; 0,
        no cap (set one where a chain could be trapped).
    restart_trapped: for a model that counts trials, regrow a chain from the origin after
        this many trials without growing longer; 0 never regrows.
    progress: None, True for a tqdm bar (a widget in a notebook where the widgets work), or
        a callable ``progress(done, total)`` of chains, called on this thread a few times a
        second at most.
    settings: the model's own settings by name (below); a keyword the model does not read
        is a TypeError.

Numbers are read as the command reads them: ints, or floats rounded to the nearest whole
number with halves to even. Flags take a bool only.

Raises:
    ValueError: a bad argument, naming the parameter and what it accepts.
    TypeError: an argument of the wrong type, or a setting the model does not read.
    MemoryError: before anything runs, when the run would need more memory than the machine
        can give (or when it ran out while running).
    TrialLimitError: a chain passed ``max_trials``.
    KeyboardInterrupt: on Ctrl-C or a notebook's interrupt, within a fraction of a second;
        nothing is returned.

The GIL is released while the chains grow, so other Python threads (and other runs) go on
meanwhile.

The models and their settings:

"""

run.__doc__ = _RUN_DOC + "\n".join(
    line for model in models.values() for line in _settings_text(model))
