"""The form and structure factors as Python hands them back: numpy arrays equal to the
command's JSON, the structure factor only for a melt; likewise the melt's internal distances,
a Curve at its own n with its errors."""
import json
import os
import subprocess

import numpy as np

import polychain


def _cli_json(*args: str) -> dict:
    out = subprocess.run([os.environ["POLYCHAIN_EXE"], "run", "--json", *args],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def test_factors_are_arrays_equal_to_the_json_and_only_a_melt_has_a_structure_factor():
    for model, kwargs, args in [
            ("saw", {}, []),
            ("melt", {"chains": 8}, ["--chains", "8"])]:
        r = polychain.run(model, steps=12, iterations=20, seed=4, threads=1, **kwargs)
        j = _cli_json("--model", model, "-N", "12", "-I", "20", "--seed", "4", "--threads", "1",
                      *args)
        f = r.form_factor
        assert f is not None
        for name in ("q", "P", "debye"):
            value = getattr(f, name)
            assert isinstance(value, np.ndarray) and value.dtype == np.float64
            np.testing.assert_array_equal(value, j["form_factor"][name])
        assert f.chains == j["form_factor"]["chains"] and f.every == j["form_factor"]["every"]
        assert r.to_dict()["form_factor"] == j["form_factor"]
        if model == "melt":
            s = r.structure_factor
            assert s is not None and s.samples == j["structure_factor"]["samples"] > 0
            np.testing.assert_array_equal(s.S, j["structure_factor"]["S"])
            np.testing.assert_array_equal(s.q, j["structure_factor"]["q"])
            c = r.measures.internal_distances
            assert isinstance(c, polychain.Curve)
            d = j["melt"]["internal_distances"]
            for name in ("n", "value", "se"):
                value = getattr(c, name)
                assert isinstance(value, np.ndarray) and value.dtype == np.float64
                np.testing.assert_array_equal(value, np.array(d[name], dtype=float))
            np.testing.assert_array_equal(c.n, np.arange(1, 13))
            assert np.all(c.se[1:] > 0)
        else:
            assert r.structure_factor is None
            assert np.all(np.isfinite(f.P_se))
