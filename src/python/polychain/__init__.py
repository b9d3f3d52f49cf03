"""polychain: statistics of polymer chains grown as walks on the simple cubic lattice.

The core of the polychain program as a Python package: the same runs, the same seeds and the
same numbers as the ``polychain`` command, with the results as numbers and numpy arrays::

    import polychain
    r = polychain.run("saw", 1000, 100, seed=7, avoid=2)
    r.rms_R            # Estimate(value=..., se=...); float(r.rms_R) is the value
    r.chain.shape      # (1001, 3), the last chain's sites, origin first
    r.to_dict()        # what `polychain run --model saw -N 1000 -I 100 --seed 7 --avoid 2
                       # --json` prints

    s = polychain.sweep("pivot", steps=[1000, 2000, 4000, 8000], iterations=500, seed=1)
    s.nu               # the fitted exponent of sqrt(<R^2>) ~ N^nu, an Estimate

    chains = polychain.sample("pivot", 1000, 100, seed=1)        # (100, 1001, 3) int32
    polychain.write("melt", polychain.place(chains, box=200, seed=1), formats=("gsd",))

:data:`models` lists the models, their settings and measures; :data:`formats` the file
formats. Runs release the GIL, stop with KeyboardInterrupt on Ctrl-C (or a notebook's
interrupt), and report progress to a callable or a tqdm bar.
"""

from . import _core
from ._files import Ensemble, Format, formats, place, write
from ._models import Measure, Model, Setting, models
from ._results import (Chains, CorrectedFit, CorrectedFits, Count, Curve, Energy, Estimate,
                       LimitFit, Measures, PerChain, RunResult, SweepResult)
from ._run import Error, TrialLimitError, ensemble, run, sample, sweep

#: The version of polychain, the command's ``--version`` and the window's About box.
__version__: str = _core.__version__

__all__ = [
    "Chains",
    "CorrectedFit",
    "CorrectedFits",
    "Count",
    "Curve",
    "Energy",
    "Ensemble",
    "Error",
    "Estimate",
    "Format",
    "LimitFit",
    "Measure",
    "Measures",
    "Model",
    "PerChain",
    "RunResult",
    "Setting",
    "SweepResult",
    "TrialLimitError",
    "ensemble",
    "formats",
    "models",
    "place",
    "run",
    "sample",
    "sweep",
    "write",
]
