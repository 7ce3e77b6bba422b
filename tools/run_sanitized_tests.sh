#!/usr/bin/env bash
# Builds the module with AddressSanitizer and UndefinedBehaviorSanitizer
# (CMake option MAGNIFEX_SANITIZE) into its own build directory and runs the
# pytest suite against that build.
#
# The interpreter itself is not instrumented, so the ASan runtime is preloaded,
# together with the C++ runtime (python does not link it, and ASan's
# interceptor of C++ throws must find it at start-up); leak detection is off because CPython keeps memory alive until exit by
# design. Any UBSan report ends the run (halt_on_error=1).
#
# Usage: tools/run_sanitized_tests.sh [pytest arguments...]
#   (default: the whole suite in tests/python)
# MAGNIFEX_SANITIZE_STEPS=build (or test) does the build (or the tests against
# a build made before) alone; tools/run_tests.sh runs other tests beside each.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}
BUILD_DIR=${BUILD_DIR:-build/sanitize}
CXX=${CXX:-g++}

# Run on its own it installs what the suite needs; tools/run_tests.sh has
# already installed the module's `test` extra.
if [ -z "${MAGNIFEX_TEST_DEPENDENCIES_INSTALLED:-}" ]; then
    # the `test` extra of pyproject.toml
  "$PYTHON" -m pip install -q --disable-pip-version-check \
    pytest mpmath numpy scipy hypothesis mypy matplotlib "dask[distributed]"
fi

steps=${MAGNIFEX_SANITIZE_STEPS:-build test}
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

if [[ " $steps " == *" build "* ]]; then
  echo "== building the module with ASan and UBSan in $BUILD_DIR"
  cmake -S . -B "$BUILD_DIR" "${generator[@]}" \
    -DMAGNIFEX_BUILD_MODULE=ON -DMAGNIFEX_BUILD_TESTS=OFF -DMAGNIFEX_SANITIZE=ON \
    -DCMAKE_CXX_COMPILER="$(command -v "$CXX")" \
    -DPython_EXECUTABLE="$(command -v "$PYTHON")" >/dev/null
  cmake --build "$BUILD_DIR" -j2
fi
[[ " $steps " == *" test "* ]] || exit 0

module_dir=$(cd "$BUILD_DIR" && pwd)
asan_runtime=$("$CXX" -print-file-name=libasan.so)
cxx_runtime=$("$CXX" -print-file-name=libstdc++.so)
for runtime in "$asan_runtime" "$cxx_runtime"; do
  if [ ! -e "$runtime" ]; then
    echo "cannot find $runtime of $CXX" >&2
    exit 1
  fi
done

echo "== pytest with the sanitized module"
if [ $# -eq 0 ]; then set -- python; fi
# From inside tests/, so that only the sanitized build can be imported
# (subprocesses started by the tests inherit the same environment).
cd tests
export PYTHONPATH="$module_dir${PYTHONPATH:+:$PYTHONPATH}"
export LD_PRELOAD="$asan_runtime $cxx_runtime"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
imported=$("$PYTHON" -c 'import os, magnifex; print(os.path.dirname(os.path.abspath(magnifex.__file__)))')
if [ "$imported" != "$module_dir" ]; then
  echo "magnifex is imported from $imported, not from the sanitized build $module_dir" >&2
  exit 1
fi
"$PYTHON" -m pytest -q -p no:cacheprovider "$@"
