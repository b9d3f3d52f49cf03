"""Progress for the core's calls: a callable (done, total), or a tqdm bar made once the total
is known, a widget in a notebook where the widgets work and a text bar everywhere else."""

import sys
from types import TracebackType
from typing import Any, Callable, Optional, Type, Union

#: What ``progress`` takes: None or False (none), True (a bar) or a callable (done, total).
Progress = Union[None, bool, Callable[[int, int], Any]]


def _in_notebook() -> bool:
    """True inside a Jupyter kernel (not a terminal IPython)."""
    shell = sys.modules.get("IPython")
    if shell is None:
        return False
    try:
        ip = shell.get_ipython()
        return ip is not None and "IPKernelApp" in ip.config
    except Exception:  # an IPython that cannot say: no notebook
        return False


def _widgets_work() -> bool:
    """True when ipywidgets can make tqdm's notebook bar: its FloatProgress must have the
    ``style`` that tqdm sets (ipywidgets 7 on; version 6 lacks it, and tqdm then fails)."""
    try:
        import ipywidgets

        return "style" in ipywidgets.FloatProgress.class_trait_names()
    except Exception:
        return False


def make_bar(total: int, unit: str, description: str) -> Any:
    """A tqdm bar over `total`: the notebook widget in a notebook whose widgets work, else a
    text bar on standard error."""
    if _in_notebook() and _widgets_work():
        try:
            from tqdm.notebook import tqdm as notebook_bar

            return notebook_bar(total=total, unit=unit, desc=description)
        except Exception:  # a widget that cannot be made: the text bar below
            pass
    from tqdm.std import tqdm as text_bar

    return text_bar(total=total, unit=unit, desc=description, file=sys.stderr)


class Reporter:
    """The ``progress`` argument as the core's report(done, total), or None. A bar is made at
    the first report, which carries the total, so it never shows a frame without one; it
    closes when the call ends."""

    def __init__(self, progress: Progress, unit: str, description: str) -> None:
        self._bar: Any = None
        self._unit = unit
        self._description = description
        self.report: Optional[Callable[[int, int], Any]] = None
        if progress is None or progress is False:
            return
        if progress is True:
            self.report = self._update
        elif callable(progress):
            self.report = progress
        else:
            raise TypeError("progress must be None, True (a tqdm bar) or a callable "
                            f"(done, total); {progress!r} is none of them.")

    def _update(self, done: int, total: int) -> None:
        if self._bar is None:
            self._bar = make_bar(total, self._unit, self._description)
        elif self._bar.total != total:
            self._bar.reset(total=total)
        self._bar.update(done - self._bar.n)

    def __enter__(self) -> Optional[Callable[[int, int], Any]]:
        return self.report

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        if self._bar is not None:
            self._bar.close()
