"""polychain installed as a scientist installs it: `pip install --no-build-isolation` of a
clean copy of the sources (the files git tracks, nothing built) into a fresh virtual
environment that sees Debian's numpy, then used from another folder."""

import os
import shutil

from conftest import COMMAND, PYTHON, ROOT, run


def test_pip_installs_the_package_and_the_command_with_metadata_and_one_version(tmp_path):
    source = tmp_path / "polychain"
    tracked = run("git", "-C", ROOT, "ls-files", "-z").split("\0")
    for name in filter(None, tracked):
        if (ROOT / name).is_file():  # not a file deleted from the work tree
            (source / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / name, source / name)
    before = {p for p in source.rglob("*") if p.is_file()}
    venv = tmp_path / "venv"
    run(PYTHON, "-m", "venv", "--system-site-packages", venv)
    python = venv / "bin" / "python"
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PIP_USER")}
    env.setdefault("POLYCHAIN_BUILD_JOBS", "2")
    run(python, "-m", "pip", "install", "--no-build-isolation", "--no-index", "--quiet",
        source, cwd=tmp_path, env=env)

    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    probe = ("import importlib.metadata, pathlib, polychain\n"
             "print(polychain.__version__)\n"
             "print(importlib.metadata.version('polychain'))\n"
             "print(pathlib.Path(polychain.__file__).parent)\n"
             "print(polychain.run('saw', 20, 3, seed=1).texts['Rsqred'])\n")
    version, metadata, folder, result = run(python, "-c", probe, cwd=elsewhere,
                                            env=env).splitlines()
    assert version == metadata
    assert run(COMMAND, "--version").split() == ["polychain", version]
    assert folder.startswith(str(venv))
    for typed in ("py.typed", "_core.pyi"):
        assert (tmp_path / folder / typed).is_file(), typed
    assert float(result) > 0
    # The command comes with the package, and the build leaves nothing among the sources.
    assert run(venv / "bin" / "polychain", "--version", cwd=elsewhere, env=env).split() == [
        "polychain", version]
    litter = {p for p in source.rglob("*") if p.is_file()} - before
    assert not [p for p in litter if (source / "build") not in p.parents], sorted(litter)

    shown = run(python, "-m", "pip", "show", "polychain", env=env)
    assert "Name: polychain" in shown and f"Version: {version}" in shown
    assert "License: BSD-3-Clause" in shown and "Summary: Statistics of polymer chains" in shown
    assert "Home-page: \n" in shown or "Home-page:" not in shown  # there is none to name
    run(python, "-m", "pip", "uninstall", "--yes", "--quiet", "polychain", env=env)
    assert not (venv / "bin" / "polychain").exists()
    gone = "import importlib.util; print(importlib.util.find_spec('polychain'))"
    assert run(python, "-c", gone, cwd=elsewhere, env=env).strip() == "None"
