#!/usr/bin/env bash
# The Windows build computes exactly what the Linux build computes: every transform, radix-test
# value and product (the fingerprint tool), and for each given size pi.dat (line end aside) and
# the digest of every iteration's numbers. Runs the Windows programs through Wine (WINEPREFIX set
# by the caller).
# Usage: same_results_test.sh LINUX_BUILD_DIR FINGERPRINT_EXE CLI_EXE SIZE...
set -euo pipefail
native="$1" fingerprint_exe="$2" cli_exe="$3"
shift 3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$native/tools/oskelon-fingerprint" > "$work/linux.txt"
wine "$fingerprint_exe" | tr -d '\r' > "$work/windows.txt"
if ! diff -u "$work/linux.txt" "$work/windows.txt"; then
    echo "FAIL: the fingerprints differ" >&2
    exit 1
fi
echo "fingerprint: $(wc -l < "$work/linux.txt") items identical"

digests() { grep -o '"digest": "[0-9a-f]*"' "$1"; }
# same_as_linux SIZE WINDOWS_DIR WHAT: the Windows run in WINDOWS_DIR has Linux's pi.dat (line end
# aside) and iteration digests for SIZE.
same_as_linux() {
    local size=$1 dir=$2 what=$3
    if ! tr -d '\r' < "$dir/pi.dat" | cmp -s - "$work/l$size/pi.dat"; then
        echo "FAIL: $what: pi.dat differs" >&2
        exit 1
    fi
    if ! diff <(digests "$work/l$size/r.json") <(digests "$dir/r.json"); then
        echo "FAIL: $what: iteration digests differ" >&2
        exit 1
    fi
}
for size in "$@"; do
    mkdir -p "$work/l$size" "$work/w$size"
    (cd "$work/l$size" && "$native/src/cli/oskelon-cli" --size "$size" --json r.json >/dev/null)
    (cd "$work/w$size" && wine "$cli_exe" --size "$size" --json r.json | tr -d '\r' > out.txt)
    same_as_linux "$size" "$work/w$size" "size $size"
    echo "size $size: pi.dat and $(digests "$work/l$size/r.json" | wc -l) iteration digests identical"
done

# The record of the last size in the registry: a DWORD time and the run's code and OS line as
# texts, the code being the one the run printed.
names=(1.6 3.2 6.5 13 26 52 104 209 419 838 1677 3355)
prefix="${names[$size]}"
records="$(wine reg query 'HKCU\Software\Fenwarren\Oskelon' | tr -d '\r')"
code="$(sed -n 's/^Code //p' "$work/w$size/out.txt")"
expect_value() {
    if ! grep -qE "^ +$1 +$2 +$3\$" <<<"$records"; then
        echo "FAIL: registry value $1 is not $2 $3:" >&2
        echo "$records" >&2
        exit 1
    fi
}
expect_value ver1.1 REG_DWORD 0x1
expect_value "${prefix}s" REG_DWORD '0x[0-9a-f]+'
expect_value "${prefix}c" REG_SZ "$code"
expect_value "${prefix}o" REG_SZ 'Windows(NT|2000) Ver [0-9]+\.[0-9]+ Build [0-9]+.*'
echo "registry: ver1.1, ${prefix}s, ${prefix}c (Code $code) and ${prefix}o as stored by the run"

# A two-thread run of the last size: the same pi.dat and digests again, its record in the values
# of two-thread runs, and the classic record left as it was.
mkdir -p "$work/t$size"
(cd "$work/t$size" && wine "$cli_exe" --size "$size" --threads 2 --json r.json | tr -d '\r' > out.txt)
same_as_linux "$size" "$work/t$size" "size $size on two threads"
grep -qx "use 2 threads" "$work/t$size/out.txt" || { echo "FAIL: no thread line" >&2; exit 1; }
records="$(wine reg query 'HKCU\Software\Fenwarren\Oskelon' | tr -d '\r')"
code2="$(sed -n 's/^Code //p' "$work/t$size/out.txt")"
expect_value "${prefix}c" REG_SZ "$code"
expect_value "${prefix}s-2t" REG_DWORD '0x[0-9a-f]+'
expect_value "${prefix}c-2t" REG_SZ "$code2"
echo "two threads: pi.dat and digests identical, record in ${prefix}s-2t and ${prefix}c-2t (Code $code2)"
