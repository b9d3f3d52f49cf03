"""The pivot model's energies from Python: the keywords reach the run, and result.energy holds
what the command's JSON says for the same seed."""

import math

import polychain


def test_energy_estimates_match_the_command(command):
    r = polychain.run("pivot", 40, 10, seed=5, contact_energy=-0.4, bend_energy=0.3,
                      pivots_per_sample=500)
    j = command("run", "--model", "pivot", "-N", 40, "-I", 10, "--seed", 5,
                "--contact-energy", -0.4, "--bend-energy", 0.3, "--pivots-per-sample", 500)
    assert r.settings == {"contact_energy": -0.4, "bend_energy": 0.3}
    assert r.energy.wall_contacts is None and j["energy"]["wall_contacts"] is None
    for name in ("contacts", "bends", "energy", "heat_capacity"):
        got = getattr(r.energy, name)
        assert (got.value, got.se) == (j["energy"][name]["value"], j["energy"][name]["se"]), name
        assert math.isfinite(got.se) and got.se > 0, name
    assert polychain.run("pivot", 40, 2, seed=5).energy is None
