"""What the Python tests share: the polychain command of the same build, run as a user
would."""

import json
import os
import subprocess
from pathlib import Path

import pytest

COMMAND = os.environ.get(
    "POLYCHAIN_EXE", str(Path(__file__).resolve().parents[2] / "build" / "polychain"))


def polychain(*args, cwd=None):
    """Runs `polychain ARGS...` and returns its standard output; fails the test on a
    non-zero exit."""
    done = subprocess.run([COMMAND, *map(str, args)], capture_output=True, text=True, cwd=cwd)
    assert done.returncode == 0, done.stderr
    return done.stdout


def polychain_json(*args, cwd=None):
    return json.loads(polychain(*args, "--json", cwd=cwd))


@pytest.fixture
def command():
    return polychain_json
