"""python -m lexovia_text: the lexovia command."""
import sys

from .cli import main

sys.exit(main())
