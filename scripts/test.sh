#!/usr/bin/env bash
# Sets up the machine, builds the 32-bit PDI, its tools and the test build, and runs every test
# under Wine (32-bit Wine under QEMU's user-mode emulator where the kernel cannot run 32-bit
# programs: see emulator.sh).
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$here/setup.sh"
arch=$(vx_test_arch)
run=()
if [ "$arch" = i686 ]; then
    run=(vx_run_i386)
    if ! vx_native_i386; then
        qemu=$(vx_emulator)
        echo "test.sh: this kernel cannot run 32-bit programs; 32-bit Wine runs under $qemu"
        # A Wine process starts in about a second there instead of 30 ms: the reliability suite's
        # generated runs are fewer, to keep the whole run within CI's time. Set, they stay.
        export VX_RELIABILITY_KILLS=${VX_RELIABILITY_KILLS:-20}
        export VX_RELIABILITY_COMMAND_LINES=${VX_RELIABILITY_COMMAND_LINES:-200}
        export VX_RELIABILITY_COMMAND_LINES_CP932=${VX_RELIABILITY_COMMAND_LINES_CP932:-60}
        export VX_RELIABILITY_MEDIA=${VX_RELIABILITY_MEDIA:-80}
    fi
fi
start=$SECONDS
vx_build "$arch"
echo "test.sh: build took $((SECONDS - start)) s"
cd "$root/build/$arch"
start=$SECONDS
status=0
"${run[@]}" xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j"$(nproc)" ${VX_CTEST_ARGS:-} || status=$?
echo "test.sh: tests took $((SECONDS - start)) s"
exit $status
