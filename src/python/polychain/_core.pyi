# The compiled core (binding.cpp): what it takes and hands back. The package's own modules read
# and check the arguments and shape these raw values; call polychain.run and the rest instead.
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple

import numpy as np
from numpy.typing import NDArray

__version__: str
DEFAULT_RESTART_TRAPPED: int

# progress(done, total), called on the calling thread a few times a second at most.
_Report = Optional[Callable[[int, int], None]]

def run(steps: int, progress: _Report, **settings: Any) -> Dict[str, Any]: ...
def sweep(steps: Sequence[int], progress: _Report, **settings: Any) -> Dict[str, Any]: ...
def check_sweep(steps: Sequence[int], **settings: Any) -> None: ...
def sweep_series_seed(seed: int, index: int, steps_count: int) -> int: ...
def sample(steps: int, progress: _Report, **settings: Any) -> Dict[str, Any]: ...
def models() -> List[Dict[str, Any]]: ...
def statistics() -> Dict[str, List[Dict[str, str]]]: ...
def formats() -> List[Dict[str, Any]]: ...
def place(
    sites: NDArray[np.int32],
    starts: NDArray[np.int64],
    box: Optional[int],
    seed: Optional[int],
    self_avoiding: bool,
    own_box: Optional[Tuple[bool, bool, bool]] = None,
) -> Dict[str, Any]: ...
def write(
    name: bytes,
    sites: NDArray[np.int32],
    images: NDArray[np.int32],
    starts: NDArray[np.int64],
    box: int,
    periodic: Tuple[bool, bool, bool],
    formats: List[str],
    bond_length: float,
) -> List[bytes]: ...
