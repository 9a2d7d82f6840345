"""Halvane's six user-interface components for server-side pages.

Every class is made from the library's class table when the package is
imported: each property and method of the table, by its own name.  Output
methods return :class:`Html`, which templates write without escaping.
"""

from ._types import NULL, Error, Html
from . import _halvane
from ._halvane import page_script

globals().update({name: getattr(_halvane, name) for name in _halvane.class_names})

__all__ = ["Error", "Html", "NULL", "page_script", *_halvane.class_names]
