"""The examples in README.md run as shown."""
import doctest
import os
import re

from conftest import ROOT


def test_readme_examples():
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        text = f.read()
    blocks = re.findall(r"```python\n(.*?)```", text, re.S)
    assert blocks
    parser = doctest.DocTestParser()
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    for i, block in enumerate(blocks):
        test = parser.get_doctest(block, {}, f"README block {i}", "README.md", 0)
        runner.run(test)
    results = runner.summarize(verbose=False)
    assert results.failed == 0
