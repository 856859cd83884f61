#!/usr/bin/env bash
# Builds the PDI and runs its main job under Wine on the bundled sample, then prints the install
# log that the run wrote.
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$here/setup.sh"
arch=$(vx_test_arch)
VX_TARGETS=vxfpdi14 vx_build i686 >/dev/null
if [ "$arch" != i686 ]; then
    echo "run_sample.sh: this kernel cannot run 32-bit programs; running the 64-bit build of the PDI."
    VX_TARGETS=vxfpdi14 vx_build "$arch" >/dev/null
fi
loader=$(vx_wine_loader "$arch")
export WINEPREFIX="$root/build/$arch/sample-prefix" WINEDEBUG=-all WINELOADER=$loader
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    WINEARCH=win64
    [ "$arch" = i686 ] && WINEARCH=win32
    WINEARCH=$WINEARCH WINEDLLOVERRIDES="mscoree,mshtml=" "$loader" wineboot -i >/dev/null 2>&1
    "$loader" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
fi

logs="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
mkdir -p "$logs"
cmdline='-printerdriver=Quorvane Model 1234 Series -product=Model 1234 -port=USB001'
echo "run_sample.sh: vxfpdi14.exe $cmdline"
set +e
"$loader" "$root/build/$arch/vxfpdi14.exe" $cmdline </dev/null
code=$?
set -e
wineserver -w
echo "run_sample.sh: exit code $code"
log=$(ls -t "$logs"/vxvxdi*.log | head -n 1)
echo "run_sample.sh: install log $(basename "$log"):"
cat "$log"
