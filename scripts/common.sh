# Shared by the build, test and sample scripts.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

# The product is a 32-bit program. Its tests run it under 32-bit Wine where the kernel can run
# 32-bit Linux programs; where it cannot (32-bit emulation switched off), the same sources are
# built for 64-bit Windows and tested under 64-bit Wine. VX_TEST_ARCH overrides the choice.
vx_test_arch() {
    if [ -n "${VX_TEST_ARCH:-}" ]; then
        echo "$VX_TEST_ARCH"
    elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo i686
    else
        echo x86_64
    fi
}

vx_wine_loader() {  # arch
    if [ "$1" = i686 ]; then echo wine; else echo /usr/lib/wine/wine64; fi
}

# vx_build ARCH [cmake options...]: configures and builds the test tree build/ARCH (only the
# targets in VX_TARGETS when that is set). The test programs are built with the posix-thread
# compilers; the tree builds the shipped binaries with the win32-thread ones in build/ARCH/shipped
# (and, in a 64-bit tree, the 32-bit ones in build/x86_64/shipped-i686).
vx_build() {
    local arch=$1; shift
    local type=${VX_BUILD_TYPE:-Release}
    cmake -S "$root" -B "$root/build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DVX_THREAD_MODEL=posix -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
    local targets=()
    for t in ${VX_TARGETS:-}; do targets+=(--target "$t"); done
    cmake --build "$root/build/$arch" -j"$(nproc)" "${targets[@]}"
}

# vx_shipped_i686_dir ARCH: where the test tree of ARCH keeps the 32-bit shipped binaries.
vx_shipped_i686_dir() {
    if [ "$1" = i686 ]; then echo "$root/build/i686/shipped"; else echo "$root/build/$1/shipped-i686"; fi
}
