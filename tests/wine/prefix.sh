# Sourced by the Wine tests: a private Wine prefix whose only serial ports are the
# ones the tests make.
#
#   wine_prefix_start DIR COMDIR   makes (or reuses) the prefix DIR, keeps its wineserver
#                                  running, removes the host's COMn links and maps COM3
#                                  and COM4 to COMDIR/COM3 and COMDIR/COM4 (the links a
#                                  simulator started with --link makes), listed in
#                                  HARDWARE\DEVICEMAP\SERIALCOMM as Windows lists them
#   wine_prefix_stop               ends the prefix's processes
#
# Wine maps the host's /dev/ttyS* as COM1... whenever its wineserver starts and keeps
# HARDWARE\DEVICEMAP volatile, so the ports are set after the start and the wineserver
# is kept alive (-p) for as long as the tests run.

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d}

wine_prefix_start() {
    mkdir -p "$1"
    export WINEPREFIX
    WINEPREFIX=$(cd "$1" && pwd) # Wine takes only an absolute path
    local comdir=$2 key='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' n
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1
    fi
    wineserver -p 2>/dev/null || true # already running after wineboot: fine
    wine reg query "$key" >/dev/null 2>&1 || true # lets the device manager map the host's ports
    rm -f "$WINEPREFIX"/dosdevices/com*
    wine reg delete "$key" /va /f >/dev/null 2>&1 || true
    for n in 3 4; do
        ln -s "$comdir/COM$n" "$WINEPREFIX/dosdevices/com$n"
        wine reg add "$key" /v "\\Device\\Serial$((n - 1))" /d "COM$n" /f >/dev/null
    done
}

wine_prefix_stop() {
    wineserver -k 2>/dev/null || true
}

# The folders Windows programs of the build find their DLLs in, as WINEPATH.
wine_dll_path() { # Qt prefix
    local dirs=("$1/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib) d out=
    for d in "${dirs[@]}"; do
        out+="${out:+;}$(winepath -w "$d" 2>/dev/null)"
    done
    printf '%s\n' "$out"
}
