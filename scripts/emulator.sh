# Sourced by common.sh: 32-bit Wine on a kernel that cannot run 32-bit programs.
#
# Some kernels have their 32-bit emulation switched off; 32-bit Wine then cannot start natively.
# It runs under QEMU's user-mode emulator instead. Debian 12's qemu-user (7.2) is too slow and
# faults at random under Wine; Debian 13's (10.x) works, and its qemu-i386 is a static binary
# that runs here unpacked. It is fetched once per machine into a versioned folder outside the
# clone, through apt lists of its own: the machine's apt sources and installed packages are
# left as they are.
#
# Wine re-executes itself and starts child processes, so the emulator must be the kernel's
# interpreter for 32-bit programs. The scripts register it in a binfmt_misc instance of their
# own, inside a user and mount namespace (kernel 6.7 or later): the machine's binfmt_misc
# settings are never touched, and the registration ends with the command it wraps.

vx_cache_dir() { echo "${VX_CACHE_DIR:-/var/cache/vxfpdi14}"; }

# True when this kernel runs 32-bit programs itself.
vx_native_i386() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

# The archive the machine's own apt configuration names for Debian.
vx_debian_archive() {
    local uri
    uri=$(grep -hsE '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' | grep -m1 '/debian/*$' || true)
    [ -n "$uri" ] || uri=$(grep -hsE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
                           | awk '{print $2}' | grep -m1 '/debian/*$' || true)
    [ -n "$uri" ] || { echo "emulator: no Debian archive in this machine's apt sources" >&2; return 1; }
    echo "$uri"
}

# vx_apt_private WORK LINE...: apt lists of the scripts' own in WORK/apt, made from the given
# sources.list lines and updated. The machine's sources, lists and packages stay as they are.
vx_apt_private() {
    local work=$1; shift
    mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" &&
    printf '%s\n' "$@" >"$work/apt/sources.list" &&
    vx_apt_get "$work" update >/dev/null
}

# vx_apt_get WORK ARGS...: apt-get over the lists that vx_apt_private made in WORK.
vx_apt_get() {
    local work=$1; shift
    apt-get -q -o APT::Sandbox::User=root -o Dir::Etc::SourceList="$work/apt/sources.list" \
        -o Dir::Etc::SourceParts=/nonexistent -o Dir::State::Lists="$work/apt/lists" \
        -o Dir::Cache="$work/apt/cache" -o Dir::State::Status=/dev/null "$@"
}

# Prints the path of a working qemu-i386, fetching it first when the cache has none.
vx_emulator() {
    local cache suite=trixie package=qemu-user
    cache=$(vx_cache_dir)
    local found
    found=$(ls -d "$cache"/qemu-user-*/usr/bin/qemu-i386 2>/dev/null | sort -V | tail -n 1 || true)
    if [ -n "$found" ] && "$found" --version >/dev/null 2>&1; then echo "$found"; return 0; fi

    echo "emulator: fetching $package from the Debian 13 ($suite) suite, once for this machine" >&2
    local work archive
    work=$(mktemp -d)
    archive=$(vx_debian_archive) || { rm -rf "$work"; return 1; }
    if ! (cd "$work" && vx_apt_private "$work" "deb $archive $suite main" &&
          vx_apt_get "$work" download "$package" >/dev/null); then
        echo "emulator: could not fetch $package from $archive ($suite)" >&2
        rm -rf "$work"; return 1
    fi
    local deb version
    deb=$(ls "$work"/${package}_*.deb)
    version=$(dpkg-deb -f "$deb" Version | sed 's/^[0-9]*://')
    case "$version" in
        [1-9][0-9].*) ;;
        *) echo "emulator: $package $version is older than 10.0, which Wine needs" >&2; rm -rf "$work"; return 1;;
    esac
    local target="$cache/qemu-user-$version"
    mkdir -p "$cache"
    rm -rf "$target.tmp"
    dpkg-deb -x "$deb" "$target.tmp"
    # Only the i386 emulator is kept; the package holds one for every architecture.
    find "$target.tmp/usr/bin" ! -type d ! -name qemu-i386 -delete
    find "$target.tmp" -depth -type d -empty -delete 2>/dev/null || true
    rm -rf "$target"; mv "$target.tmp" "$target"
    rm -rf "$work"
    "$target/usr/bin/qemu-i386" --version >/dev/null || { echo "emulator: $target does not run" >&2; return 1; }
    echo "emulator: qemu-i386 $version in $target" >&2
    echo "$target/usr/bin/qemu-i386"
}

# vx_run_i386 COMMAND...: runs COMMAND so that the 32-bit programs it starts can run: directly
# where the kernel runs them, under the emulator where it does not.
vx_run_i386() {
    if vx_native_i386; then "$@"; return; fi
    local qemu
    qemu=$(vx_emulator) || return 1
    unshare --user --map-root-user --mount -- bash "$here/binfmt_exec.sh" "$qemu" "$@"
}
