#!/usr/bin/env bash
# Runs a Windows program under Wine as a chosen Windows release, locale and prefix:
#   wine_run.sh [--prefix DIR] [--release NAME] [--locale LC] -- program.exe [args...]
# A release is set per program name (Wine's AppDefaults), so the program runs from a copy named
# after the release and tests of other releases can run beside it.
set -euo pipefail
prefix=${WINEPREFIX:-}
release=""
locale=""
while [ $# -gt 0 ]; do
    case "$1" in
        --prefix) prefix=$2; shift 2;;
        --release) release=$2; shift 2;;
        --locale) locale=$2; shift 2;;
        --) shift; break;;
        *) break;;
    esac
done
program=$1; shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
loader=${VX_WINE_LOADER:-wine}
export WINELOADER=$loader

if [ -n "$release" ]; then
    dir=$(dirname "$program")
    base=$(basename "$program" .exe)
    copy="$dir/${base}-${release}.exe"
    if [ ! -f "$copy" ] || [ "$program" -nt "$copy" ]; then
        cp "$program" "$copy.tmp.$$" && mv -f "$copy.tmp.$$" "$copy"
    fi
    "$loader" reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$copy")" /v Version /d "$release" /f >/dev/null 2>&1
    program=$copy
fi
# The program writes into a file, which this script copies to its own output once the program
# has ended: a child that Wine leaves half-started (its parent killed while creating it) keeps
# the handles it inherited in the wineserver, and a test runner reading a pipe would wait for it
# for ever.
output=$(mktemp "${TMPDIR:-/tmp}/vx_wine_run.XXXXXX")
trap 'cat "$output"; rm -f "$output"' EXIT
set +e
# Through env, so that this shell does not try the locale itself (it need not exist on Linux).
if [ -n "$locale" ]; then
    env LC_ALL="$locale" "$loader" "$program" "$@" >"$output" 2>&1
else
    "$loader" "$program" "$@" >"$output" 2>&1
fi
exit $?
