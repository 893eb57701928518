#!/usr/bin/env bash
# Runs a command with a ready Wine environment:
#  - a fresh prefix in a temporary folder (or $ESCANER_WINEPREFIX if set and
#    already made), with unmanaged windows and the classic look so the
#    progress bars show their colours. The prefix is 32-bit, for the product's
#    own i686 build, wherever the kernel runs 32-bit code; elsewhere it is
#    64-bit, for the x86-64 build of the same sources, and `wine` on PATH is
#    the 64-bit loader (scripts/wine-arch.sh tells which, and says so here);
#  - an X display: the caller's DISPLAY, or a private Xvfb started here on the
#    first free display from :91 to :140;
#  - a persistent wineserver, so each Wine process starts fast.
# Everything started here is stopped on exit. A set-up step that fails (no
# free display, Xvfb not up within its deadline, wineboot or reg add failing)
# is named with its exit code and output, and the script stops with exit
# code 1 before the command runs.
#
# For checking those failures by hand, or in tests of this script:
#   ESCANER_X_TMP         where X servers keep their sockets and lock files
#                         (default /tmp)
#   ESCANER_XVFB          the X server program to start (default Xvfb)
#   ESCANER_XVFB_SECONDS  how long it gets to accept connections, in whole
#                         seconds (default 10)
set -euo pipefail

say() { echo "with-wine: $*" >&2; }

own=$(mktemp -d /tmp/escaner-with-wine.XXXXXX)
cleanup_cmds=()
cleanup() {
  local c
  for c in "${cleanup_cmds[@]}"; do eval "$c" >/dev/null 2>&1 || true; done
  rm -rf "$own"
}
trap cleanup EXIT

# Says what failed, shows the output it kept (file $2, if any), and stops.
fail() {
  say "$1"
  if [ -n "${2:-}" ] && [ -s "$2" ]; then
    say "its output:"
    sed 's/^/with-wine: | /' "$2" | tail -n 40 >&2
  fi
  exit 1
}

# Runs a set-up command with its output kept aside: shown only when the
# command fails, and then the script stops.
step() {
  local what=$1 code=0
  shift
  "$@" </dev/null >"$own/step.log" 2>&1 || code=$?
  [ "$code" -eq 0 ] || fail "$what failed (exit code $code): $*" "$own/step.log"
}

export WINEDEBUG=${WINEDEBUG:--all}
WINEARCH=$("$(dirname "$0")/wine-arch.sh")
export WINEARCH
if [ "$WINEARCH" = win64 ]; then
  # Debian's `wine` starts the 32-bit loader whenever it is installed, and
  # that loader cannot run here: every `wine` below, and every program the
  # command starts through Wine, uses the 64-bit one.
  mkdir -p "$own/bin"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$own/bin/wine"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 wineboot "$@"\n' >"$own/bin/wineboot"
  chmod +x "$own/bin/wine" "$own/bin/wineboot"
  export PATH="$own/bin:$PATH" WINELOADER=/usr/lib/wine/wine64
  [ -n "${ESCANER_QUIET_XVFB:-}" ] ||
    say "this kernel runs no 32-bit code: a 64-bit prefix for the x86-64 build (build/win64)"
fi
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=}

# Starts the X server on display $1. Answers 0 once it accepts connections
# (it writes its display number to -displayfd then), 2 when it ended at once
# because another server took that display first, and stops the script on
# any other failure.
start_xvfb_on() {
  local n=$1 pid code=0
  : >"$own/xvfb.ready"
  "$xvfb" ":$n" -screen 0 1280x1024x24 -nolisten tcp -displayfd 3 \
    3>"$own/xvfb.ready" </dev/null >"$own/xvfb.log" 2>&1 &
  pid=$!
  local polls=$((xvfb_seconds * 10))  # every 0.1 s
  while [ ! -s "$own/xvfb.ready" ]; do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid" || code=$?
      grep -Eq "already active|already running" "$own/xvfb.log" && return 2
      fail "$xvfb :$n ended at start-up (exit code $code)" "$own/xvfb.log"
    fi
    polls=$((polls - 1))
    if [ "$polls" -lt 0 ]; then
      kill "$pid" 2>/dev/null || true
      fail "$xvfb :$n did not accept connections within $xvfb_seconds s" "$own/xvfb.log"
    fi
    sleep 0.1
  done
  cleanup_cmds=("kill $pid" "${cleanup_cmds[@]}")
}

if [ -z "${DISPLAY:-}" ]; then
  x_tmp=${ESCANER_X_TMP:-/tmp}
  xvfb=${ESCANER_XVFB:-Xvfb}
  xvfb_seconds=${ESCANER_XVFB_SECONDS:-10}
  command -v "$xvfb" >/dev/null ||
    fail "no DISPLAY, and no $xvfb to start one (scripts/install-deps.sh installs xvfb)"
  display=
  for n in $(seq 91 140); do
    [ -e "$x_tmp/.X11-unix/X$n" ] || [ -e "$x_tmp/.X$n-lock" ] && continue
    code=0
    start_xvfb_on "$n" || code=$?
    if [ "$code" -eq 0 ]; then
      display=$n
      break
    fi
  done
  [ -n "$display" ] ||
    fail "no free display: :91 to :140 are all taken (their sockets or lock files are in $x_tmp)"
  export DISPLAY=:$display
  [ -n "${ESCANER_QUIET_XVFB:-}" ] || say "no DISPLAY, started Xvfb on $DISPLAY"
fi

if [ -n "${ESCANER_WINEPREFIX:-}" ]; then
  export WINEPREFIX=$ESCANER_WINEPREFIX
else
  WINEPREFIX=$(mktemp -d /tmp/escaner-wine.XXXXXX)
  export WINEPREFIX
  cleanup_cmds+=("rm -rf '$WINEPREFIX'")
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  step "making the Wine prefix $WINEPREFIX" wineboot -i
  step "waiting for wineboot to finish" wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] ||
    fail "wineboot -i ended without making $WINEPREFIX/system.reg" "$own/step.log"
  # No window manager: unmanaged windows close at once and keep exact geometry.
  step "setting unmanaged windows" \
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
  # The classic look shows PBM_SETBARCOLOR's colours.
  step "setting the classic look" \
    wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d 0 /f
  step "saving the prefix's registry" wineserver -w
fi

step "starting a persistent wineserver" wineserver -p
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
