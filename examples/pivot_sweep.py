"""The size exponent nu of the self-avoiding walk from a pivot sweep, plotted against the
literature value 0.587597 (Clisby, 2010) and saved as pivot_sweep.png.

    PYTHONPATH=build/python /usr/bin/python3 examples/pivot_sweep.py
"""

import matplotlib.pyplot as plt
import numpy as np

import polychain

NU_SAW = 0.587597

s = polychain.sweep("pivot", steps=[250, 500, 1000, 2000, 4000, 8000], iterations=400,
                    seed=2024, progress=True)
assert s.nu is not None and s.amplitude is not None, "six N always fit"
print(f"nu = {s.nu:.4f} (plain power law, chi2/dof {s.chi2_per_dof:.2f}); self-avoiding walk "
      f"{NU_SAW}")
if s.nu_corrected is not None:
    print(f"nu = {s.nu_corrected:.4f} (with the correction to scaling)")

fig, (size, local) = plt.subplots(1, 2, figsize=(10, 4))
# rms_R is an Estimate of arrays: its values and standard errors at each N.
size.errorbar(s.steps, *s.rms_R, fmt="o", label="pivot samples")
n = np.geomspace(s.steps[0], s.steps[-1], 100)
size.plot(n, s.amplitude * n**s.nu.value, label=f"fit: nu = {s.nu:.3f}")
size.plot(n, s.amplitude * s.steps[0] ** (s.nu.value - NU_SAW) * n**NU_SAW, "--",
          label=f"N^{NU_SAW}")
size.set(xscale="log", yscale="log", xlabel="N", ylabel="sqrt(<R^2>)")
size.legend()

# The amplitude sqrt(<R^2>) / N^nu, flat at large N when nu is right.
scale = s.steps.astype(np.float64) ** NU_SAW
local.errorbar(s.steps, s.rms_R.value / scale, yerr=s.rms_R.se / scale, fmt="o")
local.set(xscale="log", xlabel="N", ylabel=f"sqrt(<R^2>) / N^{NU_SAW}")
fig.tight_layout()
fig.savefig("pivot_sweep.png", dpi=120)
print("wrote pivot_sweep.png")
