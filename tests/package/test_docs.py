"""The API reference, built by Sphinx from the docstrings with every warning an error."""

from conftest import PYTHON, ROOT, run


def test_the_reference_builds_without_a_warning(tmp_path):
    run(PYTHON, "-m", "sphinx", "-W", "--keep-going", "-q", "-b", "html", "-d",
        tmp_path / "doctrees", ROOT / "docs", tmp_path / "html")
    api = (tmp_path / "html" / "api.html").read_text(encoding="utf-8")
    # The settings of every model, made from the model table at import.
    for words in ("polychain.run", "polychain.write", "pivots_per_sample", "kuhn"):
        assert words in api, words
