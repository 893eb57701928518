#!/usr/bin/env bash
# The whole-scan benchmark (`make bench`, after the native micro-benchmarks):
#   scripts/with-wine.sh bench/run_bench.sh BUILD_DIR [--runs N] [--scale F] [--extras]
# BUILD_DIR is a Windows build, build/win32 (i686) or build/win64 (x86_64),
# with its bench programs built (target bench_programs); the table states
# which architecture it measured. Builds the native peer with the host
# compiler, generates the trees (once per seed and scale, in
# BUILD_DIR/../bench-trees) and runs bench/whole_scan.py, which prints the
# tables. Needs the Wine environment of with-wine.sh and no other Wine program
# started before it in that session (it maps the trees as drive T:). $WINE
# names the Wine loader when `wine` is not the one for BUILD_DIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PYTHONPATH="$here/../python${PYTHONPATH:+:$PYTHONPATH}" PYTHONDONTWRITEBYTECODE=1  # escaner_tools
build_dir=$(cd "${1:?usage: run_bench.sh BUILD_DIR [--runs N] [--scale F] [--extras]}" && pwd)
shift
: "${WINEPREFIX:?run inside scripts/with-wine.sh}" "${DISPLAY:?run inside scripts/with-wine.sh}"

needed=(Escaner bench_driver floor)
for arg in "$@"; do [ "$arg" = --extras ] && needed+=(EscanerUnpaced literal); done
for exe in "${needed[@]}"; do
  [ -f "$build_dir/$exe.exe" ] || { echo "run_bench: $build_dir/$exe.exe missing (make bench builds it)" >&2; exit 1; }
done

peer_dir=$(dirname "$build_dir")/bench-peer
mkdir -p "$peer_dir"
g++ -O2 -std=c++20 -Wall -Wextra -Werror -o "$peer_dir/keyboard_filter" "$here/peer/keyboard_filter.cpp"

exec python3 "$here/whole_scan.py" "$build_dir" "$peer_dir/keyboard_filter" "$@"
