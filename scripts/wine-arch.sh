#!/usr/bin/env bash
# Prints the Windows build whose programs this machine's Wine can run:
#   win32  the product itself (i686), in a 32-bit Wine prefix;
#   win64  the same sources built for x86-64, in a 64-bit prefix, where the
#          kernel runs no 32-bit code (booted with 32-bit emulation off: the
#          32-bit Wine loader then fails with "Exec format error").
# ESCANER_WINE_ARCH set to win32 or win64 overrides the probe.
set -euo pipefail
case "${ESCANER_WINE_ARCH:-}" in
  win32 | win64) echo "$ESCANER_WINE_ARCH"; exit 0 ;;
  "") ;;
  *) echo "wine-arch: ESCANER_WINE_ARCH must be win32 or win64, not '$ESCANER_WINE_ARCH'" >&2; exit 2 ;;
esac
loader32=/usr/lib/wine/wine
# Before Wine is installed there is nothing to probe: the product's own
# build is what install-deps sets up first.
if [ ! -e "$loader32" ] || "$loader32" --version >/dev/null 2>&1; then
  echo win32
else
  echo win64
fi
