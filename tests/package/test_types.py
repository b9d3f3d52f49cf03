"""The types a scientist's checker sees: mypy (strict) passes on the package and the
examples, and the stub of the compiled module matches the module."""

import os

from conftest import BUILT, PYTHON, ROOT, run


def mypy_env():
    return {**os.environ, "MYPYPATH": str(BUILT)}


# What the calls take besides Python's own numbers: numpy's, and Estimates as numbers.
NUMPY_ARGUMENTS = """\
import numpy as np
import polychain

r = polychain.run("saw", np.int64(100), np.int32(3), seed=np.uint64(1), gofr=np.bool_(True),
                  avoid=np.int64(2))
chains = polychain.sample("pivot", np.int16(10), np.uint8(4), walkers=np.int64(2))
polychain.write("p", polychain.place(chains, box=np.int64(30), seed=np.uint32(1)))
s = polychain.sweep("pivot", np.array([100, 200]), np.int64(10))
scaled: polychain.Estimate[float] = r.R2 / 200
print(scaled < 1000, round(r.R2, 2), s.to_pandas())
"""


def test_mypy_passes_on_the_package_the_examples_and_numpys_numbers(tmp_path):
    examples = sorted(str(p) for p in (ROOT / "examples").glob("*.py"))
    assert examples
    (tmp_path / "numbers.py").write_text(NUMPY_ARGUMENTS)
    run(PYTHON, "-m", "mypy", "--config-file", ROOT / "pyproject.toml", "--cache-dir",
        tmp_path / "cache", BUILT / "polychain", *examples, tmp_path / "numbers.py",
        cwd=tmp_path, env=mypy_env())


def test_the_stub_matches_the_compiled_module(tmp_path):
    run(PYTHON, "-m", "mypy.stubtest", "--mypy-config-file", ROOT / "pyproject.toml",
        "polychain._core", cwd=tmp_path, env=mypy_env())
