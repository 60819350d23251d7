# Sourced by the scripts that show the Windows window (tests/win/window_test.sh,
# scripts/screenshot-windows.sh): one fresh Wine prefix and one virtual X server, for one session.
#
#   wine_window_session_start DIR   makes the prefix DIR/prefix (scripts/wine-prefix.sh) and
#                                   starts Xvfb on a free display; exports WINEPREFIX, WINEDEBUG
#                                   and DISPLAY
#   wine_window_session_end         ends the prefix's programs and wineserver and the X server,
#                                   and removes the prefix
#
# There is no window manager: Wine is told to manage and frame its windows itself (otherwise they
# show without a caption, and every window that closes waits two seconds for a manager that does
# not answer), and the Marlett font of its caption buttons is put where it looks.

wine_window_session_start() {
    local dir="$1"
    local here
    here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
    mkdir -p "$dir"
    _wws_prefix="$(cd "$dir" && pwd)/prefix"

    local display_file="$dir/xvfb-display"
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$display_file" \
        >/dev/null 2>&1 </dev/null &
    _wws_xvfb=$!
    local waited=0
    while [ ! -s "$display_file" ]; do
        if [ "$waited" -ge 100 ] || ! kill -0 "$_wws_xvfb" 2>/dev/null; then
            echo "wine-window-session: Xvfb did not start" >&2
            return 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    # The display first: the prefix's desktop process, started with the prefix, keeps the
    # display it was started with.
    export DISPLAY=":$(head -n 1 "$display_file")"

    "$here/wine-prefix.sh" "$_wws_prefix" >/dev/null 2>&1 </dev/null
    export WINEPREFIX="$_wws_prefix" WINEDEBUG=-all
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$_wws_prefix/drive_c/windows/Fonts/"
    fi
}

wine_window_session_end() {
    if [ -n "${_wws_prefix:-}" ]; then
        WINEPREFIX="$_wws_prefix" wineserver -k >/dev/null 2>&1 || true
        WINEPREFIX="$_wws_prefix" wineserver -w >/dev/null 2>&1 || true
        rm -rf "$_wws_prefix"
        _wws_prefix=
    fi
    if [ -n "${_wws_xvfb:-}" ]; then
        kill "$_wws_xvfb" 2>/dev/null || true
        wait "$_wws_xvfb" 2>/dev/null || true
        _wws_xvfb=
    fi
}
