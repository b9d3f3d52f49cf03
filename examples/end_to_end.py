"""The end-to-end distance distribution of free-walk chains against the Gaussian chain's
P(R) = 4 pi R^2 (3 / (2 pi N))^(3/2) exp(-3 R^2 / (2 N)), saved as end_to_end.png. The run
keeps each chain's end-to-end vector (per_chain=True) without holding the chains.

    PYTHONPATH=build/python /usr/bin/python3 examples/end_to_end.py
"""

import matplotlib.pyplot as plt
import numpy as np

import polychain

N, COUNT = 400, 4000

run = polychain.run("meander", N, COUNT, seed=1, per_chain=True)
assert run.per_chain is not None
r = np.sqrt(run.per_chain.R2)
print(f"<R^2> = {run.R2:.1f} (N = {N} for the free walk), from {len(r)} chains")

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
