"""What an import of pelorix registers, and how its classes and members present themselves."""

import inspect
import tomllib
from pathlib import Path

import pytest

import pelorix

REGISTERED = [
    "ActionMode",
    "AXApp",
    "AXElement",
    "HealingConfig",
    "app",
    "is_accessibility_enabled",
    "configure_healing",
    "BACKGROUND",
    "FOCUS",
    "__version__",
]


def test_registers_exactly_its_names_in_order():
    names = [n for n in vars(pelorix) if not n.startswith("__") or n == "__version__"]
    assert names == REGISTERED


def test_module_identity():
    pyproject = Path(__file__).resolve().parent.parent / "pyproject.toml"
    assert pelorix.__version__ == tomllib.loads(pyproject.read_text())["project"]["version"]
    assert pelorix.__doc__ == "Initialize the Python module"
    assert pelorix.__file__.endswith("pelorix.abi3.so")


@pytest.mark.parametrize(
    "cls, doc",
    [
        (pelorix.ActionMode, "Action mode for element interactions"),
        (pelorix.AXApp, "Application wrapper providing the main entry point for GUI automation"),
        (pelorix.AXElement, "Wrapper for an accessibility element"),
        (pelorix.HealingConfig, "Healing configuration"),
    ],
)
def test_classes_live_in_builtins_with_their_docs(cls, doc):
    assert cls.__module__ == "builtins"
    assert cls.__name__ == cls.__qualname__
    assert cls.__doc__ == doc
    assert "__repr__" not in vars(cls) or cls is pelorix.ActionMode
    assert "__hash__" not in vars(cls) or vars(cls)["__hash__"] is None


@pytest.mark.parametrize("cls", [pelorix.ActionMode, pelorix.AXApp, pelorix.AXElement])
def test_classes_without_constructor_refuse_instances(cls):
    with pytest.raises(TypeError) as caught:
        cls()
    assert str(caught.value) == f"cannot create 'builtins.{cls.__name__}' instances"


def test_healing_config_is_the_constructible_class():
    assert inspect.signature(pelorix.HealingConfig) == inspect.Signature(
        [
            inspect.Parameter("strategies", inspect.Parameter.POSITIONAL_OR_KEYWORD, default=None),
            inspect.Parameter("max_heal_time_ms", inspect.Parameter.POSITIONAL_OR_KEYWORD, default=100),
            inspect.Parameter("cache_healed", inspect.Parameter.POSITIONAL_OR_KEYWORD, default=True),
        ]
    )


METHODS = [
    ("AXApp", "is_running", "($self)", "Check if the application is running"),
    ("AXApp", "find", "($self, query, timeout_ms=None)", "Find an element by query"),
    (
        "AXApp",
        "find_by_role",
        "($self, role, title=None, identifier=None, label=None)",
        "Find an element by role and optional attributes",
    ),
    ("AXApp", "wait_for_element", "($self, query, timeout_ms=5000)", "Wait for an element to appear"),
    ("AXApp", "wait_for_idle", "($self, timeout_ms=5000)", "Wait for the application to become idle"),
    ("AXApp", "is_idle", "($self)", "Check if the application is currently idle (non-blocking)"),
    ("AXApp", "screenshot", "($self)", "Take a screenshot of the application window"),
    ("AXApp", "windows", "($self)", "Get all windows of the application"),
    ("AXApp", "main_window", "($self)", "Get the main window"),
    ("AXApp", "terminate", "($self)", "Terminate the application"),
    ("AXElement", "role", "($self)", 'Get the element\'s role (e.g., "`AXButton`", "`AXTextField`")'),
    ("AXElement", "title", "($self)", "Get the element's title"),
    ("AXElement", "value", "($self)", "Get the element's value"),
    ("AXElement", "description", "($self)", "Get the element's description"),
    ("AXElement", "label", "($self)", "Get the element's label"),
    ("AXElement", "identifier", "($self)", "Get the element's identifier"),
    ("AXElement", "enabled", "($self)", "Check if the element is enabled"),
    ("AXElement", "focused", "($self)", "Check if the element currently has keyboard focus."),
    ("AXElement", "exists", "($self)", "Check if the element exists in the UI"),
    ("AXElement", "bounds", "($self)", "Get the element's bounds (x, y, width, height)"),
    ("AXElement", "click", "($self, mode=None)", "Click the element"),
    ("AXElement", "double_click", "($self, mode=None)", "Double-click the element"),
    ("AXElement", "right_click", "($self, mode=None)", "Right-click the element"),
    ("AXElement", "type_text", "($self, text, mode=None)", "Type text into the element"),
    ("AXElement", "set_value", "($self, value)", "Set the element's value"),
    ("AXElement", "screenshot", "($self)", "Take a screenshot of just this element"),
    ("AXElement", "find", "($self, query, timeout_ms=None)", "Find a child element"),
]


@pytest.mark.parametrize("cls, name, signature, first_line", METHODS)
def test_methods_carry_signature_and_doc(cls, name, signature, first_line):
    method = vars(getattr(pelorix, cls))[name]
    assert method.__text_signature__ == signature
    assert method.__doc__.splitlines()[0] == first_line
    inspect.signature(method)  # parses


def test_classes_have_exactly_the_listed_methods():
    for cls in ("AXApp", "AXElement"):
        public = {n for n in vars(getattr(pelorix, cls)) if not n.startswith("_")}
        listed = {name for owner, name, _, _ in METHODS if owner == cls}
        if cls == "AXApp":
            listed |= {"pid", "bundle_id"}
        assert public == listed


@pytest.mark.parametrize(
    "cls, name, doc",
    [
        ("AXApp", "pid", "Get the process ID"),
        ("AXApp", "bundle_id", "Get the bundle identifier"),
        ("HealingConfig", "strategies", "Ordered list of strategies to try"),
        ("HealingConfig", "max_heal_time_ms", "Maximum time budget for healing (ms)"),
        ("HealingConfig", "cache_healed", "Whether to cache successful heals"),
    ],
)
def test_properties(cls, name, doc):
    descriptor = vars(getattr(pelorix, cls))[name]
    assert inspect.isgetsetdescriptor(descriptor)
    assert descriptor.__doc__ == doc


@pytest.mark.parametrize(
    "function, signature, first_line",
    [
        (pelorix.app, "(name=None, bundle_id=None, pid=None)", "Connect to an application"),
        (pelorix.is_accessibility_enabled, "()", "Check if accessibility permissions are enabled"),
        (pelorix.configure_healing, "(config)", "Configure the self-healing system"),
    ],
)
def test_module_functions(function, signature, first_line):
    assert function.__text_signature__ == signature
    assert str(inspect.signature(function)) == signature
    assert function.__doc__.splitlines()[0] == first_line
    assert function.__module__ == "pelorix"


def test_a_method_called_on_the_wrong_object_is_refused():
    with pytest.raises(TypeError):
        pelorix.AXElement.role(object())
    with pytest.raises(TypeError):
        pelorix.AXApp.pid.__get__(object())


def test_the_installed_stubs_describe_the_module():
    import ast

    here = Path(pelorix.__file__).parent
    assert (here / "py.typed").exists()
    stub = ast.parse((here / "pelorix.pyi").read_text(encoding="utf-8"))

    def public(names):
        return {n for n in names if not n.startswith("_") or n == "__version__"}

    declared = {}
    for item in stub.body:
        if isinstance(item, ast.ClassDef):
            members = {
                getattr(member, "name", None) or getattr(getattr(member, "target", None), "id", None)
                for member in item.body
            }
            declared[item.name] = public(m for m in members if m)
        elif isinstance(item, ast.FunctionDef):
            declared[item.name] = None
        elif isinstance(item, ast.AnnAssign):
            declared[item.target.id] = None
    assert set(declared) == public(dir(pelorix))
    for name, members in declared.items():
        if members is not None:
            cls = getattr(pelorix, name)
            assert members - {"__int__", "__index__", "__eq__", "__hash__"} == public(vars(cls)), name
