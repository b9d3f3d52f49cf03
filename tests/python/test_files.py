"""Chains placed and written from Python against `polychain sample`, byte for byte in every
format of the table; each chain's values of a run against the chains of a sample."""

import subprocess
import sys

import numpy as np
import pytest

import polychain
from conftest import polychain as command

FORMATS = [key for key, f in polychain.formats.items() if f.ensemble]

SYSTEMS = [
    # model, N, chains, box, settings
    ("pivot", 100, 20, 60, dict(walkers=3)),
    ("meander", 40, 30, 25, {}),  # crosses itself: placed without the test
    ("short-range", 30, 12, None, dict(kuhn=2)),  # chains of differing lengths, side by side
]


@pytest.mark.parametrize("model,steps,count,box,settings", SYSTEMS, ids=[s[0] for s in SYSTEMS])
def test_place_and_write_are_polychain_sample(tmp_path, model, steps, count, box, settings):
    seed = 8
    options = [f"--{k.replace('_', '-')}={v}" for k, v in settings.items()]
    command("sample", "--model", model, "--steps", steps, "--chains", count, "--seed", seed,
            *([] if box is None else ["--box", box]), *options, "--bond-length", 0.97,
            "--format", ",".join(FORMATS), "--export", "cli", cwd=tmp_path)
    chains = polychain.sample(model, steps, count, seed=seed, threads=2, **settings)
    ensemble = polychain.place(chains, box=box, seed=seed)
    written = polychain.write(tmp_path / "py", ensemble, formats=FORMATS, bond_length=0.97)
    extensions = [polychain.formats[key].extension for key in FORMATS]
    assert written == [str(tmp_path / "py") + e for e in extensions]
    for e in extensions:
        assert (tmp_path / ("py" + e)).read_bytes() == (tmp_path / ("cli" + e)).read_bytes(), e

    assert ensemble.seed == seed and ensemble.chains == count
    assert ((ensemble.positions >= 0) & (ensemble.positions < ensemble.box)).all()
    assert ensemble.molecule.tolist() == sorted(ensemble.molecule.tolist())
    # Each chain is whole again when unwrapped: its bonds are the sampled chain's steps.
    step = settings.get("kuhn", 1)
    for c in range(count):
        whole = ensemble.unwrapped[ensemble.starts[c]:ensemble.starts[c + 1]]
        assert len(whole) == len(chains[c])
        assert (np.abs(np.diff(whole, axis=0)).sum(axis=1) == step).all()


@pytest.mark.parametrize("model,steps,count,box,settings", [
    ("melt", 12, 20, None, dict(density=0.3, walls="z", burn_in=20, sweeps_per_sample=5)),
    ("saw", 20, 10, 30, dict(avoid=2, max_trials=10**6)),
], ids=["melt", "saw"])
def test_ensemble_is_what_polychain_sample_writes(tmp_path, model, steps, count, box, settings):
    seed = 5
    options = [f"--{k.replace('_', '-')}={v}" for k, v in settings.items()]
    command("sample", "--model", model, "--steps", steps, "--chains", count, "--seed", seed,
            *([] if box is None else ["--box", box]), *options, "--format", ",".join(FORMATS),
            "--export", "cli", cwd=tmp_path)
    ensemble = polychain.ensemble(model, steps, count, box=box, seed=seed, **settings)
    polychain.write(tmp_path / "py", ensemble, formats=FORMATS)
    for key in FORMATS:
        e = polychain.formats[key].extension
        assert (tmp_path / ("py" + e)).read_bytes() == (tmp_path / ("cli" + e)).read_bytes(), e
    assert ensemble.chains == count
    assert ensemble.periodic == ((True, True, False) if model == "melt" else (True,) * 3)


def test_the_same_seed_places_alike_and_a_list_of_chains_is_taken():
    chains = polychain.sample("saw", 50, 10, seed=3, max_trials=10**7)
    a = polychain.place(chains, box=40, seed=5)
    b = polychain.place(list(chains), box=40, seed=5)
    np.testing.assert_array_equal(a.positions, b.positions)
    np.testing.assert_array_equal(a.images, b.images)
    assert not np.array_equal(a.positions, polychain.place(chains, box=40, seed=6).positions)


def test_write_replaces_all_the_files_or_none(tmp_path):
    ensemble = polychain.place(polychain.sample("pivot", 50, 4, seed=1), box=30, seed=1)
    (tmp_path / "x.gsd").write_text("OLD")
    (tmp_path / "x.pdb").mkdir()  # a folder is never replaced
    with pytest.raises(OSError, match="x.pdb"):
        polychain.write(tmp_path / "x", ensemble, formats=("gsd", "pdb"))
    assert (tmp_path / "x.gsd").read_text() == "OLD"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["x.gsd", "x.pdb"]
    chain_formats = ", ".join(k for k, f in polychain.formats.items() if f.ensemble)
    with pytest.raises(ValueError, match=chain_formats):
        polychain.write(tmp_path / "x", ensemble, formats=("cdat",))
    with pytest.raises(ValueError, match="bond_length"):
        polychain.write(tmp_path / "x", ensemble, bond_length=float("inf"))


def test_placement_refusals_name_the_box():
    chains = polychain.sample("pivot", 100, 5, seed=1)
    with pytest.raises(ValueError, match=r"box \(--box\).*fewer than the 505 sites"):
        polychain.place(chains, box=7, seed=1)
    with pytest.raises(ValueError, match=r"box \(--box\).*from 1 to 2097152"):
        polychain.place(chains, box=0)


@pytest.mark.parametrize("model,settings", [
    ("saw", dict(avoid=1)), ("short-range", dict(kuhn=2)),
    ("pivot", dict(walkers=3, pivots_per_sample=50)),
])
def test_each_chains_values_are_those_of_the_sampled_chains(model, settings):
    chains = polychain.sample(model, 60, 25, seed=4, threads=1, max_trials=10**7, **settings)
    ends = np.array([chain[-1] for chain in chains])
    squared = (ends.astype(np.int64) ** 2).sum(axis=1)
    rg2 = [((chain - chain.mean(axis=0)) ** 2).sum(axis=1).mean() for chain in chains]
    for threads in (1, 2):
        r = polychain.run(model, 60, 25, seed=4, threads=threads, per_chain=True,
                          max_trials=10**7, **settings)
        values = r.per_chain
        assert len(values) == 25
        assert values.R.dtype == np.int32 and values.R.shape == (25, 3)
        np.testing.assert_array_equal(values.R, ends)
        np.testing.assert_array_equal(values.R2, squared)
        np.testing.assert_allclose(values.Rg2, rg2, rtol=1e-12)
        if not polychain.models[model].sampler:  # a grower's means are over its chains
            assert values.R2.mean() == pytest.approx(r.R2.value, rel=1e-12)
            assert values.Rg2.mean() == pytest.approx(r.Rg2.value, rel=1e-12)
    assert polychain.run(model, 60, 25, seed=4, max_trials=10**7, **settings).per_chain is None


def test_the_memory_check_counts_each_chains_values():
    # A run's memory does not grow with its chains, but the values kept do: 2^31 - 1 chains'
    # values cannot fit in 2 GB. Were they not counted, the run would start, and its first
    # progress report stop it.
    script = (
        "import resource, polychain\n"
        "resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))\n"
        "def started(done, total):\n"
        "    raise SystemExit('started')\n"
        "try:\n"
        "    polychain.run('meander', 10, 2**31 - 1, per_chain=True, progress=started)\n"
        "except MemoryError as e:\n"
        "    print('refused:', e)\n")
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith(
        "refused: Iterations = 2147483647 with the values of each chain kept need about")
