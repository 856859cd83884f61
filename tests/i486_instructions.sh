#!/usr/bin/env bash
# Every instruction in the shipped files' code must run on a 486: the releases they load on run
# on 486, Pentium, Pentium MMX and K6 processors, which fault on P6 and later instructions
# (CMOV first of all). Reads the files only, so it runs without Wine.
#   i486_instructions.sh <objdump of the i686 toolchain> <shipped folder> <file>...
# Prints one line per instruction a 486 lacks (file, address, function, instruction) and a
# count per file; the function is the nearest symbol before it, from the file's symbol table or,
# for a stripped file, from <file>.debug beside it.
set -uo pipefail
objdump=$1
folder=$2
shift 2
tools=${objdump%objdump}
nm=${tools}nm
cxxfilt=${tools}c++filt
command -v "$cxxfilt" >/dev/null || cxxfilt=cat

# The build id of a file, empty when it has none.
build_id() {
    "$objdump" -p "$1" 2>/dev/null | sed -n 's/.*RSDS signature \([0-9a-f]*\).*/\1/p' | head -n 1
}

# The text symbols naming the code of a file: its own, or those of its debug file when it was
# stripped, provided the debug file was made from this very build.
symbols() {  # file
    local file=$1 debug=$1.debug listed
    listed=$("$nm" -n "$file" 2>/dev/null)
    if grep -q ' [Tt] ' <<<"$listed"; then
        echo "$listed"
        return
    fi
    [ -f "$debug" ] || { echo "$file: no symbol table and no $debug beside it" >&2; return 1; }
    local id
    id=$(build_id "$file")
    [ -n "$id" ] || { echo "$file: no build id, so $debug cannot be matched to it" >&2; return 1; }
    [ "$id" = "$(build_id "$debug")" ] || { echo "$file: $debug is of another build" >&2; return 1; }
    "$nm" -n "$debug"
}

check() {  # file name
    local file=$1 name=$2 syms
    syms=$(mktemp)
    symbols "$file" >"$syms" || { rm -f "$syms"; return 2; }
    "$objdump" -d --no-show-raw-insn "$file" | awk -v file="$name" '
    function pad(a) { while (length(a) < 8) a = "0" a; return a }
    # The nearest symbol at or before address a.
    function owner(a,   lo, hi, mid) {
        lo = 1; hi = nsym
        if (nsym == 0 || a < addr[1]) return "?"
        while (lo < hi) { mid = int((lo + hi + 1) / 2); if (addr[mid] <= a) lo = mid; else hi = mid - 1 }
        return sym[lo]
    }
    BEGIN {
        split("lock rep repz repe repnz repne data16 data32 addr16 addr32 cs ds es ss fs gs notrack bnd xacquire xrelease", p, " ")
        for (i in p) prefix[p[i]] = 1
    }
    # nm -n: text symbols by address. A function in a section of its own may be named only by
    # that section (.text$<symbol>); a real name at the same address wins. C names lose the
    # underscore the i386 ABI puts before them; C++ names keep it for c++filt.
    FNR == NR {
        if ($2 != "T" && $2 != "t") next
        a = pad($1); s = $3; rank = 2
        if (s ~ /^\.text\$/) { s = "_" substr(s, 7); rank = 1 } else if (s ~ /^\./) rank = 0
        if (s ~ /^_/ && s !~ /^__Z/) s = substr(s, 2)
        if ($3 == "__CTOR_LIST__") ctors = a
        if (nsym && addr[nsym] == a) { if (rank > rk[nsym]) { sym[nsym] = s; rk[nsym] = rank }; next }
        addr[++nsym] = a; sym[nsym] = s; rk[nsym] = rank
        next
    }
    /^Disassembly of section / { section = $4; sub(/:$/, "", section); next }
    /^ *[0-9a-f]+:\t/ {
        tab = index($0, "\t"); a = substr($0, 1, tab - 1); gsub(/[ :]/, "", a); a = pad(a)
        # The linker puts the constructor and destructor lists and the exception tables at the
        # end of .text: data, not code.
        if (section == ".text" && ctors != "" && a >= ctors) next
        insn = substr($0, tab + 1); sub(/[ \t]+#.*/, "", insn)
        nw = split(insn, w, " "); i = 1
        while (i < nw && (w[i] in prefix)) i++
        m = w[i]; sub(/,p[nt]$/, "", m); ops = ""
        for (j = i + 1; j <= nw; j++) ops = ops w[j]
        ++total
        why = ""
        if (m ~ /^f?cmov/) why = "CMOV, P6"
        else if (m ~ /^fu?comip?$/) why = "FCOMI, P6"
        else if (m ~ /^(sysenter|sysexit|syscall|sysret)/) why = "fast system call, P6"
        else if (m ~ /^nop/ && ops != "" || m ~ /^endbr/) why = "multi-byte NOP, P6"
        else if (m ~ /^cmpxchg(8|16)b/) why = "CMPXCHG8B, Pentium"
        else if (m ~ /^(cpuid|rdtscp?|rdpmc|rdmsr|wrmsr|xgetbv|xsetbv|monitor|mwait)$/) why = "processor query, Pentium"
        else if (ops ~ /%[xyz]?mm[0-9]|%k[0-7]/) why = "MMX/SSE/AVX register"
        else if (m ~ /^(emms|femms|fxsave|fxrstor|ldmxcsr|stmxcsr|vldmxcsr|vstmxcsr|prefetch|[lms]fence|clflush|clwb|movnti|fisttp|vzero|xsave|xrstor)/) why = "MMX/SSE/AVX"
        else if (m ~ /^(popcnt|lzcnt|tzcnt|movbe|crc32|rdrand|rdseed|rdpid|andn|bextr|blsi|blsmsk|blsr|bzhi|pdep|pext|sarx|shlx|shrx|rorx|mulx|adcx|adox)/) why = "later extension"
        else if (m == "(bad)") why = "not decodable"
        if (why == "") next
        f = owner(a)
        ++found
        printf "%s: 0x%s in %s: %s%s (%s)\n", file, a, f, m, (ops == "" ? "" : " " ops), why
    }
    END {
        if (total == 0) { printf "%s: no code disassembled\n", file; exit 1 }
        printf "%s: %d of %d instructions a 486 lacks\n", file, found, total
        exit found > 0
    }' "$syms" - | "$cxxfilt"
    local status=$?
    rm -f "$syms"
    return $status
}

status=0
for name in "$@"; do
    if [ ! -f "$folder/$name" ]; then
        echo "$name: not found in $folder"
        status=1
        continue
    fi
    check "$folder/$name" "$name" || status=1
done
exit $status
