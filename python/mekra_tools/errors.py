"""The one error type of the package: a bad input, named by file and line."""

from __future__ import annotations


class InputError(Exception):
    """A file that cannot be read or solved as asked; the message names the file and the line."""

    def __init__(self, source: str, message: str, line: int | None = None) -> None:
        self.source = source
        self.line = line
        self.message = message
        where = source if line is None else f"{source}:{line}"
        super().__init__(f"{where}: {message}")
