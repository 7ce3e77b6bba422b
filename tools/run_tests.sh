#!/usr/bin/env bash
# Runs every test of magnifex on this machine, fresh or not, with the Python
# named by $PYTHON (default: python3 on PATH; .ci/run hands it a fresh venv):
#   1. installs GoogleTest from Debian if it is missing, then the module with its
#      `test` extra (pytest, mpmath, numpy, hypothesis, mypy, matplotlib, dask);
#   2. builds the numerical core with its C++ unit tests and runs them with ctest
#      (this includes the checks that regenerate the generated tables and compare them);
#   3. runs the pytest suite against the installed module;
#   4. builds the module once more with AddressSanitizer and UBSan and runs the
#      pytest suite against that build;
#   5. builds the source distribution with `python -m build --sdist` and, under
#      every CPython from 3.9 to 3.13 found on the machine (pyenv's versions or
#      python3.X on PATH; tools/run_sdist_tests.sh), installs it into a fresh venv,
#      which compiles it there, and runs the source distribution's tests; checks
#      that pip refuses to install it under a CPython 3.8, if one is found.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}
export PYTHON

if [ ! -f /usr/include/gtest/gtest.h ]; then
  echo "== installing GoogleTest (libgtest-dev)"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
fi
echo "== installing the module and its test dependencies with $PYTHON"
"$PYTHON" -m pip install -q --disable-pip-version-check ".[test]"

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

echo "== C++ unit tests"
cmake -S . -B build/tests "${generator[@]}" -DMAGNIFEX_BUILD_MODULE=OFF -DMAGNIFEX_BUILD_TESTS=ON \
  -DPython_EXECUTABLE="$(command -v "$PYTHON")" >/dev/null
cmake --build build/tests -j2
(cd build/tests && ctest --output-on-failure -j2)

echo "== Python tests against the installed module"
# Run from outside the source tree so that only the installed module is imported.
(cd tests && "$PYTHON" -m pytest -q -p no:cacheprovider python)

echo "== Python tests against the module built with AddressSanitizer and UBSan"
MAGNIFEX_TEST_DEPENDENCIES_INSTALLED=1 bash tools/run_sanitized_tests.sh

echo "== packaging: the source distribution, installed and tested under every CPython 3.9-3.13 found"
bash tools/run_sdist_tests.sh
