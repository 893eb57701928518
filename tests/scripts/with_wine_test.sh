#!/usr/bin/env bash
# scripts/with-wine.sh's failures, each said and each stopping the script
# before its command runs: no free display, no X server program, an X server
# that never accepts connections or ends at start-up, wineboot or reg add
# failing. Stand-ins for Xvfb, wineboot, wineserver and wine play each part,
# so no real X server or Wine runs; the happy path through them checks that
# a display taken meanwhile by another server is skipped and that the
# command's exit code comes back. Run by ctest (native).
set -uo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/with-wine.sh
work=$(mktemp -d /tmp/escaner-with-wine-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0

# A stand-in program: fake NAME BODY.
fake() {
  printf '#!/usr/bin/env bash\n%s\n' "$2" >"$work/bin/$1"
  chmod +x "$work/bin/$1"
}

# Stand-ins that all succeed; each case then breaks one of them.
reset_fakes() {
  rm -rf "$work/bin" "$work/x" "$work/ran"
  mkdir -p "$work/bin" "$work/x/.X11-unix"
  fake Xvfb 'echo "${1#:}" >&3; exec sleep 97.31'
  fake wineboot 'touch "$WINEPREFIX/system.reg"'
  fake wineserver 'exit 0'
  fake wine 'exit 0'
}

# expect NAME CODE TEXT [VAR=VALUE...]: with-wine.sh, run without DISPLAY
# and with the stand-ins first on PATH, ends with CODE and says TEXT; its
# command (which leaves a mark) runs only when CODE is 0.
expect() {
  local name=$1 code=$2 text=$3 got=0
  shift 3
  env -u DISPLAY -u ESCANER_WINEPREFIX PATH="$work/bin:$PATH" ESCANER_X_TMP="$work/x" \
    ESCANER_WINE_ARCH=win32 \
    ESCANER_XVFB_SECONDS=2 "$@" \
    "$script" bash -c 'echo "display $DISPLAY" >"$0"; exit "${ESCANER_TEST_CODE:-0}"' "$work/ran" \
    >"$work/out" 2>&1 || got=$?
  local problems=""
  [ "$got" -eq "$code" ] || problems+=" exit code $got, expected $code;"
  grep -qF -- "$text" "$work/out" || problems+=" no \"$text\" in the output;"
  if [ "$code" -eq 0 ] || [ "$code" -eq 7 ]; then
    [ -e "$work/ran" ] || problems+=" the command did not run;"
  else
    [ ! -e "$work/ran" ] || problems+=" the command ran after a failed set-up;"
  fi
  if [ -n "$problems" ]; then
    echo "FAIL $name:$problems"
    sed 's/^/     | /' "$work/out"
    failures=$((failures + 1))
  else
    echo "PASS $name"
  fi
}

reset_fakes
for n in $(seq 91 140); do touch "$work/x/.X11-unix/X$n"; done
expect "every display taken" 1 "no free display: :91 to :140 are all taken"

reset_fakes
for n in $(seq 91 140); do touch "$work/x/.X$n-lock"; done
expect "every display locked" 1 "no free display"

reset_fakes
expect "no X server program" 1 "no DISPLAY, and no $work/bin/none to start one" \
  ESCANER_XVFB="$work/bin/none"

reset_fakes
fake Xvfb 'echo "starting, never ready"; exec sleep 97.31'
expect "X server never ready" 1 "did not accept connections within 2 s"

reset_fakes
fake Xvfb 'echo "Fatal server error: no screens found"; exit 3'
expect "X server ends at start-up" 1 "ended at start-up (exit code 3)"
expect "its output is shown" 1 "Fatal server error: no screens found"

reset_fakes
fake wineboot 'echo "wine: could not load kernel32.dll"; exit 5'
expect "wineboot fails" 1 "making the Wine prefix"
expect "wineboot's code and output are shown" 1 "could not load kernel32.dll"
expect "wineboot's exit code" 1 "failed (exit code 5): wineboot -i"

reset_fakes
fake wineboot 'exit 0'
expect "wineboot makes no registry" 1 "wineboot -i ended without making"

reset_fakes
fake wine 'if [ "$1" = reg ]; then echo "reg: access denied" >&2; exit 1; fi'
expect "reg add fails" 1 "setting unmanaged windows failed (exit code 1): wine reg add"
expect "reg add's output is shown" 1 "reg: access denied"

reset_fakes
fake wineserver '[ "$1" = -p ] && { echo "wineserver: cannot start"; exit 2; }; exit 0'
expect "persistent wineserver fails" 1 "starting a persistent wineserver failed (exit code 2)"

# Displays that other servers hold without a lock file here, or take between
# the check and the start: the two ways Xvfb says so.
reset_fakes
fake Xvfb 'case $1 in
  :91) echo "Fatal server error: Server is already active for display 91"; exit 1 ;;
  :92) echo "_XSERVTransMakeAllCOTSServerListeners: server already running"; exit 1 ;;
esac
echo "${1#:}" >&3; exec sleep 97.31'
expect "displays taken meanwhile are skipped" 0 "started Xvfb on :93"
grep -qx "display :93" "$work/ran" 2>/dev/null || { echo "FAIL the command saw no DISPLAY :93"; failures=$((failures + 1)); }

reset_fakes
expect "the command's exit code comes back" 7 "started Xvfb on :91" ESCANER_TEST_CODE=7

# Every stand-in X server was stopped by the script that started it.
sleep 0.5
if pgrep -fx "sleep 97.31" >/dev/null; then
  echo "FAIL a stand-in X server was left running"
  failures=$((failures + 1))
fi

cases=$(grep -c '^expect ' "$0")
echo "$((cases - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
