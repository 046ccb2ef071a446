"""`python -m mekra_tools`, the same as the `mekra` command."""

import sys

from .cli import main

sys.exit(main())
