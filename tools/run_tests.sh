#!/usr/bin/env bash
# Runs every test of magnifex on this machine, fresh or not, with the Python
# named by $PYTHON (default: python3 on PATH; .ci/run hands it a fresh venv):
#   1. installs GoogleTest from Debian if it is missing, then the module with its
#      `test` extra (pytest, mpmath, numpy, hypothesis, mypy, matplotlib, dask);
#   2. builds the numerical core with its C++ unit tests and runs them with ctest
#      (this includes the checks that regenerate the generated tables and compare them);
#   3. runs the pytest suite against the installed module;
#   4. builds the module once more with AddressSanitizer and UBSan (beside 3) and
#      runs the pytest suite against that build;
#   5. builds the source distribution with `python -m build --sdist` and, under
#      every CPython from 3.9 to 3.13 found on the machine (pyenv's versions or
#      python3.X on PATH; tools/run_sdist_tests.sh), installs it into a fresh venv,
#      which compiles it there, and runs the source distribution's tests (beside
#      4's tests; under $PYTHON's version, which ran the whole suite in 3, the
#      tests of the installed package itself); checks that pip refuses to
#      install it under a CPython 3.8, if one is found.
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
# The sampler's tests (jax, numpyro: the `hmc` extra) run with this Python only.
"$PYTHON" -m pip install -q --disable-pip-version-check ".[test,hmc]"

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

echo "== C++ unit tests"
cmake -S . -B build/tests "${generator[@]}" -DMAGNIFEX_BUILD_MODULE=OFF -DMAGNIFEX_BUILD_TESTS=ON \
  -DPython_EXECUTABLE="$(command -v "$PYTHON")" >/dev/null
cmake --build build/tests -j2
(cd build/tests && ctest --output-on-failure -j2)

# The pytest runs use one core of the two: each goes beside a step that
# builds (the sanitized module), or installs and tests (the source
# distribution), into a log shown when both have ended.
logs="$(mktemp -d)"
# (a step that fails ends the run: the tests beside it end with it, their
# processes too)
stop_beside() {
  local job
  for job in $(jobs -p); do
    if command -v pkill >/dev/null 2>&1; then pkill -P "$job" 2>/dev/null || true; fi
    kill "$job" 2>/dev/null || true
  done
  rm -rf "$logs"
  return 0
}
trap stop_beside EXIT
# Wait for pid $1, show log $2, fail with its exit status after saying what
# ($3) failed.
finish() {
  local rc=0
  wait "$1" || rc=$?
  cat "$2"
  if [ $rc -ne 0 ]; then
    echo "$3 failed (exit $rc)" >&2
    exit $rc
  fi
}

echo "== Python tests against the installed module (beside the sanitized build)"
# Run from outside the source tree so that only the installed module is imported.
(cd tests && exec "$PYTHON" -m pytest -q -p no:cacheprovider python) >"$logs/installed.log" 2>&1 &
installed=$!
MAGNIFEX_TEST_DEPENDENCIES_INSTALLED=1 MAGNIFEX_SANITIZE_STEPS=build bash tools/run_sanitized_tests.sh
finish "$installed" "$logs/installed.log" "pytest against the installed module"

echo "== Python tests against the module built with AddressSanitizer and UBSan (beside the packaging tests)"
MAGNIFEX_TEST_DEPENDENCIES_INSTALLED=1 MAGNIFEX_SANITIZE_STEPS=test bash tools/run_sanitized_tests.sh \
  >"$logs/sanitized.log" 2>&1 &
sanitized=$!

echo "== packaging: the source distribution, installed and tested under every CPython 3.9-3.13 found"
# $PYTHON's version ran the whole suite above: its installed source
# distribution runs the tests of the package itself (stubs, panic reports'
# paths, the module's table, the examples and their data).
packaging=0
MAGNIFEX_MAIN_VERSION_TESTS="python/test_packaging.py python/test_stubs.py python/test_binding_module.py python/test_examples.py" \
  bash tools/run_sdist_tests.sh || packaging=$?
echo "== (the sanitized run, beside the packaging tests)"
finish "$sanitized" "$logs/sanitized.log" "pytest against the sanitized module"
exit $packaging
