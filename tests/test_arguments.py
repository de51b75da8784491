"""How every function reads its arguments: CPython's wording for call errors, and conversion
errors that name the argument and keep the underlying error as their cause."""

import pytest

import pelorix
from simdesk import stand_in
from pelorix import HealingConfig, app, configure_healing


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: app(1, 2, 3, 4), "app() takes from 0 to 3 positional arguments but 4 were given"),
        (lambda: app(foo=1), "app() got an unexpected keyword argument 'foo'"),
        (lambda: app("x", name="y"), "app() got multiple values for argument 'name'"),
        (lambda: app(None, None, 5, pid=6), "app() got multiple values for argument 'pid'"),
        (lambda: configure_healing(), "configure_healing() missing 1 required positional argument: 'config'"),
        (lambda: configure_healing(1, 2), "configure_healing() takes 1 positional arguments but 2 were given"),
        (lambda: configure_healing(conf=1), "configure_healing() got an unexpected keyword argument 'conf'"),
        (
            lambda: HealingConfig(None, 1, True, 4),
            "HealingConfig.__new__() takes from 0 to 3 positional arguments but 4 were given",
        ),
        (lambda: HealingConfig(bogus=1), "HealingConfig.__new__() got an unexpected keyword argument 'bogus'"),
        (
            lambda: HealingConfig([], strategies=[]),
            "HealingConfig.__new__() got multiple values for argument 'strategies'",
        ),
    ],
)
def test_call_errors_are_worded_like_cpython(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def test_a_function_without_parameters_takes_none():
    with pytest.raises(TypeError):
        pelorix.is_accessibility_enabled(1)
    with pytest.raises(TypeError):
        pelorix.is_accessibility_enabled(x=1)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class IndexRaises:
    def __init__(self, error):
        self.error = error

    def __index__(self):
        raise self.error


class Text(str):
    pass


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"name": 5}, "argument 'name': 'int' object cannot be converted to 'str'"),
        ({"name": 5, "pid": 1}, "argument 'name': 'int' object cannot be converted to 'str'"),
        ({"name": b"Finder"}, "argument 'name': 'bytes' object cannot be converted to 'str'"),
        ({"bundle_id": ["a"], "pid": 1}, "argument 'bundle_id': 'list' object cannot be converted to 'str'"),
        ({"pid": "12"}, "argument 'pid': 'str' object cannot be interpreted as an integer"),
        ({"pid": 1.0}, "argument 'pid': 'float' object cannot be interpreted as an integer"),
        ({"pid": IndexRaises(TypeError("nope"))}, "argument 'pid': nope"),
    ],
)
def test_conversion_errors_name_the_argument_and_keep_the_cause(kwargs, message):
    with pytest.raises(TypeError) as caught:
        app(**kwargs)
    assert str(caught.value) == message
    assert isinstance(caught.value.__cause__, TypeError)
    assert message.endswith(str(caught.value.__cause__))


@pytest.mark.parametrize(
    "pid, message",
    [
        (-1, "out of range integral type conversion attempted"),
        (2**32, "out of range integral type conversion attempted"),
        (Index(-5), "out of range integral type conversion attempted"),
        (2**63, None),  # beyond 64 bits: the interpreter's own message
        (-(2**70), None),
    ],
)
def test_pid_range(pid, message):
    with pytest.raises(OverflowError) as caught:
        app(pid=pid)
    if message is not None:
        assert str(caught.value) == message
    assert caught.value.__cause__ is None


def test_other_errors_from_index_pass_unchanged():
    with pytest.raises(ZeroDivisionError):
        app(pid=IndexRaises(ZeroDivisionError("boom")))


@pytest.mark.parametrize("args", [(), (None, None, None), ({"name": None},)])
def test_app_needs_one_way_to_the_process(args):
    kwargs = args[0] if args and isinstance(args[0], dict) else {}
    positional = () if kwargs else args
    with pytest.raises(ValueError) as caught:
        app(*positional, **kwargs)
    assert str(caught.value) == "Must provide name, bundle_id, or pid"


def test_str_subclasses_are_str_and_lone_surrogates_fail_to_encode(desktop, tmp_path, monkeypatch):
    pgrep = stand_in(tmp_path, monkeypatch, "pgrep", stdout="4242\n")
    with pytest.raises(UnicodeEncodeError):
        app(name="\ud800")
    assert app(name=Text("Finder")).pid == 4242
    assert pgrep.calls == [["-x", "Finder"]]
