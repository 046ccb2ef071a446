"""Files, batches, time limits and clusters around the `mekra` extension module.

The command line is `mekra` (or `python -m mekra_tools`); from Python, `solve_many` solves many
instances on worker processes or a Dask cluster, and `solve` one instance in a worker process
with a time limit.
"""

from .batch import Text, solve, solve_here, solve_many
from .errors import InputError
from .solving import Outcome

__all__ = ["solve_many", "solve", "solve_here", "Text", "Outcome", "InputError"]
