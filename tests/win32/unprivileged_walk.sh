#!/usr/bin/env bash
# Unreadable folders and files, skipped alike by both passes: runs
# unreadable_walk_probe.exe over a tree of which parts are mode 000, as a
# user whom those permissions bite. Root reads everything, so as root the
# probe runs as the unprivileged user escaner-sinpriv (made here if missing),
# with a Wine prefix of its own; as any other user it runs as that user.
#   unprivileged_walk.sh PROBE_EXE
# Exits 77 (ctest: skipped) only when no such user can be had.
set -euo pipefail
probe=${1:?usage: unprivileged_walk.sh PROBE_EXE}
user=escaner-sinpriv

run_as=()
if [ "$(id -u)" = 0 ]; then
  if ! id -u "$user" >/dev/null 2>&1 && ! useradd -m "$user" >/dev/null 2>&1; then
    echo "SKIP: running as root and cannot make the user $user (useradd failed)"
    exit 77
  fi
  if ! command -v runuser >/dev/null; then
    echo "SKIP: running as root and runuser is missing"
    exit 77
  fi
  run_as=(runuser -u "$user" --)
fi

work=$(mktemp -d /tmp/escaner-unreadable.XXXXXX)
tree=$work/tree
cleanup() {
  # The server saves the prefix's registry as it ends: let it, then remove.
  "${run_as[@]}" env WINEPREFIX="$work/prefix" TMPDIR="$work/tmp" wineserver -k >/dev/null 2>&1 || true
  "${run_as[@]}" env WINEPREFIX="$work/prefix" TMPDIR="$work/tmp" wineserver -w >/dev/null 2>&1 || true
  chmod -R u+rwx "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

# The tree, owned by whoever runs this script.
mkdir -p "$tree/cerrada" "$tree/sub/oculta" "$tree/sub/sin-lista"
printf 'Z:\\abierta' >"$tree/abierta.txt"
printf 'Z:\\cerrado' >"$tree/cerrado.txt"
printf 'Z:\\dentro' >"$tree/cerrada/dentro.txt"
printf 'Z:\\visible' >"$tree/sub/visible.txt"
printf 'Z:\\oculta' >"$tree/sub/oculta/x.txt"
printf 'Z:\\sin-lista' >"$tree/sub/sin-lista/n.txt"
chmod -R go+rX "$tree"  # readable by the probe's user, but for these:
chmod 000 "$tree/cerrado.txt" "$tree/cerrada" "$tree/sub/oculta"
chmod 311 "$tree/sub/sin-lista"

# The probe and a prefix of the probe's user's own.
cp "$probe" "$work/probe.exe"
chmod 755 "$work/probe.exe"
mkdir "$work/home" "$work/prefix" "$work/tmp"
[ ${#run_as[@]} -eq 0 ] || chown "$user:" "$work/home" "$work/prefix" "$work/tmp"
# TMPDIR too: Wine keeps its server's socket folder there, removed with the rest.
# The prefix is of the architecture with-wine.sh chose; its loader is named
# whole, since with-wine.sh's own `wine` lies in a folder only root can read.
wine_env=(env -u DISPLAY HOME="$work/home" WINEPREFIX="$work/prefix" TMPDIR="$work/tmp"
          WINEARCH="${WINEARCH:-win32}" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree=)
wine=${WINELOADER:-wine}
"${run_as[@]}" "${wine_env[@]}" "$wine" wineboot -i >/dev/null 2>&1
"${run_as[@]}" "${wine_env[@]}" wineserver -w

windows_tree="Z:$(printf '%s' "$tree/" | tr '/' '\\')"
"${run_as[@]}" "${wine_env[@]}" ESCANER_UNREADABLE_TREE="$windows_tree" "$wine" "$work/probe.exe"
