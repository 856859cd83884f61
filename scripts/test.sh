#!/usr/bin/env bash
# Sets up the machine, builds the 32-bit PDI and the test build, and runs every test under Wine.
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$here/setup.sh"
arch=$(vx_test_arch)
if [ "$arch" != i686 ]; then
    echo "test.sh: this kernel cannot run 32-bit programs, so 32-bit Wine cannot start;"
    echo "test.sh: the tests run a 64-bit build of the same sources under 64-bit Wine."
    echo "test.sh: the 32-bit binaries that ship are still built, in $(vx_shipped_i686_dir "$arch"),"
    echo "test.sh: and their import tables and headers are checked."
fi
vx_build "$arch"
cd "$root/build/$arch"
xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j"$(nproc)" ${VX_CTEST_ARGS:-}
