#!/usr/bin/env bash
# Builds the extension with CMake into a build folder of its own and stages an
# importable package there, for quick test runs without a pip install:
#
#   tools/dev_build.sh build/dev            # then: PYTHONPATH=build/dev/site pytest tests
#   tools/dev_build.sh build/asan -DTAVRELL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
#
# PYTHON selects the interpreter (default: python3).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: tools/dev_build.sh BUILD_DIR [cmake options...]}
shift
python=${PYTHON:-python3}
mkdir -p "$build"
build=$(cd "$build" && pwd)
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" \
    -DPython_EXECUTABLE="$(command -v "$python")" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
fi
cmake --build "$build" -j2 >&2
site="$build/site/tavrell_search"
mkdir -p "$site"
cp "$root"/python/tavrell_search/*.py "$root"/python/tavrell_search/py.typed "$site"/
cp "$root"/python/tavrell_search/*.pyi "$site"/ 2>/dev/null || true
cp "$build"/_tavrell_search*.so "$site"/
echo "$build/site"
