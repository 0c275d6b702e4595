# shellcheck shell=bash
# Shared Wine helpers for scripts/test and scripts/run (sourced, not run).
#
# Every Wine run uses its own prefix inside build/, never ~/.wine, and is set
# up so that Wine never waits for a dialog: no Mono/Gecko installer prompts
# (WINEDLLOVERRIDES), no crash dialog (WineDbg\ShowCrashDialog = 0; a crash
# prints a backtrace and the program exits instead).

# veltrano_wine_env PREFIX_DIR
veltrano_wine_env() {
    export WINEPREFIX=$1
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

# veltrano_wine_headless: Wine draws the windows itself instead of leaving
# them to a window manager. Under a bare X server there is none, and Wine
# would wait two seconds for it each time a window is hidden.
veltrano_wine_headless() {
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null || return 1
    wineserver -w || true
}

# veltrano_wine_init: creates $WINEPREFIX if it is missing or was left half
# made by an interrupted run.  Call it with DISPLAY set (inside xvfb-run for
# headless use).
veltrano_wine_init() {
    local stamp=$WINEPREFIX/.veltrano-prefix-ready
    [[ -f "$stamp" ]] && return 0
    rm -rf -- "$WINEPREFIX"
    mkdir -p -- "$(dirname -- "$WINEPREFIX")"
    echo "wine: creating prefix $WINEPREFIX"
    wine wineboot --init || return 1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null || return 1
    wineserver -w || true
    touch -- "$stamp"
}
