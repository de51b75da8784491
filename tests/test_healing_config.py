"""HealingConfig: defaults, conversions, copies, and installing it process-wide."""

import pytest

from pelorix import HealingConfig, configure_healing

DEFAULTS = ["data_testid", "aria_label", "identifier", "title", "xpath", "position", "visual_vlm"]


def fake_scalar(module, name, truth):
    cls = type(name, (), {"__bool__": lambda self: truth, "__module__": module})
    return cls()


def test_defaults():
    config = HealingConfig()
    assert config.strategies == DEFAULTS
    assert config.max_heal_time_ms == 100
    assert config.cache_healed is True


@pytest.mark.parametrize(
    "strategies, stored",
    [
        (None, DEFAULTS),
        ([], []),
        (("xpath", "title"), ["xpath", "title"]),
        (["x", "x", "unknown"], ["x", "x", "unknown"]),
        (["é", ""], ["é", ""]),
    ],
)
def test_strategies_are_stored_as_given(strategies, stored):
    assert HealingConfig(strategies=strategies).strategies == stored
    assert HealingConfig(strategies).strategies == stored


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"strategies": "xpath"}, TypeError, "argument 'strategies': "),
        ({"strategies": 5}, TypeError, "argument 'strategies': "),
        ({"strategies": {"a": 1}}, TypeError, "argument 'strategies': "),
        ({"strategies": ["a", 1]}, TypeError, "argument 'strategies': 'int' object cannot be converted to 'str'"),
        ({"max_heal_time_ms": "5"}, TypeError, "argument 'max_heal_time_ms': "),
        ({"max_heal_time_ms": None}, TypeError, "argument 'max_heal_time_ms': "),
        ({"max_heal_time_ms": 1.5}, TypeError, "argument 'max_heal_time_ms': "),
        ({"max_heal_time_ms": -1}, OverflowError, ""),
        ({"max_heal_time_ms": 2**64}, OverflowError, ""),
        ({"cache_healed": 1}, TypeError, "argument 'cache_healed': 'int' object cannot be converted to 'bool'"),
        ({"cache_healed": None}, TypeError, "argument 'cache_healed': "),
        ({"cache_healed": fake_scalar("numpyx", "bool_", True)}, TypeError, "argument 'cache_healed': "),
    ],
)
def test_bad_arguments(kwargs, error, message):
    with pytest.raises(error) as caught:
        HealingConfig(**kwargs)
    assert type(caught.value) is error
    assert str(caught.value).startswith(message)
    if error is TypeError:
        assert isinstance(caught.value.__cause__, TypeError)


@pytest.mark.parametrize("value", [0, 2**64 - 1, True])
def test_time_budget_range(value):
    assert HealingConfig(max_heal_time_ms=value).max_heal_time_ms == int(value)


@pytest.mark.parametrize("name", ["bool_", "bool"])
@pytest.mark.parametrize("truth", [True, False])
def test_numpy_booleans_are_booleans(name, truth):
    config = HealingConfig(cache_healed=fake_scalar("numpy", name, truth))
    assert config.cache_healed is truth


def test_real_numpy_booleans():
    numpy = pytest.importorskip("numpy")
    assert HealingConfig(cache_healed=numpy.bool_(False)).cache_healed is False


def test_getter_returns_a_fresh_copy():
    config = HealingConfig(strategies=["a"])
    got = config.strategies
    got.append("b")
    assert config.strategies == ["a"]
    assert config.strategies is not config.strategies


def test_setters_replace_and_failed_setters_change_nothing():
    config = HealingConfig()
    source = ["x"]
    config.strategies = source
    source.append("y")
    assert config.strategies == ["x"]
    config.max_heal_time_ms = 7
    config.cache_healed = False
    for name, bad in [("strategies", "abc"), ("max_heal_time_ms", -1), ("cache_healed", 0)]:
        with pytest.raises((TypeError, OverflowError)):
            setattr(config, name, bad)
    assert (config.strategies, config.max_heal_time_ms, config.cache_healed) == (["x"], 7, False)


@pytest.mark.parametrize("name", ["strategies", "max_heal_time_ms", "cache_healed"])
def test_properties_cannot_be_deleted(name):
    config = HealingConfig()
    with pytest.raises(AttributeError) as caught:
        delattr(config, name)
    assert str(caught.value) == "property has no deleter"


def test_configure_healing_takes_only_configs():
    assert configure_healing(HealingConfig()) is None
    assert configure_healing(config=HealingConfig(strategies=[])) is None
    for bad in [None, {}, "config", HealingConfig]:
        with pytest.raises(TypeError) as caught:
            configure_healing(bad)
        assert str(caught.value).startswith("argument 'config': ")
        assert str(caught.value).endswith("cannot be converted to 'HealingConfig'")
        assert isinstance(caught.value.__cause__, TypeError)
