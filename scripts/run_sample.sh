#!/usr/bin/env bash
# Builds the PDI and runs its main job under Wine on the bundled sample, then prints the install
# log that the run wrote.
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$here/setup.sh"
arch=$(vx_test_arch)
if [ "$arch" != i686 ]; then
    echo "run_sample.sh: this kernel cannot run 32-bit programs; running the 64-bit build of the PDI."
fi
VX_TARGETS="sample_medium vxglue_sim" vx_build "$arch" >/dev/null
loader=$(vx_wine_loader "$arch")
export WINEPREFIX="$root/build/$arch/sample-prefix" WINEDEBUG=-all WINELOADER=$loader
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    WINEARCH=win64
    [ "$arch" = i686 ] && WINEARCH=win32
    WINEARCH=$WINEARCH WINEDLLOVERRIDES="mscoree,mshtml=" "$loader" wineboot -i >/dev/null 2>&1
    "$loader" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
fi

medium="$root/build/$arch/sample/medium"
medium_win="Z:$(echo "$medium" | tr / '\\')"
runs="$WINEPREFIX/drive_c/users/$(id -un)/Temp/vxmedium_runs.log"
rm -f "$runs"
echo "run_sample.sh: the rehearsal Glue installs a printer and starts the PDI from $medium"
set +e
# The PDI asks whether the new printer becomes the default printer: a virtual display shows
# the box and the Glue answers it Yes through its window.
xvfb-run -a "$loader" "$root/build/$arch/tools/vxglue_sim.exe" "-medium=$medium_win" -answer=yes </dev/null
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
