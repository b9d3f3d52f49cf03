"""The API reference, built by Sphinx from the docstrings with every warning an error, and
read back as a reader sees it."""

import html
import re

from conftest import PYTHON, ROOT, run


def section(text, start, end):
    """The text from `start` to the next `end` after it."""
    at = text.index(start)
    return text[at:text.index(end, at + len(start))]


def test_the_reference_builds_without_a_warning_and_reads_right(tmp_path):
    run(PYTHON, "-m", "sphinx", "-W", "--keep-going", "-q", "-b", "html", "-d",
        tmp_path / "doctrees", ROOT / "docs", tmp_path / "html")
    api = (tmp_path / "html" / "api.html").read_text(encoding="utf-8")
    # The settings of every model, made from the model table at import.
    for words in ("polychain.run", "polychain.write", "pivots_per_sample", "kuhn"):
        assert words in api, words
    text = html.unescape(re.sub(r"<[^>]+>", "", api))
    # Every field of a result has its description, under its own name.
    for name in ("RunResult", "SweepResult", "CorrectedFit", "LimitFit"):
        fields = section(text, f"class polychain.{name}(", "class polychain.")
        described = re.findall(r"^(\w+)(?: \(.*\))? \u2013 (.*)$", fields, re.MULTILINE)
        assert len(described) >= 6, fields
        assert [f for f, words in described if not words.strip()] == [], fields
        assert not re.search(r"\((?:\w+, )+\w*,\)", fields), fields
    # A property's text is its description, not its type.
    assert "Type:" not in section(text, "property unwrapped", "property volume_fraction")
    # An option keeps its two hyphens.
    assert "--box" in text and "\u2013box" not in text
