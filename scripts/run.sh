#!/usr/bin/env bash
# `make run`: starts Escaner.exe under Wine for a person to use.
#
#   scripts/run.sh build/win32/Escaner.exe
#
# The Wine prefix is build/wineprefix, made on the first run with the same
# settings as the test prefixes (scripts/with-wine.sh) and kept afterwards, so
# later runs start at once and Malware.txt stays beside the exe. The program
# shows on the caller's DISPLAY. Without one, with-wine.sh starts a private
# Xvfb; this script then says so and keeps a screenshot of that screen fresh
# in build/run-screen.png (beside the prefix) until the program ends.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != "--inside-wine" ]; then
  exe=${1:?usage: scripts/run.sh PATH/TO/Escaner.exe}
  [ -f "$exe" ] || { echo "run: $exe not found (build it with: make win32)" >&2; exit 1; }
  exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
  export ESCANER_WINEPREFIX=${ESCANER_WINEPREFIX:-$root/build/wineprefix}
  if [ ! -f "$ESCANER_WINEPREFIX/system.reg" ]; then
    echo "run: making the Wine prefix $ESCANER_WINEPREFIX (once, about 10 s)" >&2
  fi
  if [ -z "${DISPLAY:-}" ]; then
    export ESCANER_RUN_HEADLESS=1 ESCANER_QUIET_XVFB=1
  fi
  exec "$root/scripts/with-wine.sh" "$0" --inside-wine "$exe"
fi

# From here on, inside with-wine.sh: WINEPREFIX, DISPLAY and wineserver ready.
exe=$2
screenshot=$(dirname "$WINEPREFIX")/run-screen.png
wine "$exe" &
escaner=$!

if [ -n "${ESCANER_RUN_HEADLESS:-}" ]; then
  cat >&2 <<EOF
run: no DISPLAY, so Escaner runs on a private Xvfb screen ($DISPLAY).
run: a screenshot of that screen is refreshed every 2 s in
run:   $screenshot
run: (or take one yourself: import -display $DISPLAY -window root shot.png).
run: To use the folder dialog, run 'make run' from a desktop session.
run: Ctrl+C stops Escaner and the Xvfb.
EOF
  while kill -0 "$escaner" 2>/dev/null; do
    import -display "$DISPLAY" -window root "$screenshot.tmp.png" 2>/dev/null &&
      mv -f "$screenshot.tmp.png" "$screenshot"
    sleep 2
  done
fi

code=0
wait "$escaner" || code=$?
echo "run: Escaner.exe ended with exit code $code" >&2
exit "$code"
