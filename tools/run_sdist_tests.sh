#!/usr/bin/env bash
# Builds the source distribution with `python -m build`, and the wheel from
# it (build unpacks the source distribution into a temporary folder and
# compiles it there, as pip does on a user's machine), installs that wheel with
# its `test` extra into a fresh virtual environment and runs the Python tests
# that the source distribution carries against it. (Building the wheel from the
# source distribution is what `pip install magnifex-*.tar.gz` does; doing it
# once through build checks both at the cost of one compilation.)
#
# Usage: tools/run_sdist_tests.sh [pytest arguments...]
#   (default: the whole suite in tests/python)
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$PYTHON" -m venv "$work/venv"
venv_python="$work/venv/bin/python"
pip=("$venv_python" -m pip install -q --disable-pip-version-check)

echo "== python -m build (source distribution, and a wheel built from it)"
"${pip[@]}" build
"$venv_python" -m build --outdir "$work/dist" . >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
sdist=("$work"/dist/magnifex-*.tar.gz)
wheel=("$work"/dist/magnifex-*.whl)
if [ ! -f "${sdist[0]}" ] || [ ! -f "${wheel[0]}" ]; then
  echo "python -m build made no source distribution or no wheel" >&2
  exit 1
fi
echo "   $(basename "${sdist[0]}"), $(basename "${wheel[0]}")"
# No build outputs, caches or compiled objects in the source distribution.
if tar tzf "${sdist[0]}" | grep -E '(^|/)(build|_skbuild|dist|__pycache__)/|\.(so|o|a|pyc)$'; then
  echo "the source distribution carries build outputs (listed above)" >&2
  exit 1
fi

echo "== installing the wheel built from the source distribution into a fresh virtual environment"
"${pip[@]}" "${wheel[0]}[test]"

echo "== Python tests of the source distribution against the installed module"
tar xzf "${sdist[0]}" -C "$work"
cd "$work"/magnifex-*/tests
if [ $# -eq 0 ]; then set -- python; fi
"$venv_python" -m pytest -q -p no:cacheprovider "$@"
