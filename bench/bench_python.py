"""The Python module against the command, run by hand:

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py [build/polychain]

1. polychain.run against `polychain run` for the same runs (the command's process start
   counted on its side), as the ratio module / command of the best of a few rounds.
2. A run at N = 10^7 that returns its chain: the module's time and peak memory against the
   command's for the same run, which keeps the chain but prints only numbers.
3. Runs that keep each chain's values (per_chain=True) against the same runs without, as the
   ratio of their times (alternating pairs: min, median, max), and the bytes a chain's values
   take at the peak of a run of 10^7 short chains.
"""

import resource
import statistics
import subprocess
import sys
import time

import polychain

COMMAND = sys.argv[1] if len(sys.argv) > 1 else "build/polychain"
ROUNDS = 5


def command_args(model, steps, iterations, threads):
    return [COMMAND, "run", "--model", model, "--steps", str(steps), "--iterations",
            str(iterations), "--seed", "1", "--threads", str(threads), "--json"]


def timed(call):
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def compare(model, steps, iterations, threads=2):
    args = command_args(model, steps, iterations, threads)
    module, command = float("inf"), float("inf")
    for _ in range(ROUNDS):  # alternating, so that a busy spell of the machine hits both
        module = min(module, timed(lambda: polychain.run(model, steps, iterations, seed=1,
                                                         threads=threads)))
        command = min(command, timed(lambda: subprocess.run(args, check=True,
                                                            stdout=subprocess.DEVNULL)))
    print(f"{model:8} N = {steps:>8} x {iterations}: module {module:.3f} s, command "
          f"{command:.3f} s, ratio {module / command:.3f}")


# Peak memory of a fresh process, in MB: the module's run at N = 10^7 with its chain held,
# and the interpreter's own peak after importing the module, then the command's.
PEAK_SCRIPT = """
import resource, sys, time
import polychain
base = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
r = polychain.run("meander", 10**7, 1, seed=1, threads=2)
took = time.perf_counter() - start
assert r.chain.shape == (10**7 + 1, 3) and type(r.chain.base).__name__ == "PyCapsule"
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(base / 1024, peak / 1024, took)
"""


def chain_memory():
    done = subprocess.run([sys.executable, "-c", PEAK_SCRIPT], check=True, text=True,
                          capture_output=True)
    base, peak, took = map(float, done.stdout.split())
    start = time.perf_counter()
    subprocess.run(command_args("meander", 10**7, 1, 2), check=True, stdout=subprocess.DEVNULL)
    command = time.perf_counter() - start
    command_peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
    print(f"meander N = 10^7 x 1 with the chain: module {took:.3f} s, command {command:.3f} s "
          f"(ratio {took / command:.3f}); peak memory: module {peak - base:.0f} MB above the "
          f"interpreter's {base:.0f} MB, command {command_peak:.0f} MB; the chain is "
          f"{(10**7 + 1) * 12 / 2**20:.0f} MB")


def per_chain_cost(model, steps, iterations, pairs=7):
    ratios = []
    for _ in range(pairs):
        plain = timed(lambda: polychain.run(model, steps, iterations, seed=1, threads=2))
        kept = timed(lambda: polychain.run(model, steps, iterations, seed=1, threads=2,
                                           per_chain=True))
        ratios.append(kept / plain)
    print(f"{model:8} N = {steps:>6} x {iterations}: per_chain / plain time, min "
          f"{min(ratios):.3f}, median {statistics.median(ratios):.3f}, max {max(ratios):.3f}")


# Peak memory of a fresh process running 10^7 chains of N = 10, with or without their values.
KEPT_SCRIPT = """
import resource, sys
import polychain
r = polychain.run("meander", 10, 10**7, seed=1, threads=2, per_chain=sys.argv[1] == "1")
print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""


def per_chain_memory():
    peaks = [int(subprocess.run([sys.executable, "-c", KEPT_SCRIPT, kept], check=True,
                                text=True, capture_output=True).stdout)
             for kept in ("0", "1")]
    print(f"meander N = 10 x 10^7: peak memory {peaks[0] / 1024:.0f} MB plain, "
          f"{peaks[1] / 1024:.0f} MB with per_chain: {(peaks[1] - peaks[0]) * 1024 / 10**7:.1f} "
          "bytes a chain")


if __name__ == "__main__":
    compare("meander", 10**6, 200)
    compare("pivot", 10**5, 200)
    chain_memory()
    per_chain_cost("saw", 100, 100_000)
    per_chain_cost("pivot", 1000, 4_000)
    per_chain_memory()
