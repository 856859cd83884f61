#!/usr/bin/env bash
# binfmt_exec.sh QEMU COMMAND...: inside a user and mount namespace (see emulator.sh), mounts a
# binfmt_misc instance of the namespace's own, makes QEMU the interpreter of 32-bit x86 ELF
# programs there and runs COMMAND. The F flag opens the interpreter now, so it serves every
# process below, whatever their mounts and current folders.
set -euo pipefail
qemu=$1; shift
if ! mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null; then
    echo "binfmt_exec.sh: this kernel gives a namespace no binfmt_misc of its own (it needs 6.7 or later);" >&2
    echo "binfmt_exec.sh: 32-bit programs cannot run here." >&2
    exit 1
fi
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
printf '%s' ":vx-i386:M::$magic:$mask:$qemu:F" >/proc/sys/fs/binfmt_misc/register
exec "$@"
