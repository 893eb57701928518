#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine.
# Quick when everything is already there: it checks each command first.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
pkg_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have cmake  || need+=(cmake)
have ninja  || need+=(ninja-build)
have g++    || need+=(g++)
have clang-format || need+=(clang-format)
pkg_installed googletest       || need+=(googletest)
pkg_installed libgtest-dev     || need+=(libgtest-dev)
pkg_installed libbenchmark-dev || need+=(libbenchmark-dev)
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev)
have Xvfb    || need+=(xvfb)
have xwininfo || need+=(x11-utils)
have import  || need+=(imagemagick)
pkg_installed fonts-wine || need+=(fonts-wine)
have python3 || need+=(python3)
have wine || need+=(wine)
pkg_installed wine32:i386 || need+=(wine32:i386)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
updated=""
install() {
  echo "install-deps: installing $*"
  if printf '%s\n' "$@" | grep -q ':i386'; then
    $SUDO dpkg --add-architecture i386
  fi
  [ -n "$updated" ] || $SUDO apt-get update -qq
  updated=yes
  $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

[ ${#need[@]} -eq 0 ] || install "${need[@]}"

# A kernel that runs no 32-bit code cannot run the product under Wine: the
# Wine tests then run the x86-64 build of the same sources in 64-bit Wine.
if [ "$("$(dirname "$0")/wine-arch.sh")" = win64 ]; then
  need=()
  [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
  have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
  [ ${#need[@]} -eq 0 ] || install "${need[@]}"
fi
