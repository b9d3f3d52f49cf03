"""The types a scientist's checker sees: mypy (strict) passes on the package and the
examples, and the stub of the compiled module matches the module."""

import os

from conftest import BUILT, PYTHON, ROOT, run


def mypy_env():
    return {**os.environ, "MYPYPATH": str(BUILT)}


def test_mypy_passes_on_the_package_and_the_examples(tmp_path):
    examples = sorted(str(p) for p in (ROOT / "examples").glob("*.py"))
    assert examples
    run(PYTHON, "-m", "mypy", "--config-file", ROOT / "pyproject.toml", "--cache-dir",
        tmp_path / "cache", BUILT / "polychain", *examples, cwd=tmp_path, env=mypy_env())


def test_the_stub_matches_the_compiled_module(tmp_path):
    run(PYTHON, "-m", "mypy.stubtest", "--mypy-config-file", ROOT / "pyproject.toml",
        "polychain._core", cwd=tmp_path, env=mypy_env())
