"""polychain: statistics of polymer chains grown as walks on the simple cubic lattice.

The core of the polychain program as a Python module: the same runs, the same seeds and the
same numbers as the `polychain` command, with the results as numbers and numpy arrays.

    import polychain
    r = polychain.run("saw", 1000, 100, seed=7)
    r.rms_R            # Estimate(value=..., se=...)
    r.chain.shape      # (1001, 3), the last chain's sites, origin first
    r.to_dict()        # what `polychain run --model saw -N 1000 -I 100 --seed 7 --json` prints

    s = polychain.sweep("pivot", steps=[1000, 2000, 4000, 8000], iterations=500, seed=1)
    s.nu, s.nu_se      # the fitted exponent of sqrt(<R^2>) ~ N^nu

`polychain.models` lists the models and their settings. Runs release the GIL, stop with
KeyboardInterrupt on Ctrl-C (or a notebook's interrupt), and report progress to a callable
or a tqdm bar.
"""

from ._models import Model, Setting, models
from ._run import (
    Count,
    Error,
    Estimate,
    PivotStats,
    RunResult,
    SweepResult,
    TrialLimitError,
    run,
    sample,
    sweep,
)

__all__ = [
    "Count",
    "Error",
    "Estimate",
    "Model",
    "PivotStats",
    "RunResult",
    "Setting",
    "SweepResult",
    "TrialLimitError",
    "models",
    "run",
    "sample",
    "sweep",
]
