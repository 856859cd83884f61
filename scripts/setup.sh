#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to cross-build the PDI and run it under Wine.
# Idempotent: does nothing when every package is already present.
set -euo pipefail

packages=(wine wine32:i386 wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 xvfb xauth cmake googletest make
          chromium  # the log viewer's report is opened in a headless browser
          g++ libgmp-dev libmpfr-dev libmpc-dev bzip2 xz-utils patch file)  # the runtime's build (runtime.sh)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${packages[@]}"
