"""The module against the command: for the same seed and settings, run(...).to_dict() and
sweep(...).to_dict() are what --json prints, and the arrays are the exported numbers."""

import numpy as np
import pytest

import polychain
from conftest import polychain_json

# Each model with a setting of its own; the module on two threads, the command on one.
RUNS = [
    ("meander", 500, 40, dict(gofr=True), ["--gofr"]),
    ("saw", 150, 30, dict(avoid=2, restart_trapped=10**5, max_trials=10**7),
     ["--avoid", 2, "--restart-trapped", 10**5, "--max-trials", 10**7]),
    ("short-range", 200, 30, dict(kuhn=3, max_trials=10**7),
     ["--kuhn", 3, "--max-trials", 10**7]),
    ("pivot", 2000, 50, dict(pivots_per_sample=200, walkers=3),
     ["--pivots-per-sample", 200, "--walkers", 3]),
]


@pytest.mark.parametrize("model,steps,iterations,settings,options", RUNS,
                         ids=[r[0] for r in RUNS])
def test_run_is_the_command(tmp_path, model, steps, iterations, settings, options):
    r = polychain.run(model, steps, iterations, seed=11, threads=2, **settings)
    expected = polychain_json("run", "--model", model, "--steps", steps, "--iterations",
                              iterations, "--seed", 11, "--threads", 1, "--export", "c",
                              *options, cwd=tmp_path)
    assert r.to_dict() == expected
    # The attributes are the same numbers as the dict.
    assert r.texts == expected["results"]
    assert r.rms_R.value == expected["extended"]["rms_R"]["value"]
    assert r.ratio.se == expected["extended"]["ratio"]["se"]
    if model in ("saw", "short-range"):
        assert r.trials.max == expected["extended"]["trials"]["max"]
    else:
        assert r.trials is None
    if model == "pivot":
        assert r.pivot.accepted == expected["pivot"]["accepted"]
    # The chain is the export's sites, handed over in the core's buffer.
    sites = np.loadtxt(tmp_path / "c.cdat", delimiter=",", skiprows=8, dtype=np.int32)
    sites_of_chain = steps if model == "short-range" else steps + 1
    assert r.chain.dtype == np.int32 and r.chain.shape == (sites_of_chain, 3)
    np.testing.assert_array_equal(r.chain, sites)
    assert not r.chain.flags.owndata and type(r.chain.base).__name__ == "PyCapsule"
    if settings.get("gofr"):
        assert r.gofr.tolist() == [v for _, v in expected["gofr"]]
        assert r.gofq.tolist() == [v for _, v in expected["gofq"]]
    else:
        assert r.gofr is None and r.gofq is None


def test_sweep_is_the_command():
    s = polychain.sweep("saw", [50, 100, 200], 40, seed=5, max_trials=10**7, threads=2)
    expected = polychain_json("sweep", "--model", "saw", "--steps", "50,100,200",
                              "--iterations", 40, "--seed", 5, "--max-trials", 10**7,
                              "--threads", 1)
    assert s.to_dict() == expected
    points = expected["points"]
    assert s.steps.tolist() == [50, 100, 200]
    assert s.seeds.tolist() == [p["seed"] for p in points]
    assert s.rms_R.tolist() == [p["extended"]["rms_R"]["value"] for p in points]
    assert s.Rg2_se.tolist() == [p["extended"]["Rg2"]["se"] for p in points]
    assert s.backups_max.tolist() == [p["extended"]["backups"]["max"] for p in points]
    assert (s.nu, s.nu_se) == (expected["fit"]["nu"], expected["fit"]["nu_se"])
    # Any single N repeats with run and its seed.
    one = polychain.run("saw", 100, 40, seed=int(s.seeds[1]), max_trials=10**7)
    assert one.rms_R.value == s.rms_R[1]


def test_pivot_sweep_carries_the_corrected_fit():
    args = dict(pivots_per_sample=200, walkers=2)
    s = polychain.sweep("pivot", [100, 200, 400, 800, 1600], 40, seed=3, **args)
    expected = polychain_json("sweep", "--model", "pivot", "--steps", "100,200,400,800,1600",
                              "--iterations", 40, "--seed", 3, "--pivots-per-sample", 200,
                              "--walkers", 2)
    assert s.to_dict() == expected
    corrected = expected["corrected_fit"]["R2"]
    assert (s.nu_corrected, s.nu_corrected_se) == (corrected["nu"], corrected["nu_se"])
    assert s.ratio_limit[0] == expected["ratio_limit"]["limit"]


def test_models_table_matches_the_calls():
    import inspect

    assert list(polychain.models) == ["meander", "saw", "short-range", "pivot", "melt"]
    defaults = inspect.signature(polychain.run).parameters
    for model in polychain.models.values():
        for setting in model.settings:
            assert defaults[setting.name].default == setting.default, setting.name
    for model in polychain.models.values():
        for setting in model.settings:
            assert setting.least <= (setting.default or setting.least) <= setting.most


@pytest.mark.parametrize("model,settings", [
    ("meander", {}), ("saw", {"avoid": 1}), ("short-range", {"kuhn": 2}),
    ("pivot", {"pivots_per_sample": 50, "walkers": 3}),
])
def test_sample_holds_the_runs_chains(model, settings):
    chains = polychain.sample(model, 30, 7, seed=5, threads=2, max_trials=10**6, **settings)
    last = polychain.run(model, 30, 7, seed=5, threads=1, max_trials=10**6, **settings).chain
    info = polychain.models[model]
    step = settings.get("kuhn", 1)
    if model == "short-range":  # chains of N sites less their back-ups: a list
        assert isinstance(chains, list) and len(chains) == 7
    else:
        assert isinstance(chains, np.ndarray)
        assert chains.shape == (7, 31, 3) and chains.dtype == np.int32
    np.testing.assert_array_equal(chains[-1], last)
    for chain in chains:
        assert (chain[0] == 0).all()
        moves = np.abs(np.diff(chain, axis=0))
        assert ((moves.sum(axis=1) == step) & ((moves != 0).sum(axis=1) == 1)).all()
        if info.self_avoiding:
            assert len(np.unique(chain, axis=0)) == len(chain)


def test_sample_refuses_what_the_memory_cannot_hold():
    with pytest.raises(MemoryError, match="chains of N = 10000000"):
        polychain.sample("meander", 10**7, 10**5)
