#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running polychain need,
# and only those that are missing. Safe to run again; does nothing when all are there.
set -euo pipefail

packages=(
  cmake make g++ pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-charts-dev qt6-datavisualization-dev
  qt6-svg-dev qt6-qpa-plugins
  # Qt Data Visualization's CMake files look for Qt Qml and Qt Quick.
  qt6-declarative-dev
  libgl-dev libglx-dev libopengl-dev
  libcli11-dev libabsl-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # Runs spread over processes; mpirun itself for the tests, pgrep and pkill to signal its ranks.
  libopenmpi-dev openmpi-bin procps
  xvfb xauth fonts-dejavu-core
  # The Python module, its tests and examples (for /usr/bin/python3).
  pybind11-dev python3-dev python3-numpy python3-pytest python3-tqdm python3-matplotlib
  # A sweep as a table (SweepResult.to_pandas).
  python3-pandas
  # The package installed by pip (and the sources copied for it by git), its types checked,
  # its reference built, its notebook executed on a headless kernel with Debian's widgets.
  python3-pip python3-setuptools python3-wheel python3-venv git mypy python3-sphinx
  jupyter-nbconvert python3-nbclient python3-ipykernel python3-ipywidgets
  # The readers the tests open the sampled files with: GSD, PDB, extended XYZ, LAMMPS data.
  python3-gsd python3-mdanalysis python3-ase lammps
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
