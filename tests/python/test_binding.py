"""The module against the command: for the same seed and settings, run(...).to_dict() and
sweep(...).to_dict() are what --json prints, the numbers are those of the dict, and the arrays
are the exported numbers."""

import math
import pickle

import numpy as np
import pytest

import polychain
from conftest import polychain as command_output
from conftest import polychain_json

# The common statistics as the core describes them.
STATISTICS = polychain._core.statistics()

# Each model with a setting of its own; the module on two threads, the command on one.
RUNS = [
    ("meander", 500, 40, dict(gofr=True), ["--gofr"]),
    ("saw", 150, 30, dict(avoid=2, restart_trapped=10**5, max_trials=10**7),
     ["--avoid", 2, "--restart-trapped", 10**5, "--max-trials", 10**7]),
    ("short-range", 200, 30, dict(kuhn=3, max_trials=10**7),
     ["--kuhn", 3, "--max-trials", 10**7]),
    ("pivot", 2000, 50, dict(pivots_per_sample=200, walkers=3),
     ["--pivots-per-sample", 200, "--walkers", 3]),
    ("perm", 40, 60, dict(contact_energy=-0.3, bend_energy=0.2),
     ["--contact-energy", -0.3, "--bend-energy", 0.2]),
]


def same(value, number):
    """A float of the module against the JSON's number (null for NaN)."""
    return math.isnan(value) if number is None else value == number


@pytest.mark.parametrize("model,steps,iterations,settings,options", RUNS,
                         ids=[r[0] for r in RUNS])
def test_run_is_the_command(tmp_path, model, steps, iterations, settings, options):
    r = polychain.run(model, steps, iterations, seed=11, threads=2, **settings)
    expected = polychain_json("run", "--model", model, "--steps", steps, "--iterations",
                              iterations, "--seed", 11, "--threads", 1, "--export", "c",
                              *options, cwd=tmp_path)
    assert r.to_dict() == expected
    copied = pickle.loads(pickle.dumps(r))  # as multiprocessing hands results back
    assert copied.to_dict() == expected and copied.measures == r.measures
    # The attributes are the same numbers as the dict, every estimate one Estimate.
    assert r.texts == expected["results"]
    assert list(r.values) == list(r.texts)
    for name, estimate in [*r.values.items(), ("rms_R", r.rms_R), ("ratio", r.ratio)]:
        assert isinstance(estimate, polychain.Estimate) and float(estimate) == estimate.value
    assert list(r.texts) == [s["name"] for s in STATISTICS["results"]]
    for statistic in STATISTICS["extended"]:  # each common statistic, as the core lists them
        value, se = getattr(r, statistic["name"])
        assert same(value, expected["extended"][statistic["json"]]["value"])
        assert same(se, expected["extended"][statistic["json"]]["se"])
    assert r.values["TR"].value == 0.0 and math.isnan(r.values["TR"].se)
    info = polychain.models[model]
    if info.counts_trials:
        assert r.trials.max == expected["extended"]["trials"]["max"]
    else:
        assert r.trials is None
    if info.measures_key:
        measured = expected[info.measures_key]
        assert getattr(r, info.measures_key) is r.measures
        for m in info.measures:
            value = r.measures[m.name]
            if m.kind == "estimate":
                assert isinstance(value, polychain.Estimate)
            elif m.kind == "count":
                assert isinstance(value, int)
        # The counts under their own names in the JSON, the accepted moves among them.
        counts = [m.name for m in info.measures if m.kind == "count" and m.name in measured]
        assert counts
        for name in counts:
            assert r.measures[name] == measured[name]
        if model == "perm":  # its curves are plain lists beside n
            assert r.measures.log_partition.value == measured["log_partition"]["value"]
            assert r.measures.n.tolist() == measured["curves"]["n"] == list(range(1, steps + 1))
            assert r.measures.R2_n.tolist() == measured["curves"]["R2"]
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
    table = s.to_pandas()
    for statistic in STATISTICS["extended"]:
        value, se = getattr(s, statistic["name"])
        assert value.tolist() == [p["extended"][statistic["json"]]["value"] for p in points]
        assert se.tolist() == [p["extended"][statistic["json"]]["se"] for p in points]
        assert table[statistic["name"] + "_se"].tolist() == se.tolist()
    assert s.backups.max.tolist() == [p["extended"]["backups"]["max"] for p in points]
    assert (s.nu.value, s.nu.se) == (expected["fit"]["nu"], expected["fit"]["nu_se"])
    # Any single N repeats with run and its seed.
    one = polychain.run("saw", 100, 40, seed=int(s.seeds[1]), max_trials=10**7)
    assert one.rms_R.value == s.rms_R.value[1]


def test_pivot_sweep_carries_the_corrected_fit_and_the_measures():
    args = dict(pivots_per_sample=200, walkers=2)
    s = polychain.sweep("pivot", [100, 200, 400, 800, 1600], 40, seed=3, **args)
    expected = polychain_json("sweep", "--model", "pivot", "--steps", "100,200,400,800,1600",
                              "--iterations", 40, "--seed", 3, "--pivots-per-sample", 200,
                              "--walkers", 2)
    assert s.to_dict() == expected
    corrected = expected["corrected_fit"]["R2"]
    assert s.corrected.R2.nu == s.nu_corrected
    assert (s.nu_corrected.value, s.nu_corrected.se) == (corrected["nu"], corrected["nu_se"])
    assert s.corrected.R2.from_steps == corrected["from_steps"]
    assert s.corrected.Rg2.correction.value == expected["corrected_fit"]["Rg2"]["correction"]
    assert s.ratio_limit == s.corrected.ratio_limit.limit
    assert s.ratio_limit.value == expected["ratio_limit"]["limit"]
    assert s.pivot.accepted.tolist() == [p["pivot"]["accepted"] for p in expected["points"]]


def test_models_are_the_core_table():
    # The command's --model takes the same models, in the same order.
    (line,) = [l for l in command_output("run", "--help").splitlines() if "--model" in l]
    offered = line.split(maxsplit=2)[2].replace(" or ", ", ").split(", ")
    assert list(polychain.models) == offered
    for model in polychain.models.values():
        for setting in model.settings:
            assert setting.kind in ("whole", "real", "choice", "flag")
            if setting.kind == "whole" and setting.default is not None:
                assert setting.least <= setting.default <= setting.most
    pivot = polychain.models["pivot"]
    assert pivot.setting("burn_in").default is None
    assert pivot.measure("tau_R2").kind == "number"
    # The stated range leaves out what the model refuses.
    assert polychain.models["short-range"].setting("kuhn").accepts.endswith(" to 2147483647 but 0")
    # help(polychain.run) lists every model's settings, made from the table.
    for model in polychain.models.values():
        assert f"``{model.key}``" in polychain.run.__doc__
        for setting in model.settings:
            entry = f"``{setting.name}`` ({setting.kind}): {setting.help}. Accepts " \
                    f"{setting.accepts}"
            assert entry in " ".join(polychain.run.__doc__.split()), entry
    assert polychain.formats["gsd"].extension == ".gsd"
    assert polychain.formats["pdb"].max_sites == 99_999
    assert not polychain.formats["cdat"].ensemble


@pytest.mark.parametrize("model,settings", [
    ("meander", {}), ("saw", {"avoid": 1}), ("short-range", {"kuhn": 2}),
    ("pivot", {"pivots_per_sample": 50, "walkers": 3}),
])
def test_sample_holds_the_runs_chains(model, settings):
    chains = polychain.sample(model, 30, 7, seed=5, threads=2, max_trials=10**6, **settings)
    last = polychain.run(model, 30, 7, seed=5, threads=1, max_trials=10**6, **settings).chain
    info = polychain.models[model]
    step = settings.get("kuhn", 1)
    if model == "short-range":  # chains of N sites less their back-ups: one array, offsets
        assert isinstance(chains, polychain.Chains) and len(chains) == 7
        assert chains.sites.shape == (chains.starts[-1], 3) and chains.starts[0] == 0
        assert (chains.lengths <= 30).all()
        assert chains[2].base is not None  # a view of the sites
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
