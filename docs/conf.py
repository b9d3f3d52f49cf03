# The API reference of the Python package, built from its docstrings (make docs):
#   PYTHONPATH=build/python /usr/bin/python3 -m sphinx -W -b html docs build/docs
import re

import polychain

project = "polychain"
author = "the polychain developers"
version = release = polychain.__version__
extensions = ["sphinx.ext.autodoc", "sphinx.ext.napoleon"]
napoleon_google_docstring = True
napoleon_numpy_docstring = False
# Attributes as fields of their class, not objects of their own beside the dataclass fields.
napoleon_use_ivar = True
autodoc_member_order = "bysource"
autodoc_typehints = "signature"
exclude_patterns = ["_build"]
html_theme = "alabaster"
html_static_path: list = []


def literal_options(app, what, name, obj, options, lines):
    """The command's options in plain text (--box) as literals, whose two hyphens stay two
    hyphens (as plain text they would become a dash); text in literals already is left."""
    parts = "\n".join(lines).split("``")
    for i in range(0, len(parts), 2):  # outside ``...``
        parts[i] = re.sub(r"(?<![\w`-])(--[a-z][a-z0-9-]*)", r"``\1``", parts[i])
    lines[:] = "``".join(parts).split("\n")


def setup(app):
    app.connect("autodoc-process-docstring", literal_options)
