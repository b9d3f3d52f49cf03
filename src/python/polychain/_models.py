"""The table of chain models, as the core declares it: what exists, what each reads, and
what it accepts."""

from dataclasses import dataclass
from typing import Optional, Tuple

from . import _core

INT32_MAX = 2**31 - 1
INT64_MAX = 2**63 - 1


@dataclass(frozen=True)
class Setting:
    """One setting of a model: its keyword in polychain.run (and key in to_dict()), the
    command's option, the window's caption, the default (None: worked out from the run, as
    `note` says), the whole numbers it accepts (`least` to `most`) and what it does."""

    name: str
    option: str
    caption: str
    default: Optional[int]
    least: int
    most: int
    note: str = ""
    kind: str = "whole"


@dataclass(frozen=True)
class Model:
    """One chain model: its key (the `model` argument, the command's --model), its caption
    in the window, what it grows, whether it samples a Markov chain of walks rather than
    growing chains, and the settings it reads besides steps and iterations."""

    key: str
    caption: str
    description: str
    sampler: bool
    self_avoiding: bool
    max_steps: int
    settings: Tuple[Setting, ...]
    measures_key: str = ""

    def setting(self, name):
        """The setting called `name`; KeyError when the model does not read it."""
        for s in self.settings:
            if s.name == name:
                return s
        raise KeyError(f"the {self.key} model has no setting {name!r}")


# Settings of the run that the models counting trials read as well.
_RESTART = Setting(
    "restart_trapped", "--restart-trapped", "Regrow trapped chains after (trials)", 1_000_000,
    0, INT64_MAX,
    note="a chain that makes this many trials without growing longer is grown again from "
         "the origin, and a self-avoiding chain without a zone as soon as it is closed in "
         "for good; 0 never regrows")
_MAX_TRIALS = Setting(
    "max_trials", "--max-trials", "Trial cap", 0, 0, INT64_MAX,
    note="the run stops (TrialLimitError) when one chain passes this many trials; 0: no cap")


def _model(entry):
    settings = tuple(
        Setting(s["key"], s["option"], s["caption"], s["default"], s["least"], s["most"],
                s["help"], s["kind"])
        for s in entry["settings"])
    if entry["counts_trials"]:
        settings += (_RESTART, _MAX_TRIALS)
    return Model(entry["key"], entry["caption"], entry["summary"], entry["sampler"],
                 entry["self_avoiding"], entry["max_steps"], settings, entry["measures_key"])


models = {m.key: m for m in map(_model, _core.models())}
