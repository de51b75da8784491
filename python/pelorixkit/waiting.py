"""Waiting: until a query matches, until it no longer matches, until it matches so many
elements, until an element's title, value or state equals or contains what is expected.

Each wait checks at once, then every 50 ms, until it holds or `timeout_ms` has passed (at least
one check is made, and the time limit is checked after each). When the time is up it raises
WaitTimeout, a TimeoutError whose message names what was awaited and the last value seen.
"""

from __future__ import annotations

import time
from typing import Any, Callable, TypeVar

import pelorix

from . import elements, states
from .elements import Scope

__all__ = ["DEFAULT_TIMEOUT_MS", "WaitTimeout", "wait_count", "wait_for", "wait_gone", "wait_until"]

DEFAULT_TIMEOUT_MS = 5000
POLL_INTERVAL_S = 0.05

T = TypeVar("T")


class WaitTimeout(TimeoutError):
    """A wait ran out of time. `last` is the last value seen."""

    def __init__(self, message: str, last: Any):
        super().__init__(message)
        self.last = last


# What wait_until reads, by name: the module's own text reads, the states, and the number.
_TEXTS: dict[str, Callable[[pelorix.AXElement], Any]] = {
    "title": lambda e: e.title(),
    "value": lambda e: e.value(),
    "label": lambda e: e.label(),
    "description": lambda e: e.description(),
    "role": lambda e: e.role(),
    "identifier": lambda e: e.identifier(),
}
_ENABLED: dict[str, Callable[[pelorix.AXElement], Any]] = {
    "enabled": lambda e: e.enabled(),
    "focused": lambda e: e.focused(),
    "exists": lambda e: e.exists(),
}


def _limit(timeout_ms: object) -> float:
    if isinstance(timeout_ms, bool) or not isinstance(timeout_ms, int):
        raise TypeError(f"timeout_ms must be an int, not {type(timeout_ms).__name__}")
    if timeout_ms < 0:
        raise ValueError(f"timeout_ms must not be negative, got {timeout_ms}")
    return timeout_ms / 1000


def _poll(timeout_ms: int, check: Callable[[], tuple[bool, T]]) -> tuple[bool, T]:
    """Runs `check` until it says done or the time is up; returns its last outcome."""
    limit = _limit(timeout_ms)
    start = time.monotonic()
    while True:
        done, seen = check()
        if done or time.monotonic() - start >= limit:
            return done, seen
        time.sleep(POLL_INTERVAL_S)


def _describe(element: pelorix.AXElement) -> str:
    role = element.role() or "element"
    title = element.title()
    return f"{role} {title!r}" if title else role


def _where(scope: Scope) -> str:
    if isinstance(scope, pelorix.AXApp):
        return f"in the application (pid {scope.pid})"
    return f"below {_describe(scope)}"


def wait_for(scope: Scope, query: str, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> pelorix.AXElement:
    """Waits until `query` matches an element (as `find_all` reads the query on `scope`) and
    returns the first match."""
    elements.find_all(scope, query)  # a query or scope of the wrong kind fails now, not later
    found, matches = _poll(timeout_ms, lambda: (bool(m := elements.find_all(scope, query)), m))
    if found:
        return matches[0]
    raise WaitTimeout(
        f"{query!r} matched nothing {_where(scope)} within {timeout_ms} ms (last seen: 0 matches)", 0
    )


def wait_gone(scope: Scope, query: str, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> None:
    """Waits until `query` matches no element any more."""
    elements.find_all(scope, query)
    gone, matches = _poll(timeout_ms, lambda: (not (m := elements.find_all(scope, query)), m))
    if gone:
        return
    first = _describe(matches[0])
    raise WaitTimeout(
        f"{query!r} still matched {len(matches)} element{'s' if len(matches) > 1 else ''} "
        f"{_where(scope)} after {timeout_ms} ms (last seen: {first} first)",
        len(matches),
    )


def wait_count(scope: Scope, query: str, count: int, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> list[pelorix.AXElement]:
    """Waits until `query` matches exactly `count` elements ("the window has 2 tabs") and
    returns them."""
    if isinstance(count, bool) or not isinstance(count, int):
        raise TypeError(f"count must be an int, not {type(count).__name__}")
    if count < 0:
        raise ValueError(f"count must not be negative, got {count}")
    elements.find_all(scope, query)
    done, matches = _poll(timeout_ms, lambda: (len(m := elements.find_all(scope, query)) == count, m))
    if done:
        return matches
    raise WaitTimeout(
        f"{query!r} did not match {count} elements {_where(scope)} within {timeout_ms} ms "
        f"(last seen: {len(matches)} match{'' if len(matches) == 1 else 'es'})",
        len(matches),
    )


_MISSING: Any = object()


def _reader(what: str) -> Callable[[pelorix.AXElement], Any]:
    if not isinstance(what, str):
        raise TypeError(f"what must be a str, not {type(what).__name__}")
    if what in _TEXTS:
        return _TEXTS[what]
    if what in _ENABLED:
        return _ENABLED[what]
    if what in states.STATES:
        return states.STATES[what]
    if what in ("number", "minimum", "maximum"):
        return getattr(states, what)
    known = [*_TEXTS, *_ENABLED, *states.STATES, "number", "minimum", "maximum"]
    raise ValueError(f"cannot wait for {what!r}; the choices are {', '.join(known)}")


def wait_until(
    element: pelorix.AXElement,
    what: str,
    *,
    equals: Any = _MISSING,
    contains: str = _MISSING,
    timeout_ms: int = DEFAULT_TIMEOUT_MS,
) -> Any:
    """Waits until the element's `what` equals `equals`, or (texts only) contains `contains`;
    returns the value then read.

    `what` is a text read ("title", "value", "label", "description", "role", "identifier"), a
    state ("checked", "selected", "expanded", "showing", "visible", "editable", "focusable",
    "enabled", "focused", "exists"), or a number ("number", "minimum", "maximum").
    """
    if not isinstance(element, pelorix.AXElement):
        raise TypeError(f"wait_until() takes an AXElement, not {type(element).__name__}")
    read = _reader(what)
    if (equals is _MISSING) == (contains is _MISSING):
        raise TypeError("wait_until() needs exactly one of equals= and contains=")
    if contains is not _MISSING:
        if what not in _TEXTS:
            raise ValueError(f"contains= is for texts; {what!r} is not one")
        if not isinstance(contains, str):
            raise TypeError(f"contains must be a str, not {type(contains).__name__}")

        def holds(seen: Any) -> bool:
            return isinstance(seen, str) and contains in seen

        wanted = f"contain {contains!r}"
    else:
        if what not in _TEXTS and what not in ("number", "minimum", "maximum"):
            if not isinstance(equals, bool):
                raise TypeError(f"{what!r} is True or False; equals={equals!r} would never hold")
        elif what in _TEXTS and not (equals is None or isinstance(equals, str)):
            raise TypeError(f"the {what} is a str or None; equals={equals!r} would never hold")
        elif what not in _TEXTS and (isinstance(equals, bool) or not isinstance(equals, (int, float, type(None)))):
            raise TypeError(f"the {what} is a number or None; equals={equals!r} would never hold")

        def holds(seen: Any) -> bool:
            return seen == equals

        wanted = f"equal {equals!r}"
    name = _describe(element)
    done, last = _poll(timeout_ms, lambda: (holds(seen := read(element)), seen))
    if done:
        return last
    raise WaitTimeout(
        f"the {what} of {name} did not {wanted} within {timeout_ms} ms (last seen: {last!r})", last
    )
