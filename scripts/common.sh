# Shared by the build, test and sample scripts.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

source "$here/emulator.sh"
source "$here/runtime.sh"

# The product is a 32-bit program and its tests run the 32-bit build under 32-bit Wine: natively
# where the kernel runs 32-bit programs, under the emulator (emulator.sh) where it does not.
vx_test_arch() { echo "${VX_TEST_ARCH:-i686}"; }

vx_wine_loader() {  # arch
    if [ "$1" = i686 ]; then echo wine; else echo /usr/lib/wine/wine64; fi
}

# vx_build ARCH [cmake options...]: configures and builds the test tree build/ARCH (only the
# targets in VX_TARGETS when that is set). The test programs are built with the posix-thread
# compilers; the tree builds the shipped binaries with the win32-thread ones in build/ARCH/shipped
# (and, in a 64-bit tree, the 32-bit ones in build/x86_64/shipped-i686).
vx_build() {
    local arch=$1; shift
    local type=${VX_BUILD_TYPE:-Release} runtime
    # Every test tree builds the 32-bit shipped files, which link the runtime built for i486.
    runtime=$(vx_runtime) || return 1
    cmake -S "$root" -B "$root/build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DVX_THREAD_MODEL=posix -DCMAKE_BUILD_TYPE="$type" -DVX_RUNTIME_DIR="$runtime" "$@" >/dev/null
    local targets=()
    for t in ${VX_TARGETS:-}; do targets+=(--target "$t"); done
    cmake --build "$root/build/$arch" -j"$(nproc)" "${targets[@]}"
}

# vx_shipped_i686_dir ARCH: where the test tree of ARCH keeps the 32-bit shipped binaries.
vx_shipped_i686_dir() {
    if [ "$1" = i686 ]; then echo "$root/build/i686/shipped"; else echo "$root/build/$1/shipped-i686"; fi
}

# vx_prepare TARGETS SCRIPT [ARGS...]: sets the machine up and builds TARGETS of the test tree,
# then, for the 32-bit tree, runs SCRIPT again where 32-bit programs can run (emulator.sh) and
# exits with its status. VX_PREPARED tells the second run that all this is done.
vx_prepare() {
    local targets=$1; shift
    [ -z "${VX_PREPARED:-}" ] || return 0
    bash "$here/setup.sh"
    local arch
    arch=$(vx_test_arch)
    VX_TARGETS="$targets" vx_build "$arch" >/dev/null
    if [ "$arch" = i686 ]; then
        VX_PREPARED=1 vx_run_i386 bash "$@"
        exit $?
    fi
}
