"""The end-to-end distance distribution of free-walk chains against the Gaussian chain's
P(R) = 4 pi R^2 (3 / (2 pi N))^(3/2) exp(-3 R^2 / (2 N)), saved as end_to_end.png.

    PYTHONPATH=build/python /usr/bin/python3 examples/end_to_end.py
"""

import matplotlib.pyplot as plt
import numpy as np

import polychain

N, COUNT = 400, 4000

# COUNT independent chains as one (COUNT, N + 1, 3) array; their last sites are the ends.
ends = polychain.sample("meander", N, COUNT, seed=1)[:, -1]
r = np.linalg.norm(ends, axis=1)
print(f"<R^2> = {np.mean(r**2):.1f} +/- {np.std(r**2, ddof=1) / np.sqrt(COUNT):.1f} "
      f"(N = {N} for the free walk)")

fig, ax = plt.subplots(figsize=(6, 4))
ax.hist(r, bins=40, density=True, alpha=0.6, label=f"{COUNT} free walks, N = {N}")
grid = np.linspace(0, r.max(), 200)
gauss = 4 * np.pi * grid**2 * (3 / (2 * np.pi * N)) ** 1.5 * np.exp(-3 * grid**2 / (2 * N))
ax.plot(grid, gauss, "k-", label="Gaussian chain")
ax.set(xlabel="end-to-end distance R", ylabel="P(R)")
ax.legend()
fig.tight_layout()
fig.savefig("end_to_end.png", dpi=120)
print("wrote end_to_end.png")
