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


def test_a_sweep_over_energies_returns_the_command_s_series(command):
    s = polychain.sweep("pivot", [20, 40, 80], 20, seed=3, contact_energy=[-0.4, 0.1],
                        pivots_per_sample=100)
    j = command("sweep", "--model", "pivot", "-N", "20,40,80", "-I", 20, "--seed", 3,
                "--contact-energy", "-0.4,0.1", "--pivots-per-sample", 100)
    assert s.varied == "contact_energy" and len(s.series) == 2 and s.series[0] is s
    for one, expected in zip(s.series, j["series"]):
        curve = expected.pop("curve")
        assert one.to_dict() == expected
        assert one.settings["contact_energy"] == expected["contact_energy"]
        assert one.R2_per_N.value.tolist() == curve["R2_per_N"]
        assert one.nu_eff.value.tolist() == curve["nu_eff"]
        assert one.nu_eff.se.tolist() == curve["nu_eff_se"]
    assert polychain.sweep("pivot", [20, 40], 5, seed=3).series[0].varied is None
