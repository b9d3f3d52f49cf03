"""What the package tests share: the sources, the build's package and command, and the
interpreter the package is for."""

import os
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
PYTHON = "/usr/bin/python3"
COMMAND = os.environ.get("POLYCHAIN_EXE", str(ROOT / "build" / "polychain"))
# The package as the build assembles it (PYTHONPATH of the tests).
BUILT = next((Path(p) for p in os.environ.get("PYTHONPATH", "").split(os.pathsep)
              if p and (Path(p) / "polychain").is_dir()), ROOT / "build" / "python")


def run(*args, cwd=None, env=None, timeout=900):
    """Runs a program and returns its standard output; fails the test on a non-zero exit,
    showing what it printed."""
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True, cwd=cwd,
                          env=env, timeout=timeout)
    assert done.returncode == 0, f"{args}\n{done.stdout}\n{done.stderr}"
    return done.stdout
