#!/usr/bin/env bash
# Prepares a Wine prefix for running the Windows build: 64-bit, reporting Windows 10, no crash
# dialog, the Japanese UI font names mapped to Noto Sans CJK JP, a running wineserver. Usage:
#   scripts/wine-prefix.sh DIR           creates (or reuses) the prefix DIR, starts its wineserver
#   scripts/wine-prefix.sh --fresh DIR   ends DIR's wineserver and makes DIR anew first
# Then run programs with WINEPREFIX=DIR WINEDEBUG=-all wine PROGRAM.exe ...
set -euo pipefail
fresh=false
if [ "${1:-}" = --fresh ]; then
    fresh=true
    shift
fi
prefix="${1:?usage: wine-prefix.sh [--fresh] DIR}"
if $fresh && [ -d "$prefix" ]; then
    WINEPREFIX="$(cd "$prefix" && pwd)" wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$(cd "$prefix" && pwd)" wineserver -w >/dev/null 2>&1 || true
    rm -rf "$prefix"
fi
mkdir -p "$prefix"
prefix="$(cd "$prefix" && pwd)"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ ! -f "$prefix/system.reg" ]; then
    # Every Wine program here gets other output than the caller's: wineserver and the services
    # that wineboot starts outlive this script and would keep a caller's pipe open.
    for attempt in 1 2; do
        wineboot --init >/dev/null 2>&1 </dev/null || true
        wineserver -w
        [ -f "$prefix/system.reg" ] && break
    done
    if [ ! -f "$prefix/system.reg" ]; then
        echo "wine-prefix: wineboot did not create the prefix $prefix" >&2
        exit 1
    fi
    reg_file="$prefix/oskelon-setup.reg"
    cat > "$reg_file" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine]
"Version"="win10"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="Noto Sans CJK JP"
"MS PGothic"="Noto Sans CJK JP"
"ＭＳ Ｐゴシック"="Noto Sans CJK JP"
"MS Gothic"="Noto Sans CJK JP"
"ＭＳ ゴシック"="Noto Sans CJK JP"
REG
    # regedit reads UTF-16 files with a BOM; the names above need more than ASCII.
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$reg_file"; } > "$reg_file.utf16"
    if ! wine regedit /S "$reg_file.utf16" >/dev/null 2>&1 </dev/null; then
        echo "wine-prefix: regedit could not import $reg_file" >&2
        exit 1
    fi
    wineserver -w
fi
# A persistent wineserver with Wine's services already running, so that each program starts in
# a fraction of a second. Both are started in a session of their own: they must outlive the
# caller (a test runner ends the caller's process group) and hold none of its pipes.
setsid wineserver -p >/dev/null 2>&1 </dev/null
setsid wineboot >/dev/null 2>&1 </dev/null
