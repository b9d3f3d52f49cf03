"""Builds the Python package polychain: the pure-Python modules of src/python/polychain, the
compiled module polychain._core and the polychain command, which the project's CMake build
makes (those two targets only, in a build folder of its own). The version is the project's,
project(VERSION) in CMakeLists.txt.

Environment: POLYCHAIN_CMAKE_ARGS adds options to the CMake configure step (such as
-DCMAKE_BUILD_TYPE=Debug), POLYCHAIN_BUILD_JOBS sets the parallel jobs (default: the cores).
"""

import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version() -> str:
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*polychain\s+VERSION\s+([0-9][0-9.]*)", text)
    if found is None:
        raise RuntimeError("CMakeLists.txt names no project(polychain VERSION ...)")
    return found.group(1)


class CMakeBuild(build_ext):
    """Builds polychain._core and the polychain command with CMake and puts them where the
    wheel takes them from: the command in the package's bin folder, which the console entry
    ``polychain`` (polychain._command) starts."""

    def build_extension(self, ext: Extension) -> None:
        folder = Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(folder), "--log-level=WARNING",
            "-DCMAKE_BUILD_TYPE=Release", "-DPOLYCHAIN_GUI=OFF", "-DPOLYCHAIN_MPI=OFF",
            "-DBUILD_TESTING=OFF", "-DPOLYCHAIN_BENCH=OFF", "-DPOLYCHAIN_PYTHON=ON",
            f"-DPython3_EXECUTABLE={sys.executable}",
            *shlex.split(os.environ.get("POLYCHAIN_CMAKE_ARGS", "")),
        ]
        jobs = os.environ.get("POLYCHAIN_BUILD_JOBS", str(os.cpu_count() or 1))
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(folder), "--target", "polychain_python",
                        "polychain", "-j", jobs], check=True)
        built = sorted((folder / "python" / "polychain").glob("_core*.so"))
        if not built:
            raise RuntimeError("the CMake build made no polychain._core: are pybind11-dev, "
                               "python3-dev and python3-numpy installed?")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)
        command = target.parent / "bin" / "polychain"
        command.parent.mkdir(exist_ok=True)
        shutil.copy2(folder / "polychain", command)  # with its mode: executable


setup(
    version=project_version(),
    packages=["polychain"],
    package_dir={"": "src/python"},
    package_data={"polychain": ["py.typed", "_core.pyi"]},
    ext_modules=[Extension("polychain._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Everything the build makes, the package's metadata too, under build/pip: nothing in src.
    options={"build": {"build_base": "build/pip"}, "egg_info": {"egg_base": "build/pip"}},
    zip_safe=False,
)
