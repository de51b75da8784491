"""Fixtures shared by the whole suite: the simulated desktop and real processes to target."""

from simdesk import desktop, spawn  # noqa: F401  (fixtures)
