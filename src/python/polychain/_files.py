"""Chains placed in a periodic box and written for simulation engines and viewers, as
``polychain sample`` places and writes them: the core's placement and the format table's
writers."""

import math
import os
from dataclasses import dataclass
from typing import Any, Dict, Iterable, List, Optional, Sequence, Tuple, Union

import numpy as np
from numpy.typing import NDArray

from . import _core
from ._results import Chains


@dataclass(frozen=True)
class Format:
    """One format of the format table.

    Attributes:
        key: its name in :func:`write` (the command's ``--format``), such as ``"gsd"``.
        name: its caption, such as ``"GSD (HOOMD-blue)"``.
        extension: what is appended to the file name, such as ``".gsd"``.
        ensemble: True for a format of placed chains (:func:`write` writes those); False for
            a format of a run's own results (``polychain run --export``).
        max_sites: the most sites a file of it holds; None for no limit.
    """

    key: str
    name: str
    extension: str
    ensemble: bool
    max_sites: Optional[int]


#: The format table by key, in the order an export writes them.
formats: Dict[str, Format] = {f["key"]: Format(**f) for f in _core.formats()}


class Ensemble:
    """Chains placed in a cubic box of side ``box`` lattice units, as :func:`place` and
    :func:`ensemble` return them.

    Attributes:
        positions: each site wrapped into the box, an int32 array of shape (sites, 3), every
            coordinate from 0 to box - 1.
        images: the box image each site came from, int32 (sites, 3): the unwrapped site is
            ``positions + box * images``.
        starts: the offset of each chain's first site, int64 (chains + 1).
        molecule: each site's chain, 0 to chains - 1, int32 (sites,).
        box: the side L in lattice units.
        seed: the seed of the placement.
        self_avoiding: the placement kept every site of the box distinct.
        periodic: for x, y and z, whether the box wraps along that axis (False: hard walls
            normal to it, as a melt with walls has them).
    """

    def __init__(self, positions: NDArray[np.int32], images: NDArray[np.int32],
                 starts: NDArray[np.int64], box: int, seed: int, self_avoiding: bool,
                 periodic: Tuple[bool, bool, bool] = (True, True, True)) -> None:
        self.periodic = periodic
        self.positions = positions
        self.images = images
        self.starts = starts
        self.box = box
        self.seed = seed
        self.self_avoiding = self_avoiding
        self.molecule: NDArray[np.int32] = np.repeat(
            np.arange(len(starts) - 1, dtype=np.int32), np.diff(starts))

    @property
    def chains(self) -> int:
        """The number of chains."""
        return len(self.starts) - 1

    @property
    def unwrapped(self) -> NDArray[np.int64]:
        """The sites unwrapped, ``positions + box * images``, int64 (sites, 3): whole chains."""
        return self.positions.astype(np.int64) + self.box * self.images.astype(np.int64)

    @property
    def volume_fraction(self) -> float:
        """Sites over the sites of the box, L^3."""
        return len(self.positions) / float(self.box) ** 3

    def __len__(self) -> int:
        return len(self.positions)

    def __repr__(self) -> str:
        return (f"<polychain.Ensemble: {self.chains} chains, {len(self)} sites in a box of "
                f"side {self.box}, seed {self.seed}>")


ChainsArgument = Union[NDArray[np.int32], Chains, Sequence[NDArray[np.int32]]]


def _flat(chains: Any) -> Tuple[NDArray[np.int32], NDArray[np.int64]]:
    """Chains as their sites end to end and their offsets."""
    if isinstance(chains, Chains):
        return chains.sites, chains.starts
    if isinstance(chains, np.ndarray):
        if chains.ndim != 3 or chains.shape[2] != 3 or chains.shape[1] < 1:
            raise ValueError("chains must be an array of shape (chains, sites, 3), a "
                             f"polychain.Chains or a list of (sites, 3) arrays; the array has "
                             f"the shape {chains.shape}.")
        count, length = chains.shape[0], chains.shape[1]
        sites = np.ascontiguousarray(chains, dtype=np.int32).reshape(count * length, 3)
        return sites, np.arange(count + 1, dtype=np.int64) * length
    try:
        items = [np.asarray(chain) for chain in chains]
    except TypeError:
        raise TypeError("chains must be an array of shape (chains, sites, 3), a "
                        "polychain.Chains or a list of (sites, 3) arrays.") from None
    for c, chain in enumerate(items):
        if chain.ndim != 2 or chain.shape[1] != 3 or len(chain) < 1:
            raise ValueError(f"chain {c} must be an array of shape (sites, 3) with at least one "
                             f"site; it has the shape {chain.shape}.")
    if not items:
        raise ValueError("chains must hold at least one chain.")
    starts = np.zeros(len(items) + 1, dtype=np.int64)
    np.cumsum([len(chain) for chain in items], out=starts[1:])
    return np.concatenate(items).astype(np.int32, copy=False), starts


def _distinct(sites: NDArray[np.int32], starts: NDArray[np.int64]) -> bool:
    """True when no chain visits a site twice."""
    chain = np.repeat(np.arange(len(starts) - 1), np.diff(starts))
    keyed = np.column_stack([chain, sites])
    return len(np.unique(keyed, axis=0)) == len(sites)


def place(chains: ChainsArgument, box: Optional[int] = None, seed: Optional[int] = None, *,
          self_avoiding: Optional[bool] = None) -> Ensemble:
    """Places chains in one periodic cubic box as ``polychain sample`` does, and returns
    the :class:`Ensemble`.

    With a box side, each chain in turn is turned by one of the 48 symmetries of the cube and
    moved by a random lattice translation until none of its sites, wrapped into the box, is a
    site already taken; the draws come from the placement's own stream of `seed`, so the
    chains of ``polychain sample --seed S`` placed with ``seed=S`` are the command's very
    placement. Without one, the chains are laid side by side in a box that holds them whole.

    Args:
        chains: an int32 array of shape (chains, sites, 3) as :func:`sample` returns it, a
            :class:`Chains`, or a list of (sites, 3) arrays.
        box: the side L in lattice units, 1 to 2097152; None lays the chains side by side.
        seed: the placement's seed, 0 to 2**64 - 1; None takes one from the clock (the
            ensemble says which).
        self_avoiding: keep every site of the box distinct; None does so when no chain
            visits a site twice (the free walk's chains, which cross themselves, are placed
            without the test, as ``polychain sample`` places them).

    Raises:
        ValueError: chains of the wrong shape, a box out of range, a box with fewer sites
            than the chains or narrower than a chain, or a chain that found no free place
            in 100000 tries (the message says the volume fraction reached).
        KeyboardInterrupt: on Ctrl-C, between chains.
    """
    from ._run import _whole

    sites, starts = _flat(chains)
    side = None if box is None else _whole(box, "box (--box)", 1, 2**21)
    chosen = None if seed is None else _whole(seed, "seed (--seed)", 0, 2**64 - 1)
    avoid = _distinct(sites, starts) if self_avoiding is None else bool(self_avoiding)
    try:
        raw = _core.place(sites, starts, side, chosen, avoid)
    except ValueError as error:
        raise ValueError(f"box (--box): {error}" if side is not None else str(error)) from None
    return Ensemble(raw["sites"], raw["images"], starts, int(raw["box"]), int(raw["seed"]),
                    avoid)


def write(name: Union[str, "os.PathLike[str]"], ensemble: Ensemble,
          formats: Iterable[str] = ("gsd",), bond_length: float = 1.0) -> List[str]:
    """Writes `ensemble` to `name` followed by each format's extension (``"melt"`` and
    ``("gsd", "lammps")`` write ``melt.gsd`` and ``melt.data``) with the format table's
    writers: the very bytes ``polychain sample --format ... --export NAME`` writes for the
    same chains and placement. Returns the paths written.

    Files are replaced whole or not at all: every file is written to a temporary beside its
    target first, and none replaces its target when one of them cannot be written, or when
    an interrupt comes first.

    Args:
        name: the file name the extensions are appended to.
        ensemble: chains placed by :func:`place`.
        formats: keys of :data:`polychain.formats` that hold placed chains: ``"gsd"``,
            ``"lammps"``, ``"pdb"``, ``"xyz"``.
        bond_length: the length of one lattice unit in the files, a finite number above 0.

    Raises:
        ValueError: an unknown format, a bad bond length, or a system a format cannot hold
            (such as PDB past 99999 sites), naming the formats that take it.
        OSError: a file that could not be written (nothing was replaced), naming it.
        KeyboardInterrupt: on Ctrl-C; nothing was replaced.
    """
    path = os.fspath(name)
    if not isinstance(path, str) or not path or path.endswith("/"):
        raise ValueError(f"name must be a file name, such as 'melt' (which writes melt.gsd); "
                         f"{name!r} names no file.")
    if isinstance(formats, str):
        formats = (formats,)
    keys = [str(key) for key in formats]
    if isinstance(bond_length, (bool, np.bool_)) or not isinstance(bond_length,
                                                                   (int, float, np.number)):
        raise TypeError(f"bond_length must be a number, such as 1 or 0.97; {bond_length!r} is "
                        f"a {type(bond_length).__name__}.")
    length = float(bond_length)
    if not math.isfinite(length) or length <= 0:
        raise ValueError(f"bond_length must be a finite number above 0, such as 1 or 0.97; "
                         f"{bond_length!r} is not.")
    return _core.write(path, ensemble.positions, ensemble.images, ensemble.starts, ensemble.box,
                       ensemble.periodic, keys, length)
