#!/usr/bin/env bash
# The whole-scan benchmark (`make bench`, after the native micro-benchmarks):
#   scripts/with-wine.sh bench/run_bench.sh build/win32 [--runs N] [--scale F]
# Builds the native peer with the host compiler, generates the trees (once per
# seed, in build/bench-trees) and runs bench/whole_scan.py, which prints the
# table. Needs the Wine environment of with-wine.sh and no other Wine program
# started before it in that session (it maps the trees as drive T:).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PYTHONPATH="$here/../python${PYTHONPATH:+:$PYTHONPATH}" PYTHONDONTWRITEBYTECODE=1  # escaner_tools
build_dir=$(cd "${1:?usage: run_bench.sh BUILD_DIR [--runs N] [--scale F]}" && pwd)
shift
: "${WINEPREFIX:?run inside scripts/with-wine.sh}" "${DISPLAY:?run inside scripts/with-wine.sh}"

for exe in Escaner EscanerUnpaced bench_driver floor literal; do
  [ -f "$build_dir/$exe.exe" ] || { echo "run_bench: $build_dir/$exe.exe missing (make bench builds it)" >&2; exit 1; }
done

peer_dir=$(dirname "$build_dir")/bench-peer
mkdir -p "$peer_dir"
g++ -O2 -std=c++20 -Wall -Wextra -Werror -o "$peer_dir/keyboard_filter" "$here/peer/keyboard_filter.cpp"

exec python3 "$here/whole_scan.py" "$build_dir" "$peer_dir/keyboard_filter" "$@"
