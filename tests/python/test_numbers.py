"""Results as a scientist uses them: Estimates as numbers, a sweep as a table, notes as
warnings at the caller's line, the model's section in dir()."""

import math
import warnings

import numpy as np
import pytest

import polychain
from polychain import Estimate


def test_an_estimate_is_a_number_that_keeps_its_error_only_where_exact():
    e = Estimate(171.5, 19.5)
    # A shift or a scale by a constant, Python's or numpy's, carries the error exactly.
    for got, value, se in [(e / 200, 171.5 / 200, 19.5 / 200), (e * 2, 343.0, 39.0),
                           (-2 * e, -343.0, 39.0), (np.float64(2) * e, 343.0, 39.0),
                           (e + 1, 172.5, 19.5), (1 - e, -170.5, 19.5), (-e, -171.5, 19.5),
                           (abs(-e), 171.5, 19.5), (np.multiply(e, 2), 343.0, 39.0),
                           (np.negative(e), -171.5, 19.5)]:
        assert isinstance(got, Estimate) and (got.value, got.se) == (value, se), got
    # Everything else is the value's arithmetic: plain numbers.
    for got, plain in [(e + e, 343.0), (e * e, 171.5**2), (e**2, 171.5**2), (1 / e, 1 / 171.5),
                       (np.sqrt(e), math.sqrt(171.5)), (round(e, 0), 172.0), (int(e), 171),
                       (math.floor(e), 171), (np.log(e), np.log(171.5))]:
        assert not isinstance(got, Estimate) and got == plain
    assert e < 1000 and e > Estimate(100.0, 1.0) and e == 171.5 and e != Estimate(171.5, 1.0)
    assert {e: 1}[171.5] == 1
    assert np.asarray(e).dtype == np.float64 and np.asarray(e) == 171.5
    both = np.array([e, Estimate(28.5, 1.0)])
    assert both.dtype == np.float64 and both.tolist() == [171.5, 28.5]
    assert f"{e:.2f}" == "171.50 +/- 19.50"


def test_a_sweep_formats_each_n_and_is_a_table():
    s = polychain.sweep("pivot", [50, 100], 20, seed=3, walkers=2)
    assert f"{s.R2:.1f}" == (f"[{s.R2.value[0]:.1f} +/- {s.R2.se[0]:.1f}, "
                             f"{s.R2.value[1]:.1f} +/- {s.R2.se[1]:.1f}]")
    doubled = s.R2 * 2
    np.testing.assert_array_equal(doubled.se, 2 * s.R2.se)
    np.testing.assert_array_equal(np.sqrt(s.R2), np.sqrt(s.R2.value))
    table = s.to_pandas()
    assert table["steps"].tolist() == [50, 100] and table["seed"].tolist() == s.seeds.tolist()
    assert table["R2_se"].tolist() == s.R2.se.tolist()
    assert table["acceptance"].tolist() == s.measures.acceptance.tolist()
    assert table["tau_R2"].tolist() == s.pivot.tau_R2.tolist()
    assert s.to_dict()["points"][1]["steps"] == 100  # the command's JSON as ever


def test_notes_are_an_attribute_and_a_warning_at_the_callers_line():
    # Five sweeps of burn-in are far fewer than ten autocorrelation times.
    melt = dict(chains=4, box=6, burn_in=5, seed=1)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        r = polychain.run("melt", 10, 4, **melt)
        s = polychain.sweep("melt", [8, 10], 4, **melt)
    assert r.notes and r.notes[0].startswith("Note: the burn-in covered")
    assert len(s.notes) == 2 and all(notes for notes in s.notes)
    amiss = [w for w in caught if issubclass(w.category, RuntimeWarning)]
    assert [str(w.message) for w in amiss] == [*r.notes, *(f"N = {n}: {notes[0]}"
                                                           for n, notes in zip((8, 10), s.notes))]
    assert {w.filename for w in amiss} == {__file__}
    assert "melt" in dir(r) and "melt" in dir(s) and "pivot" not in dir(r)
    # A run whose model has no notes warns of nothing.
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert polychain.run("meander", 10, 2, seed=1).notes == []


def test_the_whole_numbers_the_calls_take_include_numpys():
    with pytest.raises(TypeError, match=r"steps \(--steps\)"):
        polychain.run("meander", "10", 2)
    assert polychain.run("meander", np.int16(10), np.uint8(2), seed=np.int64(1)).chains == 2
