"""The pivot model's energies from Python: the keywords reach the run, and result.energy holds
what the command's JSON says for the same seed."""

import math
import xml.etree.ElementTree as ElementTree

import pytest

import polychain
from conftest import polychain as run_command


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
    negative_zero = polychain.run("pivot", 10, 2, seed=5, contact_energy=-0.0)
    assert math.copysign(1.0, negative_zero.settings["contact_energy"]) == 1.0


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
    table = s.to_pandas()
    assert table["contact_energy"].tolist() == [-0.4] * 3 + [0.1] * 3
    assert table["R2"].tolist() == s.series[0].R2.value.tolist() + s.series[1].R2.value.tolist()


def test_a_sweep_over_a_list_refuses_a_bad_later_value_before_any_value_runs():
    reported = []
    with pytest.raises(ValueError, match=r"wall_energy \(--wall-energy\) needs walls"):
        polychain.sweep("melt", [10, 20], 2, seed=3, chains=2, wall_energy=[0, -0.5],
                        progress=lambda done, total: reported.append(done))
    assert reported == []


def test_the_notes_of_a_sweep_over_a_list_name_the_value_they_belong_to():
    with pytest.warns(RuntimeWarning) as caught:
        polychain.sweep("melt", [10, 20], 3, seed=3, chains=4, contact_energy=[-0.5, 0.25])
    said = [str(w.message) for w in caught]
    for value in (-0.5, 0.25):
        assert any(m.startswith(f"contact_energy = {value}, N = 10: Note:") for m in said), said


def test_the_command_plots_a_curve_of_R2_per_N_for_each_energy(command, tmp_path):
    svg = tmp_path / "energies.svg"
    args = ["sweep", "--model", "pivot", "-N", "20,40,80", "--budget", 3000, "--seed", 5,
            "--threads", 1, "--contact-energy", "-0.4,-0.269,0"]
    run_command(*args, "--plot", svg)
    j = command(*args)
    ns = "{http://www.w3.org/2000/svg}"
    root = ElementTree.parse(svg).getroot()
    curves = [g for g in root.iter(ns + "g") if g.get("class") == "curve"]
    assert len(curves) == 3
    assert len({g.get("stroke") for g in curves}) == 3
    legend = next(g for g in root.iter(ns + "g") if g.get("class") == "legend")
    assert [t.text for t in legend.iter(ns + "text")] == [
        "contact_energy = -0.4", "contact_energy = -0.269", "contact_energy = 0"]
    for g, one in zip(curves, j["series"]):
        assert len(g.find(ns + "polyline").get("points").split()) == 3
        # Heights on the log axis: the order of <R^2>/N from one N to the next.
        heights = [float(c.get("cy")) for c in g.iter(ns + "circle")]
        per_n = one["curve"]["R2_per_N"]
        for k in range(2):
            assert (heights[k + 1] < heights[k]) == (per_n[k + 1] > per_n[k])
