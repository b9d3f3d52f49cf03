# The API reference of the Python package, built from its docstrings (make docs):
#   PYTHONPATH=build/python /usr/bin/python3 -m sphinx -W -b html docs build/docs
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
