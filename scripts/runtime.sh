# Sourced by common.sh: the runtime libraries that the shipped 32-bit files link, built for i486.
#
# Debian's MinGW-w64 compilers default to -march=pentiumpro, and so were its runtime libraries
# built: libgcc, libstdc++ and the CRT are full of CMOV, which a 486, Pentium or K6 cannot run,
# and the CRT's start-up code reaches it before main. The same sources, of the same versions as
# the installed compilers, are built here again for i486 by those compilers themselves: gcc's
# build tree is configured only far enough to give libgcc its target headers (no compiler is
# built), libstdc++ and the CRT are configured on their own. One change is made to the sources
# (runtime/patches): libgcc's thread locks make their semaphores with CreateSemaphoreA.
#
# Built once per machine into a folder outside the clone whose name carries the versions and a
# digest of this recipe, so a changed recipe builds anew. The machine's apt sources and lists are
# left as they are: the sources are fetched through lists of the script's own.

vx_runtime_gcc_version=12.2.0-14+deb12u1   # gcc-12-source: the cross compilers' own version
vx_runtime_mingw_version=10.0.0-3          # mingw-w64: the installed CRT's version
vx_runtime_flags="-g -O2 -march=i486"

vx_runtime_recipe_digest() {
    cat "$here/runtime.sh" "$root"/runtime/patches/*.patch | sha256sum | cut -c1-10
}

vx_runtime_dir_name() {
    echo "$(vx_cache_dir)/runtime-i486-gcc-$vx_runtime_gcc_version-mingw-w64-$vx_runtime_mingw_version-$(vx_runtime_recipe_digest)"
}

# Prints the runtime folder, building it first when missing.
vx_runtime() {
    local dir
    dir=$(vx_runtime_dir_name)
    if [ -f "$dir/lib/libstdc++.a" ]; then echo "$dir"; return 0; fi
    mkdir -p "$(vx_cache_dir)"
    # One build per machine even when two scripts ask at once.
    (
        flock 9
        [ -f "$dir/lib/libstdc++.a" ] || vx_runtime_build "$dir" >&2
    ) 9>"$(vx_cache_dir)/runtime.lock" || return 1
    echo "$dir"
}

vx_runtime_step() {  # text
    echo "runtime: [$(( $(date +%s) - vx_runtime_started ))s] $*"
}

vx_runtime_check_compilers() {
    local installed
    installed=$(dpkg-query -W -f='${Version}' gcc-mingw-w64-i686-win32 2>/dev/null || true)
    case "$installed" in
        "$vx_runtime_gcc_version"+*) return 0;;
    esac
    echo "runtime: the i686 compilers are '$installed', not $vx_runtime_gcc_version: the runtime must be built from their own version" >&2
    return 1
}

vx_runtime_fetch() {  # work
    local work=$1 archive suite
    archive=$(vx_debian_archive) || return 1
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    mkdir -p "$work/src"
    (cd "$work/src" &&
        vx_apt_private "$work" "deb $archive $suite main" "deb-src $archive $suite main" &&
        vx_apt_get "$work" download "gcc-12-source=$vx_runtime_gcc_version" >/dev/null &&
        vx_apt_get "$work" source --download-only "mingw-w64=$vx_runtime_mingw_version" >/dev/null) || {
        echo "runtime: could not fetch gcc-12-source $vx_runtime_gcc_version or mingw-w64 $vx_runtime_mingw_version from $archive ($suite)" >&2
        return 1
    }
}

vx_runtime_unpack() {  # work
    local work=$1
    dpkg-deb --fsys-tarfile "$work"/src/gcc-12-source_*.deb |
        tar -x -C "$work/src" --wildcards './usr/src/gcc-12/gcc-*.tar.xz' || return 1
    # Only what the three libraries and gcc's configuration need.
    tar -x -C "$work" -f "$work"/src/usr/src/gcc-12/gcc-*.tar.xz --exclude='gcc-*/gcc/testsuite' \
        --exclude='gcc-*/libstdc++-v3/testsuite/*/*' --exclude='gcc-*/libgo' --exclude='gcc-*/libphobos' \
        --exclude='gcc-*/libgfortran' --exclude='gcc-*/libsanitizer' --exclude='gcc-*/libada' || return 1
    mv "$work"/gcc-[0-9]* "$work/gcc"
    tar -x -C "$work" -f "$work"/src/mingw-w64_*.orig.tar.bz2 || return 1
    mv "$work"/mingw-w64-v* "$work/mingw-w64"
    local patch
    for patch in "$root"/runtime/patches/*.patch; do
        patch -s -p1 -d "$work/gcc" <"$patch" || { echo "runtime: $patch does not apply" >&2; return 1; }
    done
}

# gcc's build tree, configured for the target, up to the headers and driver that libgcc reads.
vx_runtime_gcc_headers() {  # work
    local work=$1 jobs
    jobs=$(nproc)
    mkdir -p "$work/gcc-build" && cd "$work/gcc-build" || return 1
    "$work/gcc/configure" --target=i686-w64-mingw32 --disable-multilib --enable-languages=c,c++ \
        --enable-threads=win32 --disable-sjlj-exceptions --with-dwarf2 --with-arch=i486 \
        --disable-nls --disable-lto --disable-plugin --disable-bootstrap \
        --with-as=/usr/bin/i686-w64-mingw32-as --with-ld=/usr/bin/i686-w64-mingw32-ld >configure.log 2>&1 &&
    make configure-gcc >>configure.log 2>&1 &&
    make -j"$jobs" all-build-libiberty all-build-libcpp all-libiberty all-libcpp all-libdecnumber \
        all-libbacktrace >host.log 2>&1 &&
    mkdir -p gcc/include gcc/d &&
    make -C gcc -j"$jobs" libgcc.mvars tconfig.h tm.h options.h insn-constants.h insn-flags.h \
        insn-modes.h >headers.log 2>&1
}

vx_runtime_libgcc() {  # work
    local work=$1
    mkdir -p "$work/gcc-build/i686-w64-mingw32/libgcc" && cd "$work/gcc-build/i686-w64-mingw32/libgcc" || return 1
    "$work/gcc/libgcc/configure" --srcdir="$work/gcc/libgcc" --host=i686-w64-mingw32 \
        --build="$(gcc -dumpmachine)" --target=i686-w64-mingw32 --enable-shared \
        CC=i686-w64-mingw32-gcc-win32 CFLAGS="$vx_runtime_flags" >configure.log 2>&1 &&
    make -j"$(nproc)" >make.log 2>&1
}

vx_runtime_libstdcxx() {  # work
    local work=$1
    mkdir -p "$work/gcc-build/i686-w64-mingw32/libstdc++-v3" && cd "$work/gcc-build/i686-w64-mingw32/libstdc++-v3" || return 1
    # The options of Debian's cross compilers (i686-w64-mingw32-g++-win32 -v), static only.
    # -nostdinc++: configure must see the C library's headers, as in a whole gcc build, not the
    # installed compiler's C++ wrappers of them. No RDRAND or RDSEED source for random_device:
    # its readers and their CPUID probes are code a 486 lacks, and random_device, which the
    # string instantiations bring into every image, then draws from rand_s alone.
    "$work/gcc/libstdc++-v3/configure" --srcdir="$work/gcc/libstdc++-v3" --host=i686-w64-mingw32 \
        --build="$(gcc -dumpmachine)" --target=i686-w64-mingw32 --disable-multilib \
        --enable-threads=win32 --disable-sjlj-exceptions --enable-fully-dynamic-string \
        --enable-libstdcxx-time=yes --enable-libstdcxx-filesystem-ts=yes \
        --enable-version-specific-runtime-libs --disable-shared --enable-static --disable-nls \
        --disable-libstdcxx-pch CC=i686-w64-mingw32-gcc-win32 CXX="i686-w64-mingw32-g++-win32 -nostdinc++" \
        CFLAGS="$vx_runtime_flags" CXXFLAGS="$vx_runtime_flags" ac_cv_x86_rdrand=no ac_cv_x86_rdseed=no \
        >configure.log 2>&1 &&
    make -j"$(nproc)" >make.log 2>&1
}

vx_runtime_crt() {  # work
    local work=$1
    mkdir -p "$work/crt-build" && cd "$work/crt-build" || return 1
    "$work/mingw-w64/mingw-w64-crt/configure" --host=i686-w64-mingw32 --enable-lib32 --disable-lib64 \
        CC=i686-w64-mingw32-gcc-win32 CFLAGS="$vx_runtime_flags" >configure.log 2>&1 &&
    # Only the start-up objects and the libraries a link takes by default; the import
    # libraries of the system DLLs hold nothing but jumps and stay Debian's. The start-up
    # objects' rules do not make their folder.
    mkdir -p lib32 &&
    make -j"$(nproc)" lib32/crt2.o lib32/dllcrt2.o lib32/libmingw32.a lib32/libmingwex.a \
        lib32/libmsvcrt.a lib32/libmoldname.a >make.log 2>&1
}

vx_runtime_install() {  # work target
    local work=$1 target=$2
    local tmp="$target.tmp"
    rm -rf "$tmp"; mkdir -p "$tmp/lib"
    local g="$work/gcc-build/i686-w64-mingw32"
    # The files a link takes from the runtime; the product's link finds them here first (-B).
    cp "$g"/libgcc/{crtbegin.o,crtend.o,libgcc.a,libgcc_eh.a} "$g/libstdc++-v3/src/.libs/libstdc++.a" \
       "$g/libstdc++-v3/libsupc++/.libs/libsupc++.a" \
       "$work"/crt-build/lib32/{crt2.o,dllcrt2.o,libmingw32.a,libmingwex.a,libmsvcrt.a,libmoldname.a} \
       "$tmp/lib/" || { echo "runtime: a library was not built" >&2; return 1; }
    {
        echo "gcc-12-source $vx_runtime_gcc_version (libgcc, libstdc++), mingw-w64 $vx_runtime_mingw_version (CRT)"
        echo "built with $(i686-w64-mingw32-gcc-win32 --version | head -n 1), flags: $vx_runtime_flags"
        echo "patches: $(cd "$root/runtime/patches" && ls)"
    } >"$tmp/BUILDINFO"
    rm -rf "$target"; mv "$tmp" "$target"
}

vx_runtime_build() {  # target
    local target=$1 work
    vx_runtime_started=$(date +%s)
    vx_runtime_check_compilers || return 1
    echo "runtime: building libgcc, libstdc++ and the MinGW-w64 CRT for i486, once for this machine (about 15 minutes)"
    work=$(mktemp -d "$(vx_cache_dir)/runtime-build.XXXXXX")
    local status=0
    (
        vx_runtime_step "1/6 fetching gcc-12-source $vx_runtime_gcc_version and mingw-w64 $vx_runtime_mingw_version" &&
        vx_runtime_fetch "$work" &&
        vx_runtime_step "2/6 unpacking and patching the sources" &&
        vx_runtime_unpack "$work" &&
        vx_runtime_step "3/6 configuring gcc's build tree for the target headers" &&
        vx_runtime_gcc_headers "$work" &&
        vx_runtime_step "4/6 building libgcc" &&
        vx_runtime_libgcc "$work" &&
        vx_runtime_step "5/6 building libstdc++" &&
        vx_runtime_libstdcxx "$work" &&
        vx_runtime_step "6/6 building the CRT" &&
        vx_runtime_crt "$work" &&
        vx_runtime_install "$work" "$target" &&
        vx_runtime_step "done: $target"
    ) || status=$?
    if [ "$status" -ne 0 ]; then
        local log
        log=$(find "$work" -name '*.log' -printf '%T@ %p\n' | sort -n | tail -n 1 | cut -d' ' -f2-)
        [ -z "$log" ] || { echo "runtime: the end of $log:" >&2; tail -n 20 "$log" >&2; }
        echo "runtime: the build failed; its logs are in $work" >&2
        return "$status"
    fi
    rm -rf "$work"
}
