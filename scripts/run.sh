#!/usr/bin/env bash
# `make run`: Escaner.exe under Wine.
#
#   scripts/run.sh PATH/TO/Escaner.exe [FOLDER]
#   scripts/run.sh --check-folder [FOLDER]   (only the folder check)
#
# With a DISPLAY the program shows there for a person to use; FOLDER, if
# given, is drive M: in its folder dialog, and the person chooses.
# Without a DISPLAY one whole session runs by itself on a private Xvfb
# (scripts/run_headless.py): the end-to-end driver chooses drive M: (FOLDER,
# or the sample tree samples/), the terminal tells each step, the overall
# bar's progress, the final box's text and the report's lines, and four
# screenshots land in build/run/ (ESCANER_RUN_OUT). The session is killed
# after ESCANER_RUN_TIMEOUT seconds (default 50).
#
# The Wine prefix is build/wineprefix (ESCANER_WINEPREFIX), made on the first
# run with the same settings as the test prefixes (scripts/with-wine.sh) and
# kept, so later runs start at once. Wine's own texts are Spanish when a
# Spanish locale can be made here (localedef, once, beside the prefix).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
export PYTHONPATH="$root/python${PYTHONPATH:+:$PYTHONPATH}" PYTHONDONTWRITEBYTECODE=1  # escaner_tools
samples=$root/samples
# The sample tree's hidden file: Linux keeps no such bit, so it is set
# through Wine before each headless session.
sample_hidden=("Configuración/contraseñas.txt")

# A folder that is missing, not a folder, or cannot be listed: say so before
# anything starts.
check_folder() {
  local folder=$1
  [ -n "$folder" ] || return 0
  if [ ! -e "$folder" ]; then
    echo "run: FOLDER=$folder does not exist" >&2
  elif [ ! -d "$folder" ]; then
    echo "run: FOLDER=$folder is not a folder" >&2
  elif [ ! -r "$folder" ] || [ ! -x "$folder" ] || ! ls -A -- "$folder" >/dev/null 2>&1; then
    echo "run: FOLDER=$folder cannot be read (its listing failed)" >&2
  else
    return 0
  fi
  return 1
}

if [ "${1:-}" = --check-folder ]; then
  check_folder "${2:-}"
  exit
fi

if [ "${1:-}" != --inside-wine ]; then
  exe=${1:?usage: scripts/run.sh PATH/TO/Escaner.exe [FOLDER]}
  folder=${2:-}
  [ -f "$exe" ] || { echo "run: $exe not found (build it with: make win32)" >&2; exit 1; }
  check_folder "$folder" || exit 1
  exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
  [ -z "$folder" ] || folder=$(cd "$folder" && pwd)
  export ESCANER_WINEPREFIX=${ESCANER_WINEPREFIX:-$root/build/wineprefix}
  mkdir -p "$(dirname "$ESCANER_WINEPREFIX")"
  if [ ! -f "$ESCANER_WINEPREFIX/system.reg" ]; then
    # Paths are told relative to the checkout, as the rest of the output does.
    echo "run: making the Wine prefix ${ESCANER_WINEPREFIX#"$root"/} (once, about 10 s)" >&2
  fi
  locales=$(dirname "$ESCANER_WINEPREFIX")/locale
  spanish=()
  if [ -d "$locales/es_ES.UTF-8" ] ||
     { mkdir -p "$locales" && localedef -i es_ES -f UTF-8 "$locales/es_ES.UTF-8" >/dev/null 2>&1; }; then
    # Given to the programs started below only: this shell's own locale
    # would not see LOCPATH.
    spanish=(LOCPATH="$locales" LC_ALL=es_ES.UTF-8)
  else
    echo "run: no Spanish locale here; Wine's own texts stay in English" >&2
  fi
  if [ -z "${DISPLAY:-}" ]; then
    export ESCANER_QUIET_XVFB=1
    out=${ESCANER_RUN_OUT:-$root/build/run}
    hidden=()
    if [ -z "$folder" ]; then
      folder=$samples
      for rel in "${sample_hidden[@]}"; do hidden+=(--hidden "$rel"); done
    fi
    # -B: no __pycache__ left in the source tree.
    exec env "${spanish[@]}" "$root/scripts/with-wine.sh" python3 -B "$root/scripts/run_headless.py" \
      --exe "$exe" --folder "$folder" --out "$out" "${hidden[@]}" \
      --timeout "${ESCANER_RUN_TIMEOUT:-50}"
  fi
  exec env "${spanish[@]}" "$root/scripts/with-wine.sh" "$0" --inside-wine "$exe" "$folder"
fi

# From here on, interactive, inside with-wine.sh: WINEPREFIX, DISPLAY and
# wineserver ready, no Wine program started yet.
exe=$2
folder=$3
drive=$WINEPREFIX/dosdevices/m:
if [ -n "$folder" ]; then
  # Before the first Wine program: the drive manager lists only the drives
  # it finds when it starts.
  rm -f "$drive"
  ln -s "$folder" "$drive"
  trap 'rm -f "$drive"' EXIT
  echo "run: $folder is drive M: in the folder dialog (under Mi PC / My Computer)" >&2
fi
code=0
wine "$exe" || code=$?
echo "run: Escaner.exe ended with exit code $code" >&2
exit "$code"
