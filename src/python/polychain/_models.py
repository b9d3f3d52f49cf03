"""The table of chain models as the core declares it: what exists, the settings each reads
(their kinds, defaults and what they accept) and what each measures beyond the common
statistics. Everything else in the package is written from this table."""

from dataclasses import dataclass
from typing import Any, Dict, Mapping, Optional, Tuple, Union

import numpy as np

from . import _core

INT32_MAX = 2**31 - 1
INT64_MAX = 2**63 - 1

#: A whole number as the calls take it: an int or a numpy integer (a float is rounded).
Whole = Union[int, "np.integer[Any]"]
#: A flag as the calls take it: a bool or a numpy bool.
Flag = Union[bool, "np.bool_"]
#: A value of a setting: an int (whole), a float (real), a str (choice) or a bool (flag).
SettingValue = Union[int, float, str, bool]
#: A setting as the calls take it: a SettingValue or the numpy number of its kind.
SettingArgument = Union[SettingValue, "np.integer[Any]", "np.floating[Any]", "np.bool_"]


@dataclass(frozen=True)
class Setting:
    """One setting of a model.

    Attributes:
        name: its keyword in :func:`polychain.run`, :func:`~polychain.sweep` and
            :func:`~polychain.sample`, and its key in ``to_dict()``.
        option: the command's option, such as ``--avoid``.
        caption: the window's name for it.
        kind: ``"whole"`` (an int from ``least`` to ``most``), ``"real"`` (a float from
            ``least`` to ``most``, ``least`` itself only when ``least_included``),
            ``"choice"`` (one of the words ``choices``) or ``"flag"`` (a bool).
        default: the value a run takes when it is not given; None where the run works it
            out (``help`` says how).
        accepts: what it accepts, as the messages word it, such as
            "whole numbers from 0 to 3".
        help: what it does.
        physical: True when it changes which walks are sampled, False when only how.
    """

    name: str
    option: str
    caption: str
    kind: str
    default: Optional[SettingValue]
    accepts: str
    least: Union[int, float]
    most: Union[int, float]
    least_included: bool
    choices: Tuple[str, ...]
    help: str
    physical: bool


@dataclass(frozen=True)
class Measure:
    """One quantity a model measures beyond the common statistics.

    Attributes:
        name: its key in ``result.measures`` (and the sweep's column).
        caption: its short name in the texts.
        unit: such as ``"attempts"``; empty for a pure number.
        kind: ``"count"`` (an int), ``"number"`` (a float), ``"estimate"`` (an
            :class:`~polychain.Estimate`) or ``"curve"`` (a float64 array of its values at
            1, 2, ..., or a :class:`~polychain.Curve` of its values at its own n).
        in_sweep: measured for every N of a sweep.
    """

    name: str
    caption: str
    unit: str
    kind: str
    in_sweep: bool


@dataclass(frozen=True)
class Model:
    """One chain model of the table.

    Attributes:
        key: the ``model`` argument (the command's ``--model``).
        caption: its caption in the window.
        title: its short name in texts.
        description: what it grows or samples.
        sampler: True for a Markov chain of walks (its iterations are samples), False for a
            model that grows independent chains.
        sample: what one of its iterations is called, such as ``"chain"`` or ``"sample"``;
            ``samples`` the plural.
        self_avoiding: no site of a finished chain is taken twice.
        counts_trials: it reports trials and regrows trapped chains (``max_trials`` and
            ``restart_trapped`` apply to it).
        max_steps: the longest N it takes.
        settings: the settings it reads besides steps and iterations.
        measures: what it measures beyond the common statistics.
        measures_key: the attribute (and ``to_dict()`` key) its measures go under too, such
            as ``"pivot"``; empty when it has none.
        sample_count: the setting that :func:`polychain.sample`'s count sets, for a model
            whose one sample holds many chains; None when the count is of samples.
        sample_iterations: for such a model, the samples a sample call takes, of which it
            keeps the last (the others give its measures their errors).
    """

    key: str
    caption: str
    title: str
    description: str
    sampler: bool
    sample: str
    samples: str
    self_avoiding: bool
    counts_trials: bool
    max_steps: int
    settings: Tuple[Setting, ...]
    measures: Tuple[Measure, ...]
    measures_key: str
    sample_count: Optional[str] = None
    sample_iterations: int = 1

    def setting(self, name: str) -> Setting:
        """The setting called `name`; KeyError when the model does not read it."""
        for s in self.settings:
            if s.name == name:
                return s
        raise KeyError(f"the {self.key} model has no setting {name!r}")

    def measure(self, name: str) -> Measure:
        """The measure called `name`; KeyError when the model has none of that name."""
        for m in self.measures:
            if m.name == name:
                return m
        raise KeyError(f"the {self.key} model measures nothing called {name!r}")


def _setting(entry: Mapping[str, Any]) -> Setting:
    return Setting(
        name=entry["key"], option=entry["option"], caption=entry["caption"],
        kind=entry["kind"], default=entry["default"], accepts=entry["accepts"],
        least=entry["least"], most=entry["most"], least_included=entry["least_included"],
        choices=tuple(entry["choices"]), help=entry["help"], physical=entry["physical"])


def _measure(entry: Mapping[str, Any]) -> Measure:
    return Measure(name=entry["name"], caption=entry["caption"], unit=entry["unit"],
                   kind=entry["kind"], in_sweep=entry["in_sweep"])


def _model(entry: Mapping[str, Any]) -> Model:
    return Model(
        key=entry["key"], caption=entry["caption"], title=entry["title"],
        description=entry["summary"], sampler=entry["sampler"], sample=entry["sample"],
        samples=entry["samples"],
        self_avoiding=entry["self_avoiding"], counts_trials=entry["counts_trials"],
        max_steps=entry["max_steps"],
        settings=tuple(_setting(s) for s in entry["settings"]),
        measures=tuple(_measure(m) for m in entry["measures"]),
        measures_key=entry["measures_key"], sample_count=entry.get("sample_count") or None,
        sample_iterations=entry.get("sample_iterations", 1))


_table = _core.models()

#: The models by key, in the table's order (the order the window shows them).
models: Dict[str, Model] = {m.key: m for m in map(_model, _table)}

#: Where each model's measure is in the JSON object of its measures, by (model key, measure
#: name): its path (levels joined by "/") and whether a curve there is written as [[n, value],
#: ...] rather than [value, ...].
measure_places: Dict[Tuple[str, str], Tuple[str, bool]] = {
    (entry["key"], m["name"]): (m["json"], m["indexed"])
    for entry in _table for m in entry["measures"]}
