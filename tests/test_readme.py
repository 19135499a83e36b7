"""The README's interactive examples give what they show."""

import doctest
import re
from pathlib import Path

import pytest

README = (Path(__file__).resolve().parent.parent / "README.md").read_text(encoding="utf-8")
BLOCKS = [b for b in re.findall(r"```python\n(.*?)```", README, re.DOTALL) if ">>>" in b]


@pytest.mark.parametrize("block", BLOCKS, ids=[b.split("\n", 1)[0][:40] for b in BLOCKS])
def test_readme_examples(block):
    pytest.importorskip("numpy")
    test = doctest.DocTestParser().get_doctest(block, {}, "README", "README.md", 0)
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    runner.run(test)
    assert runner.failures == 0
