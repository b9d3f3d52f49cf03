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
from ._models import Whole
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
_TABLE = formats  # the table, where write() has an argument of that name


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
        """The sites unwrapped, ``positions + box * images``, as whole chains, an int64 array
        of shape (sites, 3)."""
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


def _where(starts: NDArray[np.int64], at: int) -> str:
    """"chain C, site S" of the site at offset `at` of the sites end to end."""
    chain = int(np.searchsorted(starts, at, side="right")) - 1
    return f"chain {chain}, site {at - int(starts[chain])}"


def _lattice(values: NDArray[Any], starts: NDArray[np.int64]) -> NDArray[np.int32]:
    """The sites end to end, (sites, 3), as int32: integers, or floats that are whole numbers;
    a fraction, NaN or a coordinate past the int32 range names the chain and site."""
    if values.dtype.kind not in "iuf":
        raise TypeError(f"chains must hold whole-number coordinates (integer arrays); they hold "
                        f"{values.dtype}.")
    if values.dtype.kind == "f":
        with np.errstate(invalid="ignore"):
            bad = (~np.isfinite(values) | (values != np.round(values))).any(axis=1)
        if bad.any():
            at = int(np.argmax(bad))
            raise ValueError(f"chains: {_where(starts, at)} is {values[at].tolist()}, not a "
                             "lattice site: coordinates must be whole numbers.")
    low, high = np.iinfo(np.int32).min, np.iinfo(np.int32).max
    with np.errstate(invalid="ignore"):
        bad = ((values < low) | (values > high)).any(axis=1)
    if bad.any():
        at = int(np.argmax(bad))
        raise ValueError(f"chains: {_where(starts, at)} is {values[at].tolist()}, past the "
                         f"coordinates a site may have, {low} to {high}.")
    return np.ascontiguousarray(values, dtype=np.int32)


def _bonds(sites: NDArray[np.int32], starts: NDArray[np.int64]) -> None:
    """Every bond one step along one axis, of the same length in every chain (1, or the
    Kuhn length of a model that steps by more); ValueError naming the chain and site."""
    steps = np.diff(sites.astype(np.int64), axis=0)
    inside = np.ones(len(steps), dtype=bool)
    inside[starts[1:-1] - 1] = False  # from the last site of a chain to the next chain's first
    lengths = np.abs(steps).sum(axis=1)
    axes = np.count_nonzero(steps, axis=1)
    length = int(lengths[inside][0]) if inside.any() else 1
    too_long = lengths > np.iinfo(np.int32).max
    bad = inside & ((axes != 1) | (lengths != length) | too_long)
    if bad.any():
        at = int(np.argmax(bad)) + 1
        raise ValueError(f"chains: {_where(starts, at)}: the bond to it from the site before is "
                         f"{tuple(steps[at - 1].tolist())}; every bond must be one step along "
                         "one axis, of one length from 1 to 2147483647 in every chain (the "
                         f"first bond's: {length}).")


def _flat(chains: Any) -> Tuple[NDArray[np.int32], NDArray[np.int64]]:
    """Chains as their sites end to end and their offsets, each checked to be a walk on the
    lattice."""
    if isinstance(chains, Chains):
        flat, starts = np.asarray(chains.sites), np.asarray(chains.starts)
        if (flat.ndim != 2 or flat.shape[1:] != (3,) or starts.ndim != 1 or len(starts) < 2
                or starts.dtype.kind not in "iu" or starts[0] != 0
                or starts[-1] != len(flat) or (np.diff(starts.astype(np.int64)) < 1).any()):
            raise ValueError("chains: a polychain.Chains needs sites of shape (sites, 3) and "
                             "starts rising from 0 to their count, every chain holding at "
                             "least one site.")
        starts = starts.astype(np.int64)
    elif isinstance(chains, np.ndarray):
        if chains.ndim != 3 or chains.shape[2] != 3 or chains.shape[1] < 1:
            raise ValueError("chains must be an array of shape (chains, sites, 3), a "
                             f"polychain.Chains or a list of (sites, 3) arrays; the array has "
                             f"the shape {chains.shape}.")
        if chains.shape[0] == 0:
            raise ValueError("chains must hold at least one chain; the array holds none.")
        count, length = chains.shape[0], chains.shape[1]
        flat = chains.reshape(count * length, 3)
        starts = np.arange(count + 1, dtype=np.int64) * length
    else:
        if isinstance(chains, (str, bytes)) or not isinstance(chains, Iterable):
            raise TypeError("chains must be an array of shape (chains, sites, 3), a "
                            "polychain.Chains or a list of (sites, 3) arrays; a "
                            f"{type(chains).__name__} is none of these.")
        items = [np.asarray(chain) for chain in chains]
        for c, chain in enumerate(items):
            if chain.ndim != 2 or chain.shape[1] != 3 or len(chain) < 1:
                raise ValueError(f"chains: chain {c} must be an array of shape (sites, 3) with "
                                 f"at least one site; it has the shape {chain.shape}.")
            if chain.dtype.kind not in "iuf":
                raise TypeError(f"chains: chain {c} must hold whole-number coordinates (an "
                                f"integer array); it holds {chain.dtype}.")
        if not items:
            raise ValueError("chains must hold at least one chain; the list holds none.")
        starts = np.zeros(len(items) + 1, dtype=np.int64)
        np.cumsum([len(chain) for chain in items], out=starts[1:])
        flat = np.concatenate(items)
    sites = _lattice(flat, starts)
    _bonds(sites, starts)
    return sites, starts


def _distinct(sites: NDArray[np.int32], starts: NDArray[np.int64]) -> bool:
    """True when no chain visits a site twice."""
    chain = np.repeat(np.arange(len(starts) - 1), np.diff(starts))
    keyed = np.column_stack([chain, sites])
    return len(np.unique(keyed, axis=0)) == len(sites)


def place(chains: ChainsArgument, box: Optional[Whole] = None,
          seed: Optional[Whole] = None, *, self_avoiding: Optional[bool] = None) -> Ensemble:
    """Places chains in one periodic cubic box as ``polychain sample`` does, and returns
    the :class:`Ensemble`.

    With a box side, each chain in turn is turned by one of the 48 symmetries of the cube and
    moved by a random lattice translation until none of its sites, wrapped into the box, is a
    site already taken; the draws come from the placement's own stream of `seed`, so the
    chains of ``polychain sample --seed S`` placed with ``seed=S`` are the command's very
    placement. Without one, the chains are laid side by side in a box that holds them whole.

    Args:
        chains: an int32 array of shape (chains, sites, 3) as :func:`sample` returns it, a
            :class:`Chains`, or a list of (sites, 3) arrays: walks on the lattice, their
            coordinates whole numbers (integers, or floats that are whole) in the int32
            range, every bond one step along one axis, of one length in every chain (1, or
            the Kuhn length of the short-range walk).
        box: the side L in lattice units, 1 to 2097152; None lays the chains side by side.
        seed: the placement's seed, 0 to 2**64 - 1; None takes one from the clock (the
            ensemble says which).
        self_avoiding: keep every site of the box distinct; None does so when no chain
            visits a site twice (the free walk's chains, which cross themselves, are placed
            without the test, as ``polychain sample`` places them).

    Raises:
        ValueError: chains of the wrong shape, or no walks on the lattice (naming the chain
            and the site), a box out of range, a box with fewer sites than the chains or
            narrower than a chain, or a chain that found no free place in 100000 tries (the
            message says the volume fraction reached).
        TypeError: chains that are no arrays of numbers.
        KeyboardInterrupt: on Ctrl-C, between chains.
    """
    from ._run import _whole

    sites, starts = _flat(chains)
    side = None if box is None else _whole(box, "box (--box)", 1, MAX_BOX)
    chosen = None if seed is None else _whole(seed, "seed (--seed)", 0, 2**64 - 1)
    avoid = _distinct(sites, starts) if self_avoiding is None else bool(self_avoiding)
    try:
        raw = _core.place(sites, starts, side, chosen, avoid)
    except ValueError as error:
        raise ValueError(f"box (--box): {error}" if side is not None else str(error)) from None
    return Ensemble(raw["sites"], raw["images"], starts, int(raw["box"]), int(raw["seed"]),
                    avoid)


#: The largest side of a box, as ``place`` and the command take it.
MAX_BOX = 2**21

_NAMES = ("a str, bytes or os.PathLike file name, such as 'melt' (which writes melt.gsd)")


def _file_name(name: Any, extensions: Sequence[str]) -> bytes:
    """`name` as the bytes of a file name, less an extension of `extensions` it ends in; a
    name no file can have (empty, a folder's, with a NUL) is a ValueError naming it."""
    if not isinstance(name, (str, bytes, os.PathLike)):
        raise TypeError(f"name must be {_NAMES}; {name!r} is a {type(name).__name__}.")
    try:
        raw = os.fsencode(name)
    except (UnicodeError, TypeError):
        raise ValueError(f"name {name!r} cannot be a file name on this system (its characters "
                         "have no encoding here).") from None
    if b"\0" in raw:
        raise ValueError(f"name must not hold a NUL character ('\\0'), which no file name "
                         f"can hold; {name!r} does.")
    for extension in extensions:
        ending = os.fsencode(extension)
        stem = raw[:-len(ending)]
        if raw.endswith(ending) and stem and not stem.endswith(b"/"):
            raw = stem
            break
    if not raw or raw.endswith(b"/"):
        raise ValueError(f"name must be {_NAMES}; {name!r} names no file.")
    return raw


def _keys(formats: Any) -> List[str]:
    if isinstance(formats, (str, np.str_)):
        return [str(formats)]
    if not isinstance(formats, Iterable) or isinstance(formats, bytes):
        raise TypeError(f"formats must be a format key or a sequence of them, such as "
                        f"('gsd', 'lammps'); {formats!r} is a {type(formats).__name__}.")
    keys = list(formats)
    for key in keys:
        if not isinstance(key, (str, np.str_)):
            raise TypeError(f"formats must hold format keys (str), such as 'gsd'; {key!r} is a "
                            f"{type(key).__name__}.")
    return [str(key) for key in keys]


def _first(bad: NDArray[np.bool_], starts: NDArray[np.int64]) -> Tuple[int, str]:
    at = int(np.argmax(bad))
    return at, _where(starts, at)


def _checked(ensemble: Any) -> Tuple[NDArray[Any], NDArray[Any], NDArray[np.int64], int,
                                     Tuple[bool, bool, bool]]:
    """The ensemble's arrays, box and periodic axes, checked to be a system the files can
    hold; a ValueError or TypeError names the field."""
    if not isinstance(ensemble, Ensemble):
        raise TypeError("ensemble must be a polychain.Ensemble, as place() and ensemble() "
                        f"return it; {ensemble!r} is a {type(ensemble).__name__}.")
    box = ensemble.box
    accepts = f"a whole number from 1 to {MAX_BOX}, the side in lattice units"
    if isinstance(box, (bool, np.bool_)) or not isinstance(box, (int, float, np.number)):
        raise TypeError(f"ensemble.box must be {accepts}; {box!r} is a {type(box).__name__}.")
    if isinstance(box, (float, np.floating, complex, np.complexfloating)) and not (
            isinstance(box, (float, np.floating)) and float(box).is_integer()):
        raise ValueError(f"ensemble.box must be {accepts}; {box!r} is not.")
    side = int(box)
    if not 1 <= side <= MAX_BOX:
        raise ValueError(f"ensemble.box must be {accepts}; {box!r} is not.")
    periodic = ensemble.periodic
    if (not isinstance(periodic, (tuple, list)) or len(periodic) != 3
            or not all(isinstance(p, (bool, np.bool_)) for p in periodic)):
        raise ValueError("ensemble.periodic must be three bools for x, y and z (True where "
                         f"the box wraps, False where it has walls); {periodic!r} is not.")
    axes = tuple(bool(p) for p in periodic)
    arrays = {}
    for field in ("positions", "images"):
        array = np.asarray(getattr(ensemble, field))
        if array.dtype.kind not in "iu" or array.ndim != 2 or array.shape[1] != 3:
            raise ValueError(f"ensemble.{field} must be an integer array of shape (sites, 3); "
                             f"it is {array.dtype} of shape {array.shape}.")
        arrays[field] = array
    positions, images = arrays["positions"], arrays["images"]
    if images.shape != positions.shape:
        raise ValueError(f"ensemble.images must have the shape of ensemble.positions, "
                         f"{positions.shape}; it has {images.shape}.")
    starts = np.asarray(ensemble.starts)
    if (starts.dtype.kind not in "iu" or starts.ndim != 1 or len(starts) < 2 or starts[0] != 0
            or starts[-1] != len(positions) or (np.diff(starts.astype(np.int64)) < 1).any()):
        raise ValueError("ensemble.starts must be the offsets of the chains, integers rising "
                         f"from 0 to the {len(positions)} sites, every chain holding at least "
                         "one; they are not.")
    starts = starts.astype(np.int64)
    outside = ((positions < 0) | (positions >= side)).any(axis=1)
    if outside.any():
        at, where = _first(outside, starts)
        raise ValueError(f"ensemble.positions: {where} is {tuple(positions[at].tolist())}, "
                         f"outside the box of side {side} (each coordinate 0 to {side - 1}).")
    walled = ~np.array(axes)
    crossed = (images[:, walled] != 0).any(axis=1)
    if crossed.any():
        at, where = _first(crossed, starts)
        raise ValueError(f"ensemble.images: {where} has the image "
                         f"{tuple(images[at].tolist())}, past a wall of the box (its axes "
                         f"with walls, periodic False, hold every site inside).")
    limit = np.iinfo(np.int32)
    far = ((images < limit.min) | (images > limit.max)).any(axis=1)
    if far.any():
        at, where = _first(far, starts)
        raise ValueError(f"ensemble.images: {where} has the image "
                         f"{tuple(images[at].tolist())}, past the int32 range.")
    return positions, images, starts, side, (axes[0], axes[1], axes[2])


def write(name: Union[str, bytes, "os.PathLike[str]"], ensemble: Ensemble,
          formats: Iterable[str] = ("gsd",), bond_length: float = 1.0) -> List[str]:
    """Writes `ensemble` to `name` followed by each format's extension (``"melt"`` and
    ``("gsd", "lammps")`` write ``melt.gsd`` and ``melt.data``) with the format table's
    writers: the very bytes ``polychain sample --format ... --export NAME`` writes for the
    same chains and placement. Returns the paths written. A name that ends in the extension
    of one of the formats has it once: ``"melt.gsd"`` writes ``melt.gsd``.

    Files are replaced whole or not at all: every file is written to a temporary beside its
    target first, and none replaces its target when one of them cannot be written, or when
    an interrupt comes first. The ensemble is checked before anything is written.

    Args:
        name: the file name the extensions are appended to (a str, bytes or path).
        ensemble: chains placed by :func:`place` or :func:`ensemble`.
        formats: keys of :data:`polychain.formats` that hold placed chains: ``"gsd"``,
            ``"lammps"``, ``"pdb"``, ``"xyz"``.
        bond_length: the length of one lattice unit in the files, a finite number above 0.

    Raises:
        ValueError: a name no file can have (such as one with a NUL character), an unknown
            format, a bad bond length, an ensemble that is no system (a box side that is
            not a whole number from 1 to 2097152, positions outside the box, arrays of the
            wrong shape or type), or a system a format cannot hold (such as PDB past 99999
            sites), naming the argument or field.
        TypeError: an argument of the wrong type, naming it.
        OSError: a file that could not be written (nothing was replaced), naming it.
        KeyboardInterrupt: on Ctrl-C; nothing was replaced.
    """
    keys = _keys(formats)
    extensions = [_TABLE[k].extension for k in keys if k in _TABLE]
    path = _file_name(name, extensions)
    if isinstance(bond_length, (bool, np.bool_)) or not isinstance(
            bond_length, (int, float, np.integer, np.floating)):
        raise TypeError(f"bond_length must be a number, such as 1 or 0.97; {bond_length!r} is "
                        f"a {type(bond_length).__name__}.")
    length = float(bond_length)
    if not math.isfinite(length) or length <= 0:
        raise ValueError(f"bond_length must be a finite number above 0, such as 1 or 0.97; "
                         f"{bond_length!r} is not.")
    positions, images, starts, side, periodic = _checked(ensemble)
    written = _core.write(path, positions, images, starts, side, periodic, keys, length)
    return [os.fsdecode(p) for p in written]
