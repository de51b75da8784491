"""The module `pip install .` builds carries none of the test machinery: the simulated desktop,
its entry points stay out. Only the init function is exported, and the entry of the C interface
through which the companion package reaches the module's own backend and search."""

import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def release_module() -> Path:
    """Builds the module as `pip install .` configures it (the simulated desktop off), in a
    build directory of its own that later runs reuse."""
    build = ROOT / "build" / "release-module"
    # The build tools requirements-dev.txt installs beside the interpreter come first.
    tools = os.pathsep.join([str(Path(sys.executable).parent), os.environ.get("PATH", "")])
    env = {**os.environ, "PATH": tools}
    configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja"]
    configure += ["-DCMAKE_BUILD_TYPE=Release", f"-DPython_EXECUTABLE={sys.executable}"]
    subprocess.run(configure, check=True, capture_output=True, env=env)
    subprocess.run(["cmake", "--build", str(build), "--target", "pelorix"], check=True, env=env)
    [module] = build.glob("pelorix*.so")
    return module


def test_the_release_module_exports_only_its_init_function_and_the_c_interface():
    module = release_module()
    symbols = subprocess.run(
        ["nm", "-D", "--defined-only", str(module)], check=True, capture_output=True, text=True
    ).stdout.split("\n")
    exported = {line.split()[-1] for line in symbols if line.strip()}
    assert exported == {"PyInit_pelorix", "pelorix_capi"}
    # Nothing of the simulated desktop is inside, exported or not.
    assert b"pelorix_simdesk" not in module.read_bytes()
