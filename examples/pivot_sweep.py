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
print(f"nu = {s.nu:.4f} +/- {s.nu_se:.4f} (plain power law, chi2/dof {s.chi2_per_dof:.2f}); "
      f"self-avoiding walk {NU_SAW}")
if s.nu_corrected is not None:
    print(f"nu = {s.nu_corrected:.4f} +/- {s.nu_corrected_se:.4f} (with the correction to "
          "scaling)")

fig, (size, local) = plt.subplots(1, 2, figsize=(10, 4))
size.errorbar(s.steps, s.rms_R, yerr=s.rms_R_se, fmt="o", label="pivot samples")
n = np.geomspace(s.steps[0], s.steps[-1], 100)
size.plot(n, s.amplitude * n**s.nu, label=f"fit: nu = {s.nu:.3f} +/- {s.nu_se:.3f}")
size.plot(n, s.amplitude * s.steps[0] ** (s.nu - NU_SAW) * n**NU_SAW, "--",
          label=f"N^{NU_SAW}")
size.set(xscale="log", yscale="log", xlabel="N", ylabel="sqrt(<R^2>)")
size.legend()

# The amplitude sqrt(<R^2>) / N^nu, flat at large N when nu is right.
scaled = s.rms_R / s.steps**NU_SAW
local.errorbar(s.steps, scaled, yerr=s.rms_R_se / s.steps**NU_SAW, fmt="o")
local.set(xscale="log", xlabel="N", ylabel=f"sqrt(<R^2>) / N^{NU_SAW}")
fig.tight_layout()
fig.savefig("pivot_sweep.png", dpi=120)
print("wrote pivot_sweep.png")
