"""The example notebook, executed as people run notebooks: nbclient on a headless Jupyter
kernel with the widgets Debian ships, its progress bars included."""

import os

import nbformat
from nbclient import NotebookClient

from conftest import ROOT


def test_the_example_notebook_runs_and_shows_its_progress(tmp_path, monkeypatch):
    monkeypatch.delenv("MPLBACKEND", raising=False)  # the kernel's own inline figures
    notebook = nbformat.read(ROOT / "examples" / "chains.ipynb", as_version=4)
    NotebookClient(notebook, timeout=600, kernel_name="python3",
                   resources={"metadata": {"path": str(tmp_path)}}).execute()
    outputs = [o for cell in notebook.cells if cell.cell_type == "code"
               for o in cell.get("outputs", [])]
    assert not [o for o in outputs if o.output_type == "error"]
    progress = "".join(o.text for o in outputs
                       if o.output_type == "stream" and o.name == "stderr")
    # The sweep's bar, complete, with its total from its first frame.
    assert "pivot sweep: 100%" in progress, progress
    assert "0step [" not in progress, progress
    assert any(o.output_type == "display_data" and "image/png" in o.data for o in outputs)
    assert (tmp_path / "dilute.gsd").is_file() and (tmp_path / "slit.gsd").is_file()
