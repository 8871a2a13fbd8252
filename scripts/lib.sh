# shellcheck shell=bash
# Shared helpers for the build, test and demo scripts. Source it; do not run it.
#
#   sv_start_xvfb              starts Xvfb on a free display and exports DISPLAY
#   sv_ensure_display          the same, unless DISPLAY already names a display
#   sv_new_prefix DIR          a fresh private 64-bit Wine prefix in DIR, with a
#                              persistent wineserver; exports WINEPREFIX
#   sv_stop_prefix [DIR]       ends the wineserver of DIR (default: $WINEPREFIX)
#   sv_cleanup                 ends every wineserver and Xvfb started here; the
#                              scripts install it with `trap sv_cleanup EXIT`
#   sv_screenshot FILE.png     saves the whole screen of DISPLAY
#   sv_click_tab UI CAPTION WINDOW...
#                              clicks a tab of a window's tab control with xdotool
#   sv_run_logged LOG cmd...   runs a step into LOG; shows the end of LOG on failure
#   sv_configure_and_build P   cmake configure and build of preset P, logged
#
# Wine notes: every Wine start costs seconds, so one wineserver stays up for the whole
# use of a prefix. The first start in a fresh prefix launches services that outlive it
# and inherit its stdout, so that call never gets a pipe anyone waits on.

if [[ -n "${SV_LIB_LOADED:-}" ]]; then
    return 0
fi
SV_LIB_LOADED=1

SV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export SV_ROOT

# Wine without its debug chatter and without the Mono/Gecko download dialogs.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

SV_XVFB_PID=""
SV_XVFB_DISPLAY=""
SV_PREFIXES=()

sv_log() {
    printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*"
}

sv_die() {
    printf 'error: %s\n' "$*" >&2
    exit 1
}

# Seconds since the epoch, for timing the steps.
sv_now() {
    date +%s
}

# Starts Xvfb (1280x1024, 24 bits) on the first free display from :90 on and exports
# DISPLAY. A display is free when neither its lock file nor its socket exists; losing a
# race for one just moves on to the next.
sv_start_xvfb() {
    if ! command -v Xvfb >/dev/null; then
        echo "error: Xvfb is not installed (run scripts/setup.sh)" >&2
        return 1
    fi
    local n waited
    for ((n = 90; n < 190; n++)); do
        if [[ -e "/tmp/.X${n}-lock" || -e "/tmp/.X11-unix/X${n}" ]]; then
            continue
        fi
        Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        SV_XVFB_PID=$!
        for ((waited = 0; waited < 100; waited++)); do
            if [[ -S "/tmp/.X11-unix/X${n}" ]]; then
                SV_XVFB_DISPLAY=":${n}"
                export DISPLAY="${SV_XVFB_DISPLAY}"
                return 0
            fi
            if ! kill -0 "${SV_XVFB_PID}" 2>/dev/null; then
                break
            fi
            sleep 0.1
        done
        kill "${SV_XVFB_PID}" 2>/dev/null || true
        wait "${SV_XVFB_PID}" 2>/dev/null || true
        SV_XVFB_PID=""
    done
    echo "error: could not start Xvfb on any display from :90 to :189" >&2
    return 1
}

sv_stop_xvfb() {
    if [[ -n "${SV_XVFB_PID}" ]]; then
        kill "${SV_XVFB_PID}" 2>/dev/null || true
        wait "${SV_XVFB_PID}" 2>/dev/null || true
        SV_XVFB_PID=""
    fi
}

# Keeps the caller's display when there is one; starts Xvfb otherwise.
sv_ensure_display() {
    if [[ -z "${DISPLAY:-}" ]]; then
        sv_start_xvfb
    fi
}

# sv_new_prefix DIR: removes DIR, creates a fresh Wine prefix there and keeps its
# wineserver running until sv_stop_prefix or sv_cleanup. Needs a display
# (sv_ensure_display) for the programs run in it later. Exports WINEPREFIX. Returns
# false (with a message) when Wine cannot set the prefix up.
sv_new_prefix() {
    local dir="$1"
    if ! command -v wine >/dev/null; then
        echo "error: Wine is not installed (run scripts/setup.sh)" >&2
        return 1
    fi
    if [[ -z "${dir}" ]]; then
        echo "error: sv_new_prefix: no folder given" >&2
        return 1
    fi
    mkdir -p "$(dirname "${dir}")"
    dir="$(cd "$(dirname "${dir}")" && pwd)/$(basename "${dir}")"
    # A wineserver left over from an earlier run in the same folder goes first.
    if [[ -d "${dir}" ]]; then
        WINEPREFIX="${dir}" wineserver -k </dev/null >/dev/null 2>&1 || true
        rm -rf "${dir}"
    fi
    mkdir -p "${dir}"
    export WINEPREFIX="${dir}"
    SV_PREFIXES+=("${dir}")
    # The server first, so that wineboot and every later program share it; both get
    # /dev/null because the services they start outlive them.
    wineserver -p </dev/null >/dev/null 2>&1
    if ! wineboot -i </dev/null >/dev/null 2>&1; then
        echo "error: wineboot failed in ${dir}" >&2
        return 1
    fi
    if [[ ! -d "${dir}/drive_c/windows/system32" ]]; then
        echo "error: no Wine prefix was created in ${dir}" >&2
        return 1
    fi
    # Xvfb has no window manager: unmanaged windows are hidden at once instead of after
    # Wine's two-second wait for one, and they get Wine's own title bars.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        </dev/null >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
        </dev/null >/dev/null 2>&1 || true
}

# sv_stop_prefix [DIR]: ends the wineserver (and with it every program) of a prefix.
sv_stop_prefix() {
    local dir="${1:-${WINEPREFIX:-}}"
    [[ -n "${dir}" ]] || return 0
    WINEPREFIX="${dir}" wineserver -k </dev/null >/dev/null 2>&1 || true
    local kept=() p
    for p in "${SV_PREFIXES[@]}"; do
        [[ "${p}" == "${dir}" ]] || kept+=("${p}")
    done
    SV_PREFIXES=("${kept[@]}")
}

# Ends every wineserver started through sv_new_prefix and the Xvfb of sv_start_xvfb.
# Safe to call more than once.
sv_cleanup() {
    local p
    for p in "${SV_PREFIXES[@]}"; do
        WINEPREFIX="${p}" wineserver -k </dev/null >/dev/null 2>&1 || true
    done
    SV_PREFIXES=()
    sv_stop_xvfb
}

# sv_screenshot FILE.png: the whole screen of DISPLAY as PNG (ImageMagick).
sv_screenshot() {
    local file="$1"
    mkdir -p "$(dirname "${file}")"
    import -display "${DISPLAY}" -window root "${file}" </dev/null >/dev/null 2>&1
}

# sv_click_tab UIDRIVER CAPTION WINDOW...: clicks the middle of the tab CAPTION, where
# the tab control itself says the item is (UiDriver.exe tabs; WINDOW as for the driver,
# e.g. --title T). Tabs are as wide as their captions in the font Wine picks, so no
# place is assumed. False when the window, its tab control or the tab is not there.
sv_click_tab() {
    local driver="$1" caption="$2" out line l t r b v
    shift 2
    out="$(mktemp /tmp/somnivex-tabs.XXXXXX)"
    if ! wine "${driver}" tabs "$@" --text "${caption}" </dev/null >"${out}" 2>/dev/null; then
        rm -f "${out}"
        return 1
    fi
    line=$(tr -d '\r' <"${out}" | head -n 1)
    rm -f "${out}"
    IFS=, read -r l t r b <<<"$(cut -d'|' -f3 <<<"${line}")"
    for v in "${l}" "${t}" "${r}" "${b}"; do
        [[ "${v}" =~ ^-?[0-9]+$ ]] || return 1
    done
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1 >/dev/null
}

# sv_run_logged LOG command...: runs a step with its output in LOG; on failure shows the
# end of LOG and returns false.
sv_run_logged() {
    local log="$1"
    shift
    mkdir -p "$(dirname "${log}")"
    if "$@" </dev/null >"${log}" 2>&1; then
        return 0
    fi
    echo "---- failed: $* (log ${log#"${SV_ROOT}"/}) ----"
    if grep -qE '(error|Error)[: ]' "${log}"; then
        grep -E '(error|Error)[: ]' "${log}" | head -n 30
        echo "---- last lines ----"
        tail -n 15 "${log}"
    else
        tail -n 60 "${log}"
    fi
    echo "----"
    return 1
}

# sv_configure_and_build PRESET: configures and builds a CMake preset (binary folder
# build/PRESET) with SV_JOBS parallel jobs (default 2), logs in build/logs.
sv_configure_and_build() {
    local preset="$1" logs="${SV_ROOT}/build/logs"
    sv_log "configure ${preset}"
    sv_run_logged "${logs}/${preset}-configure.log" \
        cmake -S "${SV_ROOT}" --preset "${preset}" || return 1
    sv_log "build ${preset} (-j${SV_JOBS:-2})"
    sv_run_logged "${logs}/${preset}-build.log" \
        cmake --build --preset "${preset}" -j "${SV_JOBS:-2}" || return 1
}
