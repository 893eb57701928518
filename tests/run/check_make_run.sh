#!/usr/bin/env bash
# `make run` as a machine without a display runs it, checked:
#   - its screen reader on drawn frames (no Wine);
#   - a missing folder and a file given as FOLDER are refused before
#     anything starts (no build, no Wine prefix);
#   - one headless session on the sample tree: what it printed (the final
#     box's counts, the report's lines) against the end-to-end suite's
#     flagging rule applied to every sample file, and its four screenshots.
#
#   tests/run/check_make_run.sh build/win32
#
# The session gets its own Wine prefix and output folder, removed after.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
export PYTHONPATH="$root/python${PYTHONPATH:+:$PYTHONPATH}" PYTHONDONTWRITEBYTECODE=1  # escaner_tools
build=$(cd "${1:?usage: check_make_run.sh BUILD_DIR}" && pwd)
work=$(mktemp -d /tmp/escaner-run-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
pass() { echo "PASS make run: $*"; }
fail() { echo "FAIL make run: $*"; failed=$((failed + 1)); }

# -B: no __pycache__ left in the source tree.
if python3 -B "$root/tests/run/screen_reader_test.py" >"$work/unit.txt" 2>&1; then
  pass "screen reader cases"
else
  fail "screen reader cases"
  sed 's/^/     /' "$work/unit.txt"
fi

touch "$work/a-file"
while IFS='|' read -r folder message; do
  ESCANER_WINEPREFIX=$work/unused-prefix "$root/scripts/run.sh" "$build/Escaner.exe" "$folder" \
    >"$work/refusal.txt" 2>&1
  status=$?
  if [ "$status" -ne 0 ] && grep -q "$message" "$work/refusal.txt" && [ ! -e "$work/unused-prefix" ]; then
    pass "FOLDER=$folder refused: $message"
  else
    fail "FOLDER=$folder: status $status, printed: $(cat "$work/refusal.txt")"
  fi
done <<EOF
$work/missing|does not exist
$work/a-file|is not a folder
EOF

echo "make run, headless, on the sample tree:"
env -u DISPLAY ESCANER_WINEPREFIX="$work/prefix" ESCANER_RUN_OUT="$work/out" \
  "$root/scripts/run.sh" "$build/Escaner.exe" >"$work/output.txt" 2>&1
status=$?
sed 's/^/  | /' "$work/output.txt"
python3 -B "$root/tests/run/check_run_output.py" --tree "$root/samples" \
  --output "$work/output.txt" --out "$work/out" --status "$status"
failed=$((failed + $?))

if [ "$failed" -eq 0 ]; then
  echo "PASSED: make run's checks"
else
  echo "FAILED: $failed of make run's checks"
fi
[ "$failed" -eq 0 ]
