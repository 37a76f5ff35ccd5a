"""Shared fixtures: C++ test drivers built against the engine sources.

Some properties are checked below the Python surface: a driver in
tests/engine/<name>.cpp is compiled together with the engine folders it needs
and run as a program. A driver exits non-zero with a message on failure.

    def test_something(engine_program, engine_env):
        exe = engine_program("levenshtein_property")              # src/text only
        exe = engine_program("my_driver", "text", "fuzzy")        # more folders
        subprocess.run([exe], env=engine_env, check=True)

When the suite runs under the sanitizers (the ASan runtime in LD_PRELOAD), the
drivers are built with -fsanitize=address,undefined as well, so they are checked
the same way; they link the runtime themselves and run with LD_PRELOAD removed.
"""

import os
import shlex
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
SRC = ROOT / "src"
DRIVERS = ROOT / "tests" / "engine"


def _sanitized_run():
    return "libasan" in os.environ.get("LD_PRELOAD", "")


def _driver_env():
    env = dict(os.environ)
    env.pop("LD_PRELOAD", None)
    if _sanitized_run():
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        env["UBSAN_OPTIONS"] = "halt_on_error=1:print_stacktrace=1"
    return env


@pytest.fixture(scope="session")
def engine_env():
    """Environment to run engine drivers in (no preloaded sanitizer runtime)."""
    return _driver_env()


@pytest.fixture(scope="session")
def engine_program(tmp_path_factory):
    """Returns build(name, *engine_folders) -> Path of the compiled driver.

    engine_folders name folders under src/ whose .cpp files are linked in
    (default: "text"). Each driver is built once per session.
    """
    out_dir = tmp_path_factory.mktemp("engine")
    cxx = shlex.split(os.environ.get("CXX") or "g++")
    flags = ["-std=c++20", "-O1", "-Wall", "-Wextra", "-I", str(SRC)]
    if _sanitized_run():
        flags += ["-g", "-fsanitize=address,undefined", "-fno-sanitize-recover=undefined",
                  "-fno-omit-frame-pointer"]
    objects = {}
    built = {}

    def compile_or_fail(cmd, what, cwd=None):
        result = subprocess.run(cmd, cwd=cwd, env=_driver_env(), capture_output=True, text=True)
        if result.returncode != 0:
            pytest.fail(f"compiling {what} failed ({shlex.join(cmd)}):\n"
                        f"{result.stdout}{result.stderr}", pytrace=False)

    def folder_objects(folder):
        # Each engine folder is compiled once per session, whatever the drivers.
        if folder not in objects:
            sources = sorted((SRC / folder).glob("*.cpp"))
            if not sources:
                pytest.fail(f"no engine sources in src/{folder}")
            obj_dir = out_dir / "obj" / folder
            obj_dir.mkdir(parents=True)
            compile_or_fail(cxx + flags + ["-c"] + [str(p) for p in sources], f"src/{folder}",
                            cwd=obj_dir)
            objects[folder] = [str(obj_dir / (p.stem + ".o")) for p in sources]
        return objects[folder]

    def build(name, *engine_folders):
        folders = engine_folders or ("text",)
        key = (name, folders)
        if key not in built:
            driver = DRIVERS / f"{name}.cpp"
            if not driver.is_file():
                pytest.fail(f"no engine driver {driver}")
            linked = [obj for folder in folders for obj in folder_objects(folder)]
            exe = out_dir / "-".join((name,) + folders)
            compile_or_fail(cxx + flags + [str(driver)] + linked + ["-o", str(exe)], driver.name)
            built[key] = exe
        return built[key]

    return build
