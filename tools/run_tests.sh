#!/usr/bin/env bash
# Runs every test of magnifex on this machine, fresh or not:
#   1. installs what the tests need (GoogleTest from Debian, pytest/mpmath/numpy from PyPI);
#   2. builds the numerical core with its C++ unit tests and runs them with ctest
#      (this includes the checks that regenerate the generated tables and diff them);
#   3. installs the module with `pip install .` and runs the pytest suite against it;
#   4. builds the module once more with AddressSanitizer and UBSan and runs the
#      pytest suite against that build.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}

if [ ! -f /usr/include/gtest/gtest.h ]; then
  echo "== installing GoogleTest (libgtest-dev)"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
fi
echo "== installing Python test dependencies"
"$PYTHON" -m pip install -q --disable-pip-version-check pytest mpmath numpy

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

echo "== C++ unit tests"
cmake -S . -B build/tests "${generator[@]}" -DMAGNIFEX_BUILD_MODULE=OFF -DMAGNIFEX_BUILD_TESTS=ON \
  -DPython_EXECUTABLE="$(command -v "$PYTHON")" >/dev/null
cmake --build build/tests -j2
(cd build/tests && ctest --output-on-failure -j2)

echo "== Python tests against the installed module"
"$PYTHON" -m pip install -q --disable-pip-version-check .
# Run from outside the source tree so that only the installed module is imported.
(cd tests && "$PYTHON" -m pytest -q -p no:cacheprovider python)

echo "== Python tests against the module built with AddressSanitizer and UBSan"
bash tools/run_sanitized_tests.sh
