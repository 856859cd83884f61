#!/usr/bin/env bash
# Builds the benchmark programs and runs them under Wine in the test build's prefix; each prints
# its own figures.
#   bench.sh [factory|profile|pdi_run|tools]...   (all of them when none is named)
set -euo pipefail
source "$(dirname "$0")/common.sh"

arch=$(vx_test_arch)
build="$root/build/$arch"
vx_prepare "bench_factory bench_profile bench_pdi_run bench_tools vx_keepalive" "$0" "$@"
loader=$(vx_wine_loader "$arch")
prefix="$build/wineprefix"
[ "$arch" = i686 ] || prefix="$build/wineprefix64"
keepalive=$(ls "$build"/tests/vx_keepalive.exe)
bash "$here/wine_prefix.sh" start "$loader" "$keepalive" "$prefix"
trap 'bash "$here/wine_prefix.sh" stop "$loader" - "$prefix"' EXIT

run() {  # program.exe [args...]
    VX_WINE_LOADER=$loader xvfb-run -a bash "$here/wine_run.sh" --prefix "$prefix" -- "$@" </dev/null
}
win() { echo "Z:$(echo "$1" | tr / '\\')"; }

benches=("$@")
[ ${#benches[@]} -gt 0 ] || benches=(factory profile pdi_run tools)
for b in "${benches[@]}"; do
    echo "== bench_$b"
    case "$b" in
        pdi_run) run "$build/tests/bench_pdi_run.exe" "$(win "$build/sample/medium")" \
                     "$(win "$build/tests/bench_empty.exe")" "${VX_BENCH_RUNS:-7}";;
        *) run "$build/tests/bench_$b.exe";;
    esac
done
