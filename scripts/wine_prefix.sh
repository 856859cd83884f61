#!/usr/bin/env bash
# start LOADER KEEPALIVE PREFIX...: makes each Wine prefix once (64-bit when its name ends in 64)
# and keeps a wineserver and the KEEPALIVE program running in it for the test run, so test
# processes start fast and Wine's system processes never hold a test's output open.
# stop LOADER PREFIX...: ends those wineservers.
set -euo pipefail
action=$1 loader=$2 keepalive=$3; shift 3
export WINEDEBUG=-all
export WINELOADER=$loader

make_prefix() {  # dir arch
    local dir=$1 arch=$2
    if [ ! -f "$dir/system.reg" ]; then
        mkdir -p "$dir"
        # mono and gecko are not wanted: their installers would ask through a window.
        WINEPREFIX="$dir" WINEARCH=$arch WINEDLLOVERRIDES="mscoree,mshtml=" "$loader" wineboot -i >/dev/null 2>&1
        WINEPREFIX="$dir" wineserver -w
        # The product's home ground: Windows XP unless a test names another release.
        WINEPREFIX="$dir" "$loader" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
        WINEPREFIX="$dir" wineserver -w
    fi
}

seen=" "
for dir in "$@"; do
    case "$seen" in *" $dir "*) continue;; esac
    seen="$seen$dir "
    arch=win32
    case "$dir" in *64) arch=win64;; esac
    case "$action" in
        start)
            make_prefix "$dir" "$arch"
            # Its own stdio: the test runner waits for every holder of its pipes to close them.
            # A server that is still up from an earlier run is as good as a new one.
            WINEPREFIX="$dir" wineserver -p </dev/null >/dev/null 2>&1 || true
            WINEPREFIX="$dir" setsid "$loader" "$keepalive" </dev/null >/dev/null 2>&1 &
            # The system processes are up once a first program has run to its end.
            WINEPREFIX="$dir" "$loader" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
            ;;
        stop)
            WINEPREFIX="$dir" wineserver -k 2>/dev/null || true
            ;;
    esac
done
