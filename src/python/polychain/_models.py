"""The table of chain models: what exists, what each reads, and what it accepts."""

from dataclasses import dataclass
from typing import Optional, Tuple

INT32_MAX = 2**31 - 1
INT64_MAX = 2**63 - 1


@dataclass(frozen=True)
class Setting:
    """One setting of a model: its keyword in polychain.run, the window's caption, the
    default (None: worked out from the run, as `note` says), the whole numbers it accepts
    (`least` to `most`) and the range the window suggests (`typical`, or None)."""

    name: str
    caption: str
    default: Optional[int]
    least: int
    most: int
    typical: Optional[Tuple[int, int]] = None
    note: str = ""


@dataclass(frozen=True)
class Model:
    """One chain model: its key (the `model` argument, the command's --model), its caption
    in the window, what it grows, and the settings it reads besides steps and iterations."""

    key: str
    caption: str
    description: str
    settings: Tuple[Setting, ...]

    def setting(self, name):
        """The setting called `name`; KeyError when the model does not read it."""
        for s in self.settings:
            if s.name == name:
                return s
        raise KeyError(f"the {self.key} model has no setting {name!r}")


_RESTART = Setting(
    "restart_trapped", "Regrow trapped chains after (trials)", 10_000_000, 0, INT64_MAX,
    note="a chain that makes this many trials without growing longer is grown again from "
         "the origin; 0 never regrows")
_MAX_TRIALS = Setting(
    "max_trials", "Trial cap", 0, 0, INT64_MAX,
    note="the run stops (TrialLimitError) when one chain passes this many trials; 0: no cap")

models = {
    m.key: m
    for m in (
        Model("meander", "Meander (free walk)",
              "N unit steps, each in one of the six axis directions drawn afresh", ()),
        Model("saw", "SAW (self-avoiding walk)",
              "a walk that never re-enters a site of its own chain (a site counts as taken "
              "when its text record occurs in the chain's text) and backs up when boxed in",
              (Setting("avoid", "Self-Avoidance", 1, -INT32_MAX - 1, INT32_MAX, (1, 3),
                       "2 or 3 also keep new steps out of a zone around older sites"),
               _RESTART, _MAX_TRIALS)),
        Model("short-range", "Short Range",
              "steps of K lattice units that never land on a site of the chain, backing up "
              "one site when boxed in",
              (Setting("kuhn", "Kuhn Length", 1, -INT32_MAX - 1, INT32_MAX, (1, 10),
                       "not 0, and |K| (N - 1) at most 2147483647"),
               _RESTART, _MAX_TRIALS)),
        Model("pivot", "Pivot SAW (true self-avoiding walk)",
              "uniformly distributed N-step self-avoiding walks sampled by the pivot "
              "algorithm; iterations are samples",
              (Setting("pivots_per_sample", "Pivots per sample", 1000, 1, INT64_MAX,
                       note="attempted pivots between one sample and the next"),
               Setting("burn_in", "Burn-in", None, 0, INT64_MAX,
                       note="attempted pivots before the first sample; default N, at least "
                            "10000"),
               Setting("walkers", "Walkers", 8, 1, 1_000_000,
                       note="independent Markov chains sharing the samples"))),
    )
}
