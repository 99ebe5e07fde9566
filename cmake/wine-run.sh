#!/bin/bash
# Runs a Windows program under wine64 in a given Wine prefix:
#   wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# Creates the prefix on first use (takes several seconds), under a lock so
# tests started in parallel do not all try to create it. The program's exit
# status is passed through.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 WINEPREFIX PROGRAM [ARGS...]" >&2
    exit 2
fi

export WINEPREFIX="$1"
shift
# No debug channels, and no offer to download Mono or Gecko.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine takes the Windows locale, and with it the default ANSI code page (1252
# here), from the Unix locale; pin it so every machine decodes text alike.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
WINE=/usr/lib/wine/wine64

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            log="$WINEPREFIX.log"
            if ! "$WINE" wineboot --init >"$log" 2>&1 ||
               ! /usr/lib/wine/wineserver -w; then
                echo "wine-run.sh: could not create the Wine prefix $WINEPREFIX; see $log" >&2
                cat "$log" >&2
                exit 1
            fi
        fi
    ) 9>"$WINEPREFIX.lock"
fi

# ORVEL_WINE_MANAGED=N: windows are not handed to a window manager. The test
# displays (Xvfb) have none, and a managed window that is hidden or closed makes
# Wine wait 2 s for a manager that never answers; unmanaged, it goes at once.
# The value is written into the prefix's registry when it changes (a marker
# file beside the prefix remembers the last one); unset, the prefix is left as
# it is (Wine's default is managed windows).
managed="${ORVEL_WINE_MANAGED:-}"
if [ "$managed" = Y ] || [ "$managed" = N ]; then
    marker="$WINEPREFIX.managed"
    if [ "$(cat "$marker" 2>/dev/null)" != "$managed" ]; then
        (
            flock 9
            if [ "$(cat "$marker" 2>/dev/null)" != "$managed" ]; then
                "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "$managed" /f \
                    >/dev/null 2>&1 || true
                echo "$managed" >"$marker"
            fi
        ) 9>"$WINEPREFIX.lock"
    fi
fi

exec "$WINE" "$@"
