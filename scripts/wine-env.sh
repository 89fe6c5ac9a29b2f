# Sourced by the test and run scripts: a Wine prefix of the project's own,
# a display (Xvfb when there is none), and one wineserver kept running so
# every Wine process start is cheap.
ROOT="${ROOT:-$(cd "$(dirname "$0")/.." && pwd)}"
export WINEPREFIX="${WINEPREFIX:-$ROOT/${MOJIAN_BUILD:-build}/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No HTML engine and no .NET under Wine: never let it offer to download them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=d}"
export LANG="${LANG:-C.UTF-8}"

# The program ships for 32-bit Windows, and 32-bit Wine needs a kernel that
# runs 32-bit code, which some virtual machines do not. There the 64-bit
# build (the same sources) is the one run: MOJIAN_WINDOWS says which build,
# MOJIAN_WINE which loader.
if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    MOJIAN_WINDOWS=win32
    MOJIAN_WINE=wine
elif [ -x /usr/lib/wine/wine64 ]; then
    MOJIAN_WINDOWS=win64
    MOJIAN_WINE=/usr/lib/wine/wine64
else
    MOJIAN_WINDOWS=win32
    MOJIAN_WINE=wine
fi
# `command`: with MOJIAN_WINE=wine, the function must not call itself.
wine() { command "$MOJIAN_WINE" "$@"; }

MOJIAN_XVFB_PID=""

mojian_start_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    for n in $(seq 99 -1 80); do
        if [ ! -e "/tmp/.X$n-lock" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            MOJIAN_XVFB_PID=$!
            export DISPLAY=":$n"
            for _ in $(seq 50); do
                xdpyinfo >/dev/null 2>&1 && return 0
                sleep 0.1
            done
        fi
    done
    echo "could not start Xvfb" >&2
    return 1
}

mojian_start_wine() {
    mkdir -p "$WINEPREFIX"
    # A prefix made before wine32 was installed cannot run 32-bit programs.
    if [ ! -f "$WINEPREFIX/system.reg" ] ||
       { [ "$MOJIAN_WINDOWS" = win32 ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; }; then
        rm -rf "$WINEPREFIX"
        echo "preparing the Wine prefix (once, about 20 s)"
        # wineboot returns once the prefix is usable; waiting for the server
        # to go idle (wineserver -w) can hang on its background services.
        wine wineboot --init >/dev/null 2>&1 || true
    fi
    # Wine's own dialog and menu fonts have no Chinese: link them to the CJK
    # font we install, or message boxes and the menu bar show empty boxes for
    # every character. Wine may write its own links while the new prefix
    # settles, so the links are checked and written until they hold.
    local marker="$WINEPREFIX/.mojian-fonts-linked"
    if [ ! -f "$marker" ]; then
        local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' f
        for f in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
            wine reg add "$key" /v "$f" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f \
                </dev/null >/dev/null 2>&1 || true
        done
        wineserver -k >/dev/null 2>&1 || true  # the font links are read when the server starts
        if wine reg query "$key" /v Tahoma </dev/null 2>/dev/null | grep -q wqy-microhei; then
            touch "$marker"
        fi
        wineserver -k >/dev/null 2>&1 || true
    fi
    # A program that crashes ends at once: Wine's own debugger would attach
    # and wait for nobody, and the crash show as a test running out of time
    # minutes later. The "debugger" started instead leaves at once.
    local aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
    if ! wine reg query "$aedebug" /v Debugger </dev/null 2>/dev/null | grep -q 'cmd.exe /c exit'; then
        wine reg add "$aedebug" /v Debugger /t REG_SZ /d 'cmd.exe /c exit' /f </dev/null >/dev/null 2>&1 || true
    fi
    mojian_set_window_management
    wineserver -p >/dev/null 2>&1 || true
    # Start Wine's background services now, with their output going nowhere:
    # started by the first test instead, they would inherit ctest's pipe and
    # keep that test from ever finishing.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Wine leaves its top-level windows to the display's window manager, and
# waits for it: with none there (Xvfb), hiding or closing a shown window
# costs two seconds. On such a display Wine places and activates them itself.
mojian_set_window_management() {
    local x11='HKCU\Software\Wine\X11 Driver' want=Y
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || want=N
    if ! wine reg query "$x11" /v Managed </dev/null 2>/dev/null | grep -qE "REG_SZ[[:space:]]+$want"; then
        wine reg add "$x11" /v Managed /t REG_SZ /d "$want" /f </dev/null >/dev/null 2>&1 || true
    fi
}

mojian_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$MOJIAN_XVFB_PID" ]; then
        kill "$MOJIAN_XVFB_PID" 2>/dev/null || true
        wait "$MOJIAN_XVFB_PID" 2>/dev/null || true
    fi
}
