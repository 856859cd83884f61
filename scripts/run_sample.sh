#!/usr/bin/env bash
# Builds the PDI and runs its main job under Wine on the bundled sample, then prints the install
# log that the run wrote.
#   run_sample.sh [--view 32|64]
# With --view, the sample runs as 64-bit Windows XP (a 64-bit prefix), and the rehearsal Glue
# writes its values in the given registry view: 64 is where the real Glue, loaded by the 64-bit
# installer process, puts them.
set -euo pipefail
source "$(dirname "$0")/common.sh"

view=""
if [ "${1:-}" = --view ]; then
    view=${2:-}
    case "$view" in 32|64) ;; *) echo "usage: run_sample.sh [--view 32|64]" >&2; exit 2;; esac
fi
arch=$(vx_test_arch)
vx_prepare "sample_medium vxglue_sim" "$0" "$@"

loader=$(vx_wine_loader "$arch")
prefix_name=sample-prefix
winearch=win32
[ "$arch" = i686 ] || winearch=win64
if [ -n "$view" ]; then prefix_name=sample-prefix64; winearch=win64; fi
export WINEPREFIX="$root/build/$arch/$prefix_name" WINEDEBUG=-all WINELOADER=$loader
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    WINEARCH=$winearch WINEDLLOVERRIDES="mscoree,mshtml=" "$loader" wineboot -i >/dev/null 2>&1
    "$loader" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
fi
glue_options=()
if [ -n "$view" ]; then
    "$loader" reg add 'HKCU\Software\Wine\AppDefaults\vxfpdi14.exe' /v Version /d winxp64 /f >/dev/null 2>&1
    glue_options=("-view=$view")
fi

medium="$root/build/$arch/sample/medium"
medium_win="Z:$(echo "$medium" | tr / '\\')"
runs="$WINEPREFIX/drive_c/users/$(id -un)/Temp/vxmedium_runs.log"
rm -f "$runs"
echo "run_sample.sh: the rehearsal Glue installs a printer and starts the PDI from $medium"
set +e
# The PDI asks whether the new printer becomes the default printer: a virtual display shows
# the box and the Glue answers it Yes through its window.
xvfb-run -a "$loader" "$root/build/$arch/tools/vxglue_sim.exe" "-medium=$medium_win" -answer=yes \
    "${glue_options[@]}" </dev/null
code=$?
set -e
wineserver -w
echo "run_sample.sh: the Glue's exit code: $code"
log=$(ls -t "$WINEPREFIX/drive_c/users/$(id -un)/Temp"/vxvxdi*.log | head -n 1)
echo "run_sample.sh: install log $(basename "$log"):"
cat "$log"
if [ -f "$runs" ]; then
    echo "run_sample.sh: programs the medium recorded:"
    cat "$runs"
fi
