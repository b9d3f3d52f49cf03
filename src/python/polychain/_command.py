"""The ``polychain`` command of a pip install: the executable that setup.py builds with the
package and puts inside it, started in place of this process."""

import os
import stat
import sys
from pathlib import Path

#: Where setup.py puts the command inside the installed package.
EXECUTABLE = Path(__file__).resolve().parent / "bin" / "polychain"


def main() -> None:
    """Runs the command with this process's arguments; it never returns."""
    if not EXECUTABLE.is_file():
        sys.exit("polychain: this copy of the package has no command beside it (pip install "
                 "builds one; the project's CMake build makes build/polychain).")
    mode = EXECUTABLE.stat().st_mode
    if not mode & stat.S_IXUSR:
        EXECUTABLE.chmod(mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
    sys.stdout.flush()
    os.execv(EXECUTABLE, ["polychain", *sys.argv[1:]])


if __name__ == "__main__":
    main()
