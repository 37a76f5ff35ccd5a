"""Fault-tolerant text search and editing for automated coding agents."""

from tavrell_search import _tavrell_search
from tavrell_search._tavrell_search import *  # noqa: F401,F403

__all__ = list(_tavrell_search.__all__)
