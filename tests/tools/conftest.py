"""The tools are the package `tools` of the repository root, run as
`python -m tools.NAME` from there; the tests import them the same way, so
the root goes on the import path once, here."""
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
if str(ROOT) not in sys.path:
    sys.path.insert(0, str(ROOT))
