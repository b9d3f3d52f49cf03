"""Hostile arguments to place and write: each refused with the argument or field named, and
nothing written, not even through a name that a NUL cuts short."""

import copy

import numpy as np
import pytest

import polychain

CHAINS = polychain.sample("pivot", 8, 3, seed=1)
ENSEMBLE = polychain.place(CHAINS, box=12, seed=1)


def spoiled(**fields):
    """The ensemble with some of its fields replaced."""
    e = copy.copy(ENSEMBLE)
    for name, value in fields.items():
        setattr(e, name, value)
    return e


def walled_crossing():
    images = ENSEMBLE.images.copy()
    images[4, 2] = 1
    return spoiled(periodic=(True, True, False), images=images)


def chain(*sites, dtype=np.int64):
    return np.array(sites, dtype=dtype)


CASES = [
    # write: the name, the arguments, the ensemble's fields.
    (lambda: polychain.write("victim\0x", ENSEMBLE), ValueError, ["name", "NUL"]),
    (lambda: polychain.write(5, ENSEMBLE), TypeError, ["name must be", "int"]),
    (lambda: polychain.write("w", ENSEMBLE, None), TypeError, ["formats must be"]),
    (lambda: polychain.write("w", ENSEMBLE, ("gsd", 3)), TypeError, ["formats must hold"]),
    (lambda: polychain.write("w", None), TypeError, ["ensemble must be a polychain.Ensemble"]),
    (lambda: polychain.write("w", spoiled(periodic="xyz")), ValueError, ["ensemble.periodic"]),
    (lambda: polychain.write("w", spoiled(box=0)), ValueError, ["ensemble.box", "1 to 2097152"]),
    (lambda: polychain.write("w", spoiled(box=-6)), ValueError, ["ensemble.box"]),
    (lambda: polychain.write("w", spoiled(box=12.5)), ValueError, ["ensemble.box"]),
    (lambda: polychain.write("w", spoiled(box=float("inf"))), ValueError, ["ensemble.box"]),
    (lambda: polychain.write("w", spoiled(positions=ENSEMBLE.positions + 1000)), ValueError,
     ["ensemble.positions: chain 0, site 0", "outside the box of side 12"]),
    (lambda: polychain.write("w", spoiled(positions=ENSEMBLE.positions * 1.0)), ValueError,
     ["ensemble.positions", "integer array", "float64"]),
    (lambda: polychain.write("w", spoiled(images=ENSEMBLE.images[:-1])), ValueError,
     ["ensemble.images", "shape"]),
    (lambda: polychain.write("w", spoiled(starts=ENSEMBLE.starts[:-1])), ValueError,
     ["ensemble.starts"]),
    (lambda: polychain.write("w", walled_crossing()), ValueError,
     ["ensemble.images: chain 0, site 4", "wall"]),
    # place: what is no chain of lattice sites.
    (lambda: polychain.place(np.zeros((0, 11, 3), np.int32), box=10), ValueError,
     ["chains must hold at least one chain"]),
    (lambda: polychain.place([chain([0, 0, 0], [0.9, 0, 0], dtype=float)], box=10), ValueError,
     ["chains: chain 0, site 1", "whole numbers"]),
    (lambda: polychain.place(chain([[0, 0, 0], [np.nan, 0, 0]], dtype=float), box=10),
     ValueError, ["chains: chain 0, site 1", "nan"]),
    (lambda: polychain.place(chain([[0, 0, 0], [2**40, 0, 0]]), box=10), ValueError,
     ["chains: chain 0, site 1", "-2147483648 to 2147483647"]),
    (lambda: polychain.place(chain([[-2**31, 0, 0], [2**31 - 1, 0, 0]]), box=10), ValueError,
     ["chains: chain 0, site 1", "one step along one axis"]),
    (lambda: polychain.place([chain([0, 0, 0], [1, 0, 0]), chain([0, 0, 0], [2, 1, 0])],
                             box=10), ValueError, ["chains: chain 1, site 1", "(2, 1, 0)"]),
    (lambda: polychain.place([chain([0, 0, 0], [1, 0, 0], [1, 0, 0])], box=10), ValueError,
     ["chains: chain 0, site 2", "(0, 0, 0)"]),
    (lambda: polychain.place([chain([0, 0, 0], [1, 0, 0], [1, 2, 0])], box=10), ValueError,
     ["chains: chain 0, site 2", "(0, 2, 0)"]),
    (lambda: polychain.place([np.array([["0", "0", "0"]])], box=10), TypeError,
     ["chains: chain 0", "whole-number coordinates"]),
    (lambda: polychain.place(7, box=10), TypeError, ["chains must be"]),
    # A real setting is a real number.
    (lambda: polychain.run("melt", 10, 2, density=np.complex128(0.5)), TypeError,
     ["density (--density)", "number"]),
]


@pytest.mark.parametrize("call,kind,words", CASES, ids=range(len(CASES)))
def test_hostile_arguments_are_refused_by_name_and_nothing_is_written(
        tmp_path, monkeypatch, call, kind, words):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "victim").write_text("KEEP")
    with pytest.raises(kind) as caught:
        call()
    message = str(caught.value)
    for word in words:
        assert word in message, message
    if "box" not in " ".join(words):
        assert "box (--box)" not in message
    assert [p.name for p in tmp_path.iterdir()] == ["victim"]
    assert (tmp_path / "victim").read_text() == "KEEP"


def test_what_place_and_write_take_is_written_once_under_its_name(tmp_path):
    # Chains of a longer bond (the short-range model's Kuhn steps), integral floats and a
    # name that ends in its extension already.
    kuhn = [chain([0, 0, 0], [0, 0, 3], [0, -3, 3]), chain([0, 0, 0], [3, 0, 0])]
    as_floats = [c.astype(float) for c in kuhn]
    a = polychain.place(kuhn, box=20, seed=2)
    b = polychain.place(as_floats, box=20, seed=2)
    np.testing.assert_array_equal(a.positions, b.positions)
    written = polychain.write(tmp_path / "x.gsd", a, formats=("gsd", "lammps"))
    assert written == [str(tmp_path / "x.gsd"), str(tmp_path / "x.data")]
    polychain.write(str(tmp_path / "y").encode(), b, formats=("gsd", "lammps"))
    assert sorted(p.name for p in tmp_path.iterdir()) == ["x.data", "x.gsd", "y.data", "y.gsd"]
    assert (tmp_path / "x.gsd").read_bytes() == (tmp_path / "y.gsd").read_bytes()
