#!/usr/bin/python3
"""How long the ranks of a two-rank team take to end after SIGINT.

    scripts/stoptimes.py EXE TRIES [polychain arguments]

Starts `mpirun -n 2 EXE ...` TRIES times, waits until both ranks grow their chains (their
thread named team-grower), sends SIGINT to both rank processes (TARGET=mpirun: to mpirun;
TARGET=0 or 1: to that rank alone) and times each rank's exit. EXE may be a wrapper script
(one that runs rank 0 under `nice -n 19` makes a rank leave late, as on a busy machine).
Prints each try's times and the slowest rank's min, median and max.
"""
import os
import signal
import statistics
import subprocess
import sys
import time


def ranks_of(pid):
    """The polychain processes below `pid` (through wrappers)."""
    out = subprocess.run(["pgrep", "-P", str(pid)], capture_output=True, text=True).stdout
    found = []
    for p in (int(x) for x in out.split()):
        try:
            with open(f"/proc/{p}/comm") as f:
                comm = f.read().strip()
        except OSError:
            continue
        found += [p] if comm.startswith("polychain") else ranks_of(p)
    return found


def growing(pid):
    try:
        for t in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{t}/comm") as f:
                if f.read().strip() == "team-grower":
                    return True
    except OSError:
        pass
    return False


def gone(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] in ("Z", "X")
    except OSError:
        return True


def main():
    exe, tries = sys.argv[1], int(sys.argv[2])
    args = sys.argv[3:] or ["run", "--model", "saw", "--steps", "2000",
                            "--iterations", "100000000"]
    target = os.environ.get("TARGET", "both")
    env = dict(os.environ, OMPI_MCA_btl_vader_single_copy_mechanism="none")
    worst = []
    for i in range(tries):
        p = subprocess.Popen(["mpirun", "--allow-run-as-root", "--oversubscribe", "-n", "2", exe]
                             + args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             env=env)
        deadline = time.monotonic() + 30
        ranks = []
        while time.monotonic() < deadline:
            ranks = ranks_of(p.pid)
            if len(ranks) == 2 and all(growing(r) for r in ranks):
                break
            time.sleep(0.005)
        time.sleep(0.3 + 0.05 * (i % 5))
        start = time.monotonic()
        if target == "mpirun":
            os.kill(p.pid, signal.SIGINT)
        elif target == "both":
            for r in ranks:
                os.kill(r, signal.SIGINT)
        else:
            os.kill(ranks[int(target)], signal.SIGINT)
        ended = {r: None for r in ranks}
        while None in ended.values() and time.monotonic() - start < 20:
            for r in ended:
                if ended[r] is None and gone(r):
                    ended[r] = time.monotonic() - start
            time.sleep(0.001)
        p.wait()
        worst.append(max(t if t is not None else float("inf") for t in ended.values()))
        print(f"try {i}: " + " ".join("hung" if t is None else f"{t:.3f}"
                                      for t in ended.values()) + f" (mpirun {p.returncode})",
              flush=True)
    print(f"slowest rank: min {min(worst):.3f} median {statistics.median(worst):.3f} "
          f"max {max(worst):.3f} s; over 0.2 s: {sum(t > 0.2 for t in worst)} of {len(worst)}")


main()
