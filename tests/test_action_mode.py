"""The ActionMode singletons and their comparison protocol."""

import operator

import pytest

import pelorix
from pelorix import BACKGROUND, FOCUS, ActionMode


def test_singletons_are_shared():
    assert ActionMode.Focus is FOCUS and ActionMode.Background is BACKGROUND
    assert ActionMode.Focus is ActionMode.Focus


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class BadIndex:
    def __index__(self):
        raise RuntimeError("no index here")


@pytest.mark.parametrize(
    "left, right, equal",
    [
        (BACKGROUND, BACKGROUND, True),
        (FOCUS, BACKGROUND, False),
        (BACKGROUND, 0, True),
        (FOCUS, 1, True),
        (FOCUS, 0, False),
        (FOCUS, True, True),
        (BACKGROUND, False, True),
        (FOCUS, Index(1), True),
        (FOCUS, Index(2), False),
        (FOCUS, "Focus", False),
        (BACKGROUND, 0.0, False),
        (FOCUS, 2**100, False),
        (FOCUS, -(2**100), False),
        (FOCUS, BadIndex(), False),
        (FOCUS, None, False),
    ],
)
def test_equality(left, right, equal):
    assert (left == right) is equal
    assert (left != right) is (not equal)
    assert (right == left) is equal  # reflected


def test_a_failing_index_is_swallowed():
    assert FOCUS.__eq__(BadIndex()) is NotImplemented
    assert FOCUS.__eq__(1.0) is NotImplemented


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
@pytest.mark.parametrize("other", [BACKGROUND, 0, 1])
def test_no_ordering(op, other):
    with pytest.raises(TypeError):
        op(FOCUS, other)


def test_text_and_integer_forms():
    assert repr(BACKGROUND) == str(BACKGROUND) == "ActionMode.Background"
    assert repr(FOCUS) == str(FOCUS) == "ActionMode.Focus"
    assert int(FOCUS) == 1 and int(BACKGROUND) == 0
    assert type(int(FOCUS)) is int


def test_not_hashable():
    assert ActionMode.__hash__ is None
    with pytest.raises(TypeError):
        hash(FOCUS)
    with pytest.raises(TypeError):
        {BACKGROUND: 1}


def test_reimport_keeps_the_same_objects():
    import importlib
    import sys

    saved = sys.modules.pop("pelorix")
    try:
        again = importlib.import_module("pelorix")
        assert again is not saved
        assert again.FOCUS is FOCUS and again.ActionMode is ActionMode
        assert again.AXApp is pelorix.AXApp
    finally:
        sys.modules["pelorix"] = saved
