"""pelorix-inspect: an application's accessibility tree as pelorix sees it, with a query for each
element that pelorix's own search was seen to answer with exactly that element, and a picture
of the window with every element's box and number.

The tree is read and the queries are run through the pelorix module's own C interface, so the
inspector sees the very elements, attribute reads and search that `pelorix.AXApp.find` uses;
the Python surface of pelorix is left as it is.
"""

from __future__ import annotations

import argparse
import ctypes
import difflib
import io
import itertools
import json
import sys
import time
from dataclasses import dataclass, field
from typing import Any, Callable, Iterable, Sequence, TextIO

import pelorix

from . import _capi

__all__ = ["Element", "Session", "Tree", "diagnose", "draw", "main", "read_tree", "suggest_queries"]

# The fields of a query, in the order pelorix tests them, and how each compares.
FIELDS = ("role", "title", "identifier", "label")
EQUAL = frozenset({"role", "identifier"})  # the attribute equals the text; the others contain it
KEYS = {"role": "role", "title": "title", "identifier": "id", "label": "label"}
PATH_ATTRIBUTES = {"title": "AXTitle", "identifier": "AXIdentifier", "label": "AXLabel"}

# Progress goes to stderr once reading has taken this long, then every so many elements.
PROGRESS_AFTER_S = 1.0
PROGRESS_EVERY = 250
DEFAULT_LIMIT = 5000


# --- The module's entry points ------------------------------------------------------------


def _request(**fields: Any) -> dict:
    capi = _capi.table()
    raw = capi.inspect_request(json.dumps(fields).encode())
    if not raw:
        raise MemoryError("pelorix-inspect: no memory for the reply")
    try:
        reply = json.loads(ctypes.string_at(raw).decode())
    finally:
        capi.inspect_free(raw)
    if "error" in reply:
        raise RuntimeError(reply["error"])
    return reply


def parse(query: str) -> dict:
    """What pelorix's query parser makes of `query`: the four fields (None when absent) and
    the debug form, or {"invalid": message}."""
    parsed = _parsed.get(query)
    if parsed is None:
        if len(_parsed) >= _PARSED_KEPT:
            _parsed.clear()
        parsed = _parsed[query] = _request(parse=query)
    return parsed


# Checking a tree's queries parses the same texts many times over.
_PARSED_KEPT = 65536
_parsed: dict[str, dict] = {}


class Session:
    """The elements of one application as pelorix holds them, numbered in the order the search
    meets them (level order). Close it (or use `with`) to release them."""

    def __init__(self, pid: int):
        self.pid = pid
        self._id = _request(open=pid)["session"]

    def read(self, number: int) -> dict:
        return _request(session=self._id, read=number)

    def find(self, query: str) -> dict:
        """One attempt of AXApp.find: {"found", "element" (its number or None), "seconds"}."""
        return _request(session=self._id, find=query)

    def close(self) -> None:
        if self._id is not None:
            _request(session=self._id, close=True)
            self._id = None

    def __enter__(self) -> "Session":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


# --- The tree -----------------------------------------------------------------------------


@dataclass
class Element:
    number: int
    parent: int | None
    depth: int
    role: str | None = None
    title: str | None = None
    identifier: str | None = None
    label: str | None = None
    value: str | None = None
    enabled: bool | None = None
    focused: bool | None = None
    bounds: tuple[float, float, float, float] | None = None
    children: list[int] | None = None  # None: the children could not be read
    off_screen: bool = False
    query: str | None = None
    no_query_reason: str | None = None

    @property
    def empty(self) -> bool:
        """Nothing a user could read or a query could name besides the role."""
        return not (self.title or self.identifier or self.label or self.value)

    def as_json(self) -> dict:
        bounds = None
        if self.bounds is not None:
            bounds = dict(zip(("x", "y", "width", "height"), self.bounds))
        return {
            "number": self.number,
            "parent": self.parent,
            "depth": self.depth,
            **{name: getattr(self, name) for name in (*FIELDS, "value", "enabled", "focused")},
            "bounds": bounds,
            "children": self.children,
            "empty": self.empty,
            "off_screen": self.off_screen,
            "query": self.query,
            "no_query_reason": self.no_query_reason,
        }


@dataclass
class Tree:
    pid: int
    elements: list[Element]
    truncated: bool  # the limit stopped the reading before the whole tree was read
    seconds: float
    _indexes: dict = field(default_factory=dict, repr=False)
    _contains: dict = field(default_factory=dict, repr=False)

    def preorder(self) -> Iterable[Element]:
        """Each element followed by its subtree, as an indented listing shows them."""
        stack = [self.elements[0]]
        while stack:
            e = stack.pop()
            yield e
            children = [n for n in e.children or () if n < len(self.elements)]
            stack.extend(self.elements[n] for n in reversed(children))

    def having(self, name: str, text: str) -> frozenset[int]:
        """The elements whose attribute passes the query field's test for `text`."""
        if name in EQUAL:
            if name not in self._indexes:
                index: dict[str, set[int]] = {}
                for e in self.elements:
                    have = getattr(e, name)
                    if have is not None:
                        index.setdefault(have, set()).add(e.number)
                self._indexes[name] = {k: frozenset(v) for k, v in index.items()}
            return self._indexes[name].get(text, frozenset())
        key = (name, text)
        if key not in self._contains:
            self._contains[key] = frozenset(
                e.number for e in self.elements if getattr(e, name) is not None and text in getattr(e, name)
            )
        return self._contains[key]

    def matching(self, criteria: dict) -> list[int]:
        """The elements that match, in the search's order."""
        sets = sorted((self.having(f, criteria[f]) for f in FIELDS if criteria.get(f) is not None), key=len)
        if not sets:
            return [e.number for e in self.elements]
        return sorted(sets[0].intersection(*sets[1:]))


class Progress:
    """Counts on stderr once a phase has taken longer than a moment; never on stdout."""

    def __init__(self, stream: TextIO | None = None):
        self.stream = stream if stream is not None else sys.stderr
        self.start = time.monotonic()
        self.what = ""
        self.last = 0

    def __call__(self, what: str, count: int, total: int | None = None) -> None:
        if what != self.what:
            self.what, self.last = what, 0
        if count - self.last < PROGRESS_EVERY or time.monotonic() - self.start < PROGRESS_AFTER_S:
            return
        self.last = count
        of = f" of {total}" if total is not None else ""
        print(f"pelorix-inspect: {what} {count}{of} elements", file=self.stream, flush=True)


def _overlaps(a: Sequence[float], b: Sequence[float]) -> bool:
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


def read_tree(session: Session, limit: int = DEFAULT_LIMIT, progress: Callable | None = None) -> Tree:
    """Reads the elements in level order, at most `limit` of them."""
    start = time.monotonic()
    elements = [Element(0, None, 0)]
    handed_out = 1
    number = 0
    while number < len(elements):
        e = elements[number]
        reading = session.read(number)
        for name in (*FIELDS, "value", "enabled", "focused"):
            setattr(e, name, reading[name])
        if reading["bounds"] is not None:
            e.bounds = tuple(reading["bounds"])
        e.children = reading["children"]
        for child in e.children or ():
            handed_out += 1
            if len(elements) < limit:
                elements.append(Element(child, e.number, e.depth + 1))
        number += 1
        if progress:
            progress("read", number)
    # An element lies off screen when it has no area or none of it is inside its window.
    windows: dict[int, tuple | None] = {}
    for e in elements:
        window = e.bounds if e.role == "AXWindow" or e.parent is None else windows.get(e.parent)
        windows[e.number] = window
        if e.bounds is not None:
            x, y, w, h = e.bounds
            e.off_screen = w <= 0 or h <= 0 or (window is not None and not _overlaps(e.bounds, window))
    return Tree(session.pid, elements, handed_out > len(elements), time.monotonic() - start)


# --- Queries ------------------------------------------------------------------------------


def _key_value(criteria: dict) -> str:
    return " ".join(f"{KEYS[f]}:{criteria[f]}" for f in FIELDS if f in criteria)


def _path(criteria: dict) -> str:
    filters = []
    for f in ("title", "identifier", "label"):
        if f in criteria:
            quote = '"' if "'" in criteria[f] else "'"
            filters.append(f"[@{PATH_ATTRIBUTES[f]}={quote}{criteria[f]}{quote}]")
    return "//" + criteria.get("role", "") + "".join(filters)


def _candidates(e: Element) -> list[tuple[str, dict]]:
    """Every query of the three forms that names some of the element's attributes in full,
    shortest first; key-value before path before plain text at equal length."""
    present = [(f, getattr(e, f)) for f in FIELDS if getattr(e, f)]
    out = []
    for size in range(1, len(present) + 1):
        for subset in itertools.combinations(present, size):
            criteria = dict(subset)
            out.append((0, _key_value(criteria), criteria))
            out.append((1, _path(criteria), criteria))
    if e.identifier:
        # Plain text: the identifier equals it and the title and the label contain it.
        out.append((2, e.identifier, {"title": e.identifier, "identifier": e.identifier, "label": e.identifier}))
    return [(query, criteria) for _, query, criteria in sorted(out, key=lambda c: (len(c[1]), c[0]))]


def _written_as(query: str, criteria: dict) -> bool:
    """Whether pelorix's parser reads the query back as exactly these criteria."""
    parsed = parse(query)
    return "invalid" not in parsed and all(parsed[f] == criteria.get(f) for f in FIELDS)


def _quoted(text: str, limit: int = 40) -> str:
    if len(text) > limit:
        text = text[: limit - 1] + "…"
    return json.dumps(text, ensure_ascii=False)


def _names(e: Element) -> str:
    shown = [e.role or "(no role)"]
    shown += [f"{KEYS[f]}={_quoted(getattr(e, f))}" for f in ("title", "identifier", "label") if getattr(e, f)]
    return " ".join(shown)


def _cannot_write(name: str, text: str) -> str:
    reasons = []
    if any(c.isspace() for c in text):
        reasons.append("white space")
    if "]" in text:
        reasons.append("']'")
    if text != text.strip():
        reasons.append("blanks at its ends")
    if text.strip() != text.strip().strip("'\""):
        reasons.append("quotes at its ends")
    why = " and ".join(reasons) or "characters the query forms cannot hold"
    return f"its {name} {_quoted(text)} cannot be written in a query ({why})"


def _why_not_unique(tree: Tree, e: Element, writable: set[str], search_said: str | None) -> str:
    present = {f: getattr(e, f) for f in FIELDS if getattr(e, f)}
    if not present:
        return "nothing to name it by: no role, title, identifier or label"
    others = [n for n in tree.matching(present) if n != e.number]
    if others:
        other = tree.elements[others[0]]
        more = f" and {len(others) - 1} more" if len(others) > 1 else ""
        if all(getattr(other, f) == getattr(e, f) for f in FIELDS):
            also = f"; {len(others)} other elements match all of them" if len(others) > 1 else ""
            return f"same role, title, identifier and label as #{other.number}{also}"
        contained = [
            f"{f} {_quoted(getattr(other, f))} contains {_quoted(present[f])}"
            for f in ("title", "label")
            if f in present and getattr(other, f) != present[f]
        ]
        because = f": {', '.join(contained)}" if contained else ""
        return f"every query that names it also finds #{other.number} ({_names(other)}){more}{because}"
    unwritable = [f for f in present if f not in writable]
    if unwritable:
        return "; ".join(_cannot_write(f, present[f]) for f in unwritable)
    return search_said or "no query of its attributes finds it alone"


def suggest_queries(tree: Tree, session: Session, progress: Callable | None = None) -> None:
    """Sets each element's `query` to the shortest query that only it matches and for which
    pelorix's search returned it, or `no_query_reason` to why there is none."""
    for count, e in enumerate(tree.elements, 1):
        writable: set[str] = set()
        search_said = None
        for query, criteria in _candidates(e):
            if not _written_as(query, criteria):
                continue
            writable.update(criteria if query != e.identifier else ("identifier",))
            if tree.matching(criteria) != [e.number]:
                continue
            outcome = session.find(query)
            if outcome["element"] == e.number:
                e.query = query
                break
            if outcome["element"] is None:
                search_said = f"the search found {'no element read' if outcome['found'] else 'nothing'} for {query}"
            else:
                search_said = f"the search returned #{outcome['element']} for {query} (the tree changed?)"
        if e.query is None:
            e.no_query_reason = _why_not_unique(tree, e, writable, search_said)
        if progress:
            progress("checked queries of", count, len(tree.elements))


def _failures(e: Element, criteria: dict) -> list[str]:
    out = []
    for f in FIELDS:
        want = criteria.get(f)
        if want is None:
            continue
        have = getattr(e, f)
        if have is None:
            out.append(f"has no {f}")
        elif f in EQUAL and have != want:
            out.append(f"{f} is {_quoted(have)}, not {_quoted(want)}")
        elif f not in EQUAL and want not in have:
            out.append(f"{f} {_quoted(have)} does not contain {_quoted(want)}")
    return out


def _likeness(e: Element, criteria: dict) -> float:
    total = 0.0
    for f in FIELDS:
        want, have = criteria.get(f), getattr(e, f)
        if want is not None and have:
            total += difflib.SequenceMatcher(None, want.casefold(), have[:200].casefold()).ratio()
    return total


def diagnose(tree: Tree, session: Session, query: str, nearest: int = 5) -> dict:
    """What the query finds, in how long, which elements match, and why the nearest
    candidates did not."""
    parsed = parse(query)
    outcome = session.find(query)
    report: dict[str, Any] = {
        "query": query,
        "criteria": None if "invalid" in parsed else parsed["debug"],
        "invalid": parsed.get("invalid"),
        "found": outcome["element"] if outcome["found"] else None,
        "found_unread": outcome["found"] and outcome["element"] is None,
        "seconds": outcome["seconds"],
        "matches": [],
        "nearest": [],
    }
    if "invalid" in parsed:
        return report
    criteria = {f: parsed[f] for f in FIELDS}
    report["matches"] = tree.matching(criteria)
    matched = set(report["matches"])
    misses = [(e, _failures(e, criteria)) for e in tree.elements if e.number not in matched]
    # Nearest: the fewest failed tests, then the attributes most like the texts wanted.
    misses.sort(key=lambda miss: (len(miss[1]), -_likeness(miss[0], criteria)))
    report["nearest"] = [{"number": e.number, "failed": failed} for e, failed in misses[:nearest]]
    return report


# --- Output -------------------------------------------------------------------------------


def _describe(e: Element) -> str:
    parts = [f"#{e.number}", e.role or "(no role)"]
    for name in ("title", "identifier", "label", "value"):
        text = getattr(e, name)
        if text:
            parts.append(f"{KEYS.get(name, name)}={_quoted(text)}")
    if e.enabled is False:
        parts.append("disabled")
    if e.focused:
        parts.append("focused")
    if e.bounds is not None:
        x, y, w, h = (round(v) for v in e.bounds)
        parts.append(f"@{x},{y} {w}x{h}")
    if e.empty:
        parts.append("[empty]")
    if e.off_screen:
        parts.append("[off screen]")
    return " ".join(parts)


def print_tree(tree: Tree, out: TextIO) -> None:
    found = sum(e.query is not None for e in tree.elements)
    more = f" (stopped at the limit of {len(tree.elements)})" if tree.truncated else ""
    print(
        f"pid {tree.pid}: {len(tree.elements)} elements{more} read in {tree.seconds:.2f} s; "
        f"{found} with a verified query, {len(tree.elements) - found} without",
        file=out,
    )
    for e in tree.preorder():
        line = "  " * e.depth + _describe(e)
        if e.query is not None:
            line += f"    find: {e.query}"
        else:
            line += f"    no unique query: {e.no_query_reason}"
        print(line, file=out)


def print_diagnosis(tree: Tree, report: dict, out: TextIO) -> None:
    print(f"query: {report['query']}", file=out)
    if report["invalid"]:
        print(f"  {report['invalid']}: AXApp.find retries it until its limit and then fails with "
              f"\"Element not found: {report['query']}\"", file=out)
        return
    print(f"  parsed: {report['criteria']}", file=out)
    ms = report["seconds"] * 1000
    if report["found"] is not None:
        print(f"  found: {_describe(tree.elements[report['found']])} in {ms:.1f} ms (one search)", file=out)
    elif report["found_unread"]:
        print(f"  found: an element beyond the first {len(tree.elements)} read, in {ms:.1f} ms", file=out)
    else:
        print(f"  found nothing in {ms:.1f} ms (one search); AXApp.find would fail with "
              f"\"Element not found: {report['query']}\"", file=out)
    matches = report["matches"]
    if len(matches) > 1:
        print(f"  {len(matches)} elements match; the search returns the first in level order:", file=out)
        for number in matches[:10]:
            print(f"    {_describe(tree.elements[number])}", file=out)
    if report["nearest"]:
        print("  nearest that did not match:", file=out)
        for miss in report["nearest"]:
            print(f"    {_describe(tree.elements[miss['number']])}: {'; '.join(miss['failed'])}", file=out)


# --- The picture --------------------------------------------------------------------------

_COLOURS = ["#e6194b", "#3cb44b", "#4363d8", "#f58231", "#911eb4", "#008080", "#9a6324", "#800000"]


def draw(png: bytes, window: Sequence[float], elements: Iterable[Element]):
    """The window's screenshot with the box and number of each element that lies on it.
    Returns the image and the boxes drawn, (number, (left, top, right, bottom)) in pixels."""
    from PIL import Image, ImageDraw, ImageFont

    image = Image.open(io.BytesIO(png)).convert("RGB")
    wx, wy, ww, wh = window
    # A picture taken at a higher pixel density than screen coordinates is scaled alike.
    sx = image.width / ww if ww > 0 else 1.0
    sy = image.height / wh if wh > 0 else 1.0
    boxes = []
    for e in elements:
        if e.bounds is None or e.off_screen or not _overlaps(e.bounds, window):
            continue
        x, y, w, h = e.bounds
        left = max(0, round((x - wx) * sx))
        top = max(0, round((y - wy) * sy))
        right = min(image.width - 1, round((x + w - wx) * sx) - 1)
        bottom = min(image.height - 1, round((y + h - wy) * sy) - 1)
        if right > left and bottom > top:
            boxes.append((e, (left, top, right, bottom)))
    # Large boxes first, so that the small ones inside them stay visible.
    boxes.sort(key=lambda b: (b[1][2] - b[1][0]) * (b[1][3] - b[1][1]), reverse=True)
    canvas = ImageDraw.Draw(image)
    font = ImageFont.load_default()
    for e, box in boxes:
        colour = _COLOURS[e.depth % len(_COLOURS)]
        canvas.rectangle(box, outline=colour, width=2 if e.query is not None else 1)
        text = str(e.number)
        tl, tt, tr, tb = canvas.textbbox((box[0] + 2, box[1] + 1), text, font=font)
        canvas.rectangle((tl - 1, tt - 1, tr + 1, tb + 1), fill=colour)
        canvas.text((box[0] + 2, box[1] + 1), text, fill="white", font=font)
    return image, [(e.number, box) for e, box in boxes]


def _picture(connected: pelorix.AXApp, tree: Tree, path: str) -> dict:
    png = connected.screenshot()
    windows = connected.windows()
    bounds = windows[0].bounds() if windows else None
    if bounds is None:
        raise RuntimeError("the window's bounds cannot be read, so the boxes cannot be placed")
    image, boxes = draw(png, bounds, tree.elements)
    image.save(path, optimize=True)
    return {
        "file": path,
        "width": image.width,
        "height": image.height,
        "window": list(bounds),
        "boxes": [{"number": n, "box": list(box)} for n, box in boxes],
    }


# --- The command --------------------------------------------------------------------------


def _arguments(argv: Sequence[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="pelorix-inspect",
        description="Show an application's accessibility tree as pelorix sees it, with a query "
        "that finds each element (checked with pelorix's own search).",
    )
    parser.add_argument("--name", help="process name, as for pelorix.app(name=...)")
    parser.add_argument("--pid", type=int, help="process id, as for pelorix.app(pid=...)")
    parser.add_argument("--bundle-id", help="bundle identifier, as for pelorix.app(bundle_id=...)")
    parser.add_argument("--png", metavar="FILE", help="write the window's picture with each element's box and number")
    parser.add_argument("--json", action="store_true", help="print JSON instead of text")
    parser.add_argument("--query", metavar="Q", help="show what Q finds, in how long, and why near candidates miss")
    parser.add_argument("--limit", type=int, default=DEFAULT_LIMIT, help=f"read at most this many elements ({DEFAULT_LIMIT})")
    args = parser.parse_args(argv)
    if args.limit < 1:
        parser.error("--limit must be at least 1")
    return args


def main(argv: Sequence[str] | None = None, out: TextIO | None = None, err: TextIO | None = None) -> int:
    args = _arguments(argv)
    out = out if out is not None else sys.stdout
    err = err if err is not None else sys.stderr
    try:
        if args.png:
            try:
                import PIL  # noqa: F401
            except ImportError:
                raise RuntimeError("--png needs Pillow: pip install 'pelorix[inspect]'") from None
        connected = pelorix.app(name=args.name, bundle_id=args.bundle_id, pid=args.pid)
        progress = Progress(err)
        with Session(connected.pid) as session:
            tree = read_tree(session, args.limit, progress)
            report = None
            if args.query is None:
                suggest_queries(tree, session, progress)
            else:
                report = diagnose(tree, session, args.query)
        picture = _picture(connected, tree, args.png) if args.png else None
    except (RuntimeError, ValueError, OverflowError, OSError) as error:
        print(f"pelorix-inspect: {error}", file=err)
        return 1
    if args.json:
        document: dict[str, Any] = {
            "pid": tree.pid,
            "truncated": tree.truncated,
            "seconds": tree.seconds,
            "elements": [e.as_json() for e in tree.elements],
        }
        if report is not None:
            document["diagnosis"] = report
        if picture is not None:
            document["picture"] = picture
        json.dump(document, out, ensure_ascii=False, indent=1)
        print(file=out)
    else:
        if report is not None:
            print_diagnosis(tree, report, out)
        else:
            print_tree(tree, out)
        if picture is not None:
            print(f"picture: {picture['file']} ({picture['width']}x{picture['height']}, "
                  f"{len(picture['boxes'])} boxes)", file=out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
