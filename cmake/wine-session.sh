#!/bin/sh
# start PREFIX: creates the private Wine prefix when missing and starts one persistent
# Wine session for all tests; stop PREFIX: ends it.
set -e
action=$1
export WINEPREFIX="$2"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
wine=/usr/lib/wine/wine64
case "$action" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        $wine wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
        # A virtual desktop: without a window manager, destroying a visible
        # window would otherwise wait two seconds.
        $wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
        $wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f </dev/null >/dev/null 2>&1
        wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    # Wine draws the title bar's buttons with its Marlett symbol font; Debian ships it
    # in fonts-wine outside the prefix, where this build of Wine does not look.
    fonts="$WINEPREFIX/drive_c/windows/Fonts"
    if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$fonts/marlett.ttf" ]; then
        mkdir -p "$fonts"
        cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    $wine wineboot </dev/null >/dev/null 2>&1 || true
    test -f "$WINEPREFIX/system.reg"
    echo "wine session ready in $WINEPREFIX"
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
esac
