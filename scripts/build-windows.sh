#!/usr/bin/env bash
# Builds the Windows programs on Debian with the mingw-w64 cross compiler and packs them:
# build/windows/oskelon-<version>-win64.zip (oskelon.exe, oskelon-cli.exe, README.txt).
# Installs what is missing first (needs root or sudo for apt-get). Usage: scripts/build-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
cmake --preset windows
cmake --build --preset windows
(cd build/windows && cpack -G ZIP >/dev/null)
# The executables must need nothing beyond Windows itself.
for exe in build/windows/src/cli/oskelon-cli.exe build/windows/src/win/oskelon.exe; do
    [ -f "$exe" ] || continue
    imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')
    for dll in $imports; do
        case "${dll,,}" in
            kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | comctl32.dll | shell32.dll | \
                ole32.dll | msvcrt.dll | ntdll.dll | api-ms-win-*.dll) ;;
            *) echo "build-windows: $exe imports $dll, which Windows does not provide" >&2; exit 1 ;;
        esac
    done
    echo "build-windows: $exe imports $imports"
done
ls -l build/windows/oskelon-*-win64.zip
