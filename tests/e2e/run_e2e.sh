#!/usr/bin/env bash
# The end-to-end suite: the real Escaner.exe driven under Wine as a user would.
# Run inside scripts/with-wine.sh (Wine prefix, DISPLAY, wineserver ready):
#   scripts/with-wine.sh tests/e2e/run_e2e.sh build/win32 [CASE ...]
# Exits non-zero when any case fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PYTHONPATH="$here/../../python${PYTHONPATH:+:$PYTHONPATH}" PYTHONDONTWRITEBYTECODE=1  # escaner_tools
build_dir=${1:?usage: run_e2e.sh BUILD_DIR [CASE ...]}
shift
: "${WINEPREFIX:?run inside scripts/with-wine.sh}" "${DISPLAY:?run inside scripts/with-wine.sh}"
# -B: no __pycache__ left in the source tree.
exec python3 -B "$here/e2e_cases.py" "$build_dir" "$@"
