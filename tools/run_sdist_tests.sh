#!/usr/bin/env bash
# Builds the source distribution once with `python -m build --sdist`, then, for
# every CPython from 3.9 to 3.13 found on this machine (and the one that runs
# this script, $PYTHON), makes a fresh virtual environment, installs the source
# distribution with its `test` extra there (pip compiles it under that version,
# as it does on a user's machine) and runs the Python tests that the source
# distribution carries against it. Where a CPython 3.8 is found, checks that pip
# refuses to install the package under it, by its declared requires-python,
# before compiling anything.
#
# An interpreter is looked for first among pyenv's versions
# ($(pyenv root)/versions/3.X.Y, the newest patch release), then as python3.X on
# PATH; a version with neither is skipped, and a line says so. Any version that
# fails its installation or its tests fails the whole run, after all have run.
#
# Environment:
#   PYTHON                    the main interpreter (default python3); its version
#                             runs the suite with the default number of fuzzed calls
#   MAGNIFEX_SECONDARY_FUZZ_CALLS
#                             fuzzed calls for the other versions (default 2000)
#   MAGNIFEX_VERSION_JOBS     versions installed and tested at once (default 2)
#   MAGNIFEX_MAIN_VERSION_TESTS
#                             pytest arguments for the main interpreter's version
#                             (default: those of the others); tools/run_tests.sh,
#                             which has run the whole suite under that interpreter
#                             already, gives the tests of the installed package
#                             itself
#
# Usage: tools/run_sdist_tests.sh [pytest arguments...]
#   (default: the whole suite in tests/python)
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}
SUPPORTED_MINORS=(9 10 11 12 13)
secondary_fuzz_calls=${MAGNIFEX_SECONDARY_FUZZ_CALLS:-2000}
jobs=${MAGNIFEX_VERSION_JOBS:-2}
if [ $# -eq 0 ]; then set -- python; fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
pip_flags=(-q --disable-pip-version-check)

echo "== python -m build --sdist"
"$PYTHON" -m venv "$work/build-venv"
"$work/build-venv/bin/python" -m pip install "${pip_flags[@]}" build
"$work/build-venv/bin/python" -m build --sdist --outdir "$work/dist" . >"$work/build.log" 2>&1 \
  || { cat "$work/build.log"; exit 1; }
sdist=("$work"/dist/magnifex-*.tar.gz)
if [ ! -f "${sdist[0]}" ]; then
  echo "python -m build made no source distribution" >&2
  exit 1
fi
sdist=${sdist[0]}
echo "   $(basename "$sdist")"
# No build outputs, caches or compiled objects in the source distribution.
if tar tzf "$sdist" | grep -E '(^|/)(build|_skbuild|dist|__pycache__)/|\.(so|o|a|pyc)$'; then
  echo "the source distribution carries build outputs (listed above)" >&2
  exit 1
fi
tar xzf "$sdist" -C "$work"
sdist_tests=$(cd "$work"/magnifex-*/tests && pwd)

# "3.X" of an interpreter, or nothing if it does not run.
minor_version() {
  "$1" -c 'import sys; print("%d.%d" % sys.version_info[:2])' 2>/dev/null || true
}

# The interpreter of CPython 3.X ($1 = X): pyenv's newest 3.X.Y release, else
# python3.X on PATH if it runs (a pyenv shim of an inactive version does not).
find_python() {
  local minor=$1 root candidate releases=() newest
  root=$( (pyenv root 2>/dev/null) || echo "${PYENV_ROOT:-$HOME/.pyenv}")
  for candidate in "$root"/versions/3."$minor".*; do
    # plain releases only: not 3.13.0t (free-threaded), nor release candidates
    if [[ $(basename "$candidate") =~ ^3\.$minor\.[0-9]+$ ]] && [ -x "$candidate/bin/python3.$minor" ]; then
      releases+=("$candidate")
    fi
  done
  if [ ${#releases[@]} -gt 0 ]; then
    newest=$(printf '%s\n' "${releases[@]}" | sort -V | tail -n 1)/bin/python3.$minor
    if [ "$(minor_version "$newest")" = "3.$minor" ]; then
      echo "$newest"
      return
    fi
  fi
  if command -v "python3.$minor" >/dev/null 2>&1 && [ "$(minor_version "python3.$minor")" = "3.$minor" ]; then
    command -v "python3.$minor"
  fi
}

# Install the source distribution into a fresh venv of interpreter $2 and run
# its tests; $1 names the version, $3 is the number of fuzzed calls ("main" for
# the main interpreter: the default, and its own tests). Output goes to the
# caller's stdout.
test_version() {
  local name=$1 python=$2 fuzz_calls=$3 venv="$work/venv-$1"
  shift 3
  set -e
  echo "== CPython $name ($("$python" -c 'import sys; print(sys.version.split()[0])'), $python)"
  SECONDS=0
  "$python" -m venv "$venv"
  "$venv/bin/python" -m pip install "${pip_flags[@]}" "$sdist[test]"
  echo "   fresh venv, source distribution and test extra installed in ${SECONDS} s"
  cd "$sdist_tests"
  if [ "$fuzz_calls" = main ]; then
    if [ -n "${MAGNIFEX_MAIN_VERSION_TESTS:-}" ]; then
      # (word splitting intended: a list of pytest arguments)
      # shellcheck disable=SC2086
      set -- $MAGNIFEX_MAIN_VERSION_TESTS
      echo "   the whole suite ran under this interpreter before; here: $*"
    fi
  else
    echo "   MAGNIFEX_FUZZ_CALLS=$fuzz_calls"
    export MAGNIFEX_FUZZ_CALLS=$fuzz_calls
  fi
  "$venv/bin/python" -m pytest -q -p no:cacheprovider "$@"
}

main_minor=$(minor_version "$PYTHON")
[ -n "$main_minor" ] || { echo "cannot run $PYTHON" >&2; exit 1; }
names=() pythons=() fuzz=() skipped=()
for minor in "${SUPPORTED_MINORS[@]}"; do
  if [ "3.$minor" = "$main_minor" ]; then
    names+=("3.$minor") pythons+=("$(command -v "$PYTHON")") fuzz+=("main")
  elif python=$(find_python "$minor") && [ -n "$python" ]; then
    names+=("3.$minor") pythons+=("$python") fuzz+=("$secondary_fuzz_calls")
  else
    echo "== CPython 3.$minor: skipped, not found (no pyenv version 3.$minor.*, no python3.$minor on PATH)"
    skipped+=("3.$minor")
  fi
done
if [[ " ${names[*]} " != *" $main_minor "* ]]; then
  # a main interpreter outside 3.9-3.13 still tests its own build
  names+=("$main_minor") pythons+=("$(command -v "$PYTHON")") fuzz+=("main")
fi

# Versions below 3.9: pip must refuse by requires-python, before any compiling.
if python=$(find_python 8) && [ -n "$python" ]; then
  echo "== CPython 3.8 ($python): pip must refuse the package"
  "$python" -m venv "$work/venv-3.8"
  if "$work/venv-3.8/bin/python" -m pip install --disable-pip-version-check "$sdist" >"$work/3.8.log" 2>&1; then
    echo "pip installed magnifex under Python 3.8, which it does not support" >&2
    exit 1
  fi
  if ! refusal=$(grep -E "requires a different Python" "$work/3.8.log"); then
    cat "$work/3.8.log" >&2
    echo "pip failed under Python 3.8 for another reason than requires-python (log above)" >&2
    exit 1
  fi
  echo "   $refusal"
else
  echo "== CPython 3.8: not found, the requires-python refusal is not checked"
fi

# Up to $jobs versions at a time, each into its own log; a log is shown whole
# when its version ends, in the order of the versions.
pids=() results=()
show() {  # wait for version $1, show its log, note its outcome
  local rc=0
  wait "${pids[$1]}" || rc=$?
  cat "$work/log-${names[$1]}"
  if [ $rc -eq 0 ]; then
    results+=("${names[$1]}: $(tail -n 1 "$work/log-${names[$1]}" | sed 's/^=* *//; s/ *=*$//')")
  else
    results+=("${names[$1]}: FAILED (exit $rc)")
  fi
}
shown=0
for i in "${!names[@]}"; do
  test_version "${names[$i]}" "${pythons[$i]}" "${fuzz[$i]}" "$@" >"$work/log-${names[$i]}" 2>&1 &
  pids[$i]=$!
  while [ $((i + 1 - shown)) -ge "$jobs" ]; do
    show "$shown"
    shown=$((shown + 1))
  done
done
while [ "$shown" -lt "${#names[@]}" ]; do
  show "$shown"
  shown=$((shown + 1))
done

echo "== source distribution tested under CPython ${names[*]}"
failed=0
for line in "${results[@]}"; do
  echo "   $line"
  [[ $line == *FAILED* ]] && failed=1
done
if [ ${#skipped[@]} -gt 0 ]; then
  echo "   skipped, not found: CPython ${skipped[*]}"
fi
exit $failed
