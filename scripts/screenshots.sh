#!/usr/bin/env bash
# Takes the README's screenshots of the real Escaner.exe under Wine:
#   docs/folder-dialog.png   the folder dialog as the program opens it;
#   docs/progress-strip.png  the progress strip during a scan.
#
#   scripts/with-wine.sh scripts/screenshots.sh build/win32
#
# Needs Escaner.exe and the end-to-end driver (driver.exe) in the build
# folder. The exe runs from a copy in a temporary folder, so its Malware.txt
# never lands in the build. Wine's own texts are Spanish when a Spanish
# locale can be made here (localedef), as a Spanish user would see them.
set -euo pipefail

build=$(cd "${1:?usage: screenshots.sh BUILD_DIR}" && pwd)
: "${WINEPREFIX:?run inside scripts/with-wine.sh}" "${DISPLAY:?run inside scripts/with-wine.sh}"
root=$(cd "$(dirname "$0")/.." && pwd)
docs=$root/docs
drives() { PYTHONPATH="$root/python" python3 -B -m escaner_tools.wine_drives "$@"; }
for f in Escaner.exe driver.exe; do
  [ -f "$build/$f" ] || { echo "screenshots: $build/$f is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/escaner-shots.XXXXXX)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  drives unmap T || true
  rm -rf "$work"
}
trap cleanup EXIT

say() { echo "screenshots: $*" >&2; }

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local seconds=$1
  shift
  local tries=$((seconds * 5))
  while ! "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.2
  done
}

# Crops a screenshot of the whole screen to LEFT TOP WIDTH HEIGHT, with a
# small margin of the (black) root window around it.
shoot() {
  local target=$1 left=$2 top=$3 width=$4 height=$5 margin=6
  import -display "$DISPLAY" -window root "$work/screen.png"
  convert "$work/screen.png" \
    -crop "$((width + 2 * margin))x$((height + 2 * margin))+$((left - margin))+$((top - margin))" \
    +repage -strip "$target"
  say "wrote $target ($(identify -format '%wx%h' "$target"))"
}

locale_env=()
if mkdir -p "$work/locale" && localedef -i es_ES -f UTF-8 "$work/locale/es_ES.UTF-8" >/dev/null 2>&1; then
  locale_env=(LOCPATH="$work/locale" LC_ALL=es_ES.UTF-8)
else
  say "no Spanish locale here; Wine's own texts stay in English"
fi

# The tree to scan, on drive T:: typed texts holding paths (flagged), typed
# texts without a separator, and binary files, in folders. The drive must
# exist before the first Wine process: Wine's drive manager, which the folder
# dialog asks, lists only the drives it found when it started.
python3 - "$work/tree" <<'EOF'
import os, random, sys
root = sys.argv[1]
rng = random.Random(28)
flagged = b"C:\\Windows\\system32\\drivers\\etc\\hosts http://ejemplo.test/a/b " * 4
plain = b"Lista de la compra: pan, leche, huevos y fruta. " * 6
binary = bytes(rng.randrange(256) for _ in range(512))
for d in range(120):  # about 20,000 files: a scan of several seconds under Wine
    folder = os.path.join(root, f"carpeta{d:03}", "datos")
    os.makedirs(folder)
    for n in range(168):
        with open(os.path.join(folder, f"archivo{n:03}.dat"), "wb") as f:
            f.write((flagged, plain, binary)[n % 3])
EOF
drives map T "$work/tree"

mkdir -p "$work/app" "$docs"
cp "$build/Escaner.exe" "$work/app/"
app_exe=$(winepath -w "$work/app/Escaner.exe" 2>/dev/null)

# 1. The folder dialog, as it first shows.
env "${locale_env[@]}" wine "$work/app/Escaner.exe" >/dev/null 2>&1 &
pids+=($!)
dialog_line() { xwininfo -root -tree | grep -E '"(Explorar carpeta|Browse for Folder)"'; }
wait_for 30 dialog_line >/dev/null || { say "the folder dialog did not appear"; exit 1; }
sleep 2  # the dialog fills its tree after it shows
read -r width height left top < <(dialog_line | head -1 |
  sed -E 's/.* ([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+) .*/\1 \2 \3 \4/')
shoot "$docs/folder-dialog.png" "$left" "$top" "$width" "$height"
kill "${pids[-1]}" 2>/dev/null || true
wait "${pids[-1]}" 2>/dev/null || true

# 2. The strip during a scan of drive T:.
events=$work/events.txt
# Output to a file, not a pipe: Wine's background processes would hold a pipe.
env "${locale_env[@]}" timeout 300 wine "$build/driver.exe" run --exe "$app_exe" --choose 'T:\' \
  --timeout 240 >"$events" 2>/dev/null &
pids+=($!)
strip_seen() { grep -q '"event":"strip"' "$events"; }
wait_for 60 strip_seen || { say "the progress strip did not appear"; cat "$events" >&2; exit 1; }
sleep 1.5  # into the scan: both bars part way
read -r left top width height < <(grep -m1 '"event":"strip"' "$events" |
  python3 -c 'import json, sys; print(*json.loads(sys.stdin.read())["rect"])')
shoot "$docs/progress-strip.png" "$left" "$top" "$width" "$height"
# A scan that ended before the shot leaves only the black root window.
if [ "$(identify -format '%k' "$docs/progress-strip.png")" -le 2 ]; then
  say "the scan ended before the shot; make the tree larger"
  exit 1
fi

# The driver dismisses the final box and closes what the shell opened.
wait "${pids[-1]}" || { say "the driver failed"; cat "$events" >&2; exit 1; }
grep -q '"event":"exit"' "$events" || { say "Escaner did not finish"; cat "$events" >&2; exit 1; }
say "final box: $(grep -m1 '"event":"message_box"' "$events" | python3 -c \
  'import json, sys; print(repr(json.loads(sys.stdin.read())["text"]))')"
