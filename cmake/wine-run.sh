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

exec "$WINE" "$@"
