#!/usr/bin/env bash
# Runs a command with a ready Wine environment:
#  - a fresh 32-bit prefix in a temporary folder (or $ESCANER_WINEPREFIX if set
#    and already made), with unmanaged windows and the classic look so the
#    progress bars show their colours;
#  - an X display: the caller's DISPLAY, or a private Xvfb started here;
#  - a persistent wineserver, so each Wine process starts fast.
# Everything started here is stopped on exit.
set -euo pipefail

cleanup_cmds=()
cleanup() {
  local c
  for c in "${cleanup_cmds[@]}"; do eval "$c" >/dev/null 2>&1 || true; done
}
trap cleanup EXIT

export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=}

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 91 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { disp=$n; break; }
  done
  Xvfb :$disp -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  cleanup_cmds=("kill $xvfb_pid" "${cleanup_cmds[@]}")
  export DISPLAY=:$disp
  for _ in $(seq 1 50); do [ -e /tmp/.X11-unix/X$disp ] && break; sleep 0.1; done
  [ -n "${ESCANER_QUIET_XVFB:-}" ] || echo "with-wine: no DISPLAY, started Xvfb on $DISPLAY" >&2
fi

if [ -n "${ESCANER_WINEPREFIX:-}" ]; then
  export WINEPREFIX=$ESCANER_WINEPREFIX
else
  WINEPREFIX=$(mktemp -d /tmp/escaner-wine.XXXXXX)
  export WINEPREFIX
  cleanup_cmds+=("rm -rf '$WINEPREFIX'")
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # No window manager: unmanaged windows close at once and keep exact geometry.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # The classic look shows PBM_SETBARCOLOR's colours.
  wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d 0 /f >/dev/null 2>&1
  wineserver -w
fi

wineserver -p
cleanup_cmds=("wineserver -k" "${cleanup_cmds[@]}")
# For ctest, start Wine's background processes (services, explorer) now, with
# no pipe to inherit: started by the first test instead, they hold the pipe
# through which ctest lists that test's cases, and the listing waits until
# its timeout. Not for other commands: the drive manager among those
# processes only knows the drives that exist when it starts, and the
# end-to-end suite adds drive T: after this point.
if [ "$(basename "$1")" = ctest ]; then
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
fi

"$@"
