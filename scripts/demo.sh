#!/usr/bin/env bash
# The demo: builds the 64-bit Windows programs, installs them into a fresh private Wine
# prefix (build/wine/demo) under C:\Program Files\Somnivex and runs them there.
#
#   bash scripts/demo.sh [--xvfb] [--manager]
#
# With a display (DISPLAY set) the windows appear on it; without one, or with --xvfb,
# they run on a virtual display for SOMNIVEX_DEMO_SECONDS (150) at most and screenshots
# are saved in build/shots.
#
# Steps: load the settings through the options probe in the fresh prefix (which stores
# the defaults, as the first start of either program does), save the demo configuration
# (one minute, a demo screen saver that keeps running), run Somnivex.scr /s through its
# splash, the wait and the 60-second countdown to the end of the Wine session, print the
# timeline, and show what landed in the registry. With --manager the settings manager
# opens first (on a virtual display: a screenshot of each page, then it is closed).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "${ROOT}"
# shellcheck source=scripts/lib.sh
source "${ROOT}/scripts/lib.sh"
trap sv_cleanup EXIT
trap 'exit 130' INT TERM

BIN="${ROOT}/build/windows-x64"
PROGRAMS="${BIN}/bin"
PREFIX="${ROOT}/build/wine/demo"
SHOTS="${ROOT}/build/shots"
OUT="${ROOT}/build/demo"
INSTALL_WIN='C:\Program Files\Somnivex'
INSTALL_DIR="${PREFIX}/drive_c/Program Files/Somnivex"
# A demo screen saver built with the fixtures, chosen when present.
DEMO_SAVER="DemoSaver.scr"
# On a virtual display: how long the screen saver may run, and the screenshot interval.
DEMO_SECONDS="${SOMNIVEX_DEMO_SECONDS:-150}"
SHOT_EVERY=5
USE_XVFB=0
CAPTURE=0
OPEN_MANAGER=0

usage() {
    sed -n '2,15s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
}

parse_args() {
    while (($# > 0)); do
        case "$1" in
        --xvfb) USE_XVFB=1 ;;
        --manager) OPEN_MANAGER=1 ;;
        -h | --help)
            usage
            exit 0
            ;;
        *)
            usage >&2
            exit 2
            ;;
        esac
        shift
    done
}

step_setup() {
    bash "${ROOT}/scripts/setup.sh"
}

step_build() {
    sv_configure_and_build windows-x64 || sv_die "the windows-x64 build failed"
}

# A virtual display when asked for or when there is no display; then windows are
# captured as screenshots instead of shown.
step_display() {
    if ((USE_XVFB == 1)) || [[ -z "${DISPLAY:-}" ]]; then
        sv_start_xvfb || sv_die "no virtual display"
        CAPTURE=1
        sv_log "virtual display ${DISPLAY}; screenshots go to ${SHOTS#"${ROOT}"/}"
    else
        sv_log "showing the windows on display ${DISPLAY}"
    fi
}

step_prefix() {
    sv_log "fresh Wine prefix ${PREFIX#"${ROOT}"/}"
    sv_new_prefix "${PREFIX}" || sv_die "could not create the Wine prefix"
    mkdir -p "${OUT}"
}

# Copies the programs built so far, and their pictures, into C:\Program Files\Somnivex.
step_install() {
    mkdir -p "${INSTALL_DIR}"
    local name
    for name in Somnivex.scr Somniconf.exe; do
        if [[ -f "${PROGRAMS}/${name}" ]]; then
            cp "${PROGRAMS}/${name}" "${INSTALL_DIR}/"
            sv_log "installed ${name} in ${INSTALL_WIN}"
        else
            sv_log "${name} is not built yet"
        fi
    done
    if [[ -d "${PROGRAMS}/graphics" ]]; then
        cp -r "${PROGRAMS}/graphics" "${INSTALL_DIR}/"
    fi
}

# run_wine LOG program args...: runs a Windows program with its output in LOG (a file,
# never a pipe: programs Wine starts on the side may inherit it).
run_wine() {
    local log="$1"
    shift
    wine "$@" </dev/null >"${log}" 2>&1
}

# Loads the ten settings through the library, as either program does at start-up.
step_probe() {
    local probe="${BIN}/fixtures/options_probe.exe" log="${OUT}/probe.txt"
    [[ -f "${probe}" ]] || sv_die "options_probe.exe is missing from ${BIN#"${ROOT}"/}/fixtures"
    sv_log "options loaded by the library in the fresh prefix:"
    if ! run_wine "${log}" "${probe}"; then
        tr -d '\r' <"${log}"
        sv_die "options_probe failed"
    fi
    tr -d '\r' <"${log}" | sed 's/^/    /'
}

# The demo configuration, saved through the library as the manager saves it: the
# programs' folder, one minute to wait and the demo screen saver, so the run goes through
# the splash, the wait and the 60-second countdown in about two minutes.
step_configure() {
    local probe="${BIN}/fixtures/options_probe.exe" log="${OUT}/configure.txt"
    local settings=("AppPath=${INSTALL_WIN}" "WaitMinutes=1")
    if [[ -f "${BIN}/fixtures/${DEMO_SAVER}" ]]; then
        cp "${BIN}/fixtures/${DEMO_SAVER}" "${INSTALL_DIR}/"
        # Runs until the countdown is over; the pointer of a real display must not end it.
        printf 'ignore_input=1\r\nlog=%s\r\n' "$(winepath -w "${OUT}/saver.log")" \
            >"${INSTALL_DIR}/${DEMO_SAVER}.ini"
        settings+=("SelectedScreenSaver=${INSTALL_WIN}\\${DEMO_SAVER}")
    else
        sv_log "the demo screen saver ${DEMO_SAVER} is not built yet: none chosen"
    fi
    sv_log "demo configuration: ${settings[*]}"
    if ! run_wine "${log}" "${probe}" --save "${settings[@]}"; then
        tr -d '\r' <"${log}"
        sv_die "saving the demo configuration failed"
    fi
}

now_ms() { date +%s%3N; }

# seconds_since START_MS [AT_MS]: "12.3" seconds from START_MS to AT_MS (or now).
seconds_since() {
    local at="${2:-$(now_ms)}"
    printf '%d.%d' $(((at - $1) / 1000)) $((((at - $1) % 1000) / 100))
}

# Opens the settings manager. On a virtual display each page is captured and the window
# closed again; on a real display the demo goes on when the user closes it.
step_manager() {
    ((OPEN_MANAGER == 1)) || return 0
    local ui="${BIN}/fixtures/UiDriver.exe" title="Somnivex - Settings" page
    sv_log "opening the settings manager"
    run_wine "${OUT}/manager.log" "${INSTALL_WIN}\\Somniconf.exe" &
    local pid=$!
    if ((CAPTURE == 0)); then
        wait "${pid}" || true
        return 0
    fi
    run_wine "${OUT}/manager-window.txt" "${ui}" wait-window --title "${title}" --timeout 20000 ||
        sv_die "the settings window did not open"
    # A click on each tab, where the tab control draws it, shows its page.
    for page in main:"Main Settings" confirmation:"Confirmation Message" about:About; do
        sv_click_tab "${ui}" "${page#*:}" --title "${title}" ||
            sv_log "the tab '${page#*:}' was not found"
        sleep 1
        sv_screenshot "${SHOTS}/manager-${page%%:*}.png" &&
            sv_log "screenshot ${SHOTS#"${ROOT}"/}/manager-${page%%:*}.png"
    done
    run_wine /dev/null "${ui}" close --title "${title}" || true
    wait "${pid}" 2>/dev/null || true
}

# Runs Somnivex.scr /s. On a virtual display it runs for DEMO_SECONDS at most, with a
# screenshot every few seconds; on a real display it runs until it ends by itself. A
# witness window records Windows' end-of-session query; the timeline is printed after.
step_run_screensaver() {
    if [[ ! -f "${INSTALL_DIR}/Somnivex.scr" ]]; then
        sv_log "screen saver run: Somnivex.scr is not built yet, skipped"
        return 0
    fi
    local witness_log="${OUT}/witness.log" countdown_file="${OUT}/countdown.txt"
    rm -f "${witness_log}" "${witness_log}.at" "${countdown_file}" "${OUT}/saver.log"
    cp "${BIN}/fixtures/Witness.exe" "${INSTALL_DIR}/"
    run_wine /dev/null "${INSTALL_WIN}\\Witness.exe" "$(winepath -w "${witness_log}")" &
    sleep 2
    START_MS=$(now_ms)
    sv_log "running ${INSTALL_WIN}\\Somnivex.scr /s"
    run_wine "${OUT}/screensaver.log" "${INSTALL_WIN}\\Somnivex.scr" /s &
    local pid=$! elapsed=0 shot=0 name
    # The countdown's title is the program's name.
    (
        if run_wine /dev/null "${BIN}/fixtures/UiDriver.exe" wait-window --title Somnivex \
            --timeout $(((DEMO_SECONDS + 10) * 1000)); then
            now_ms >"${countdown_file}"
        fi
    ) &
    # And when the witness hears of the end of the session.
    (
        local waited=0
        while ((waited < (DEMO_SECONDS + 10) * 5)); do
            if grep -q '^queryendsession' "${witness_log}" 2>/dev/null; then
                now_ms >"${witness_log}.at"
                break
            fi
            sleep 0.2
            waited=$((waited + 1))
        done
    ) &
    local watcher=$!
    if ((CAPTURE == 0)); then
        wait "${pid}" || true
        sv_log "Somnivex.scr ended"
        return 0
    fi
    rm -f "${SHOTS}"/demo-*.png
    while kill -0 "${pid}" 2>/dev/null && ((elapsed < DEMO_SECONDS)); do
        sleep "${SHOT_EVERY}"
        elapsed=$((elapsed + SHOT_EVERY))
        shot=$((shot + 1))
        printf -v name 'demo-%02d.png' "${shot}"
        if sv_screenshot "${SHOTS}/${name}"; then
            sv_log "screenshot ${SHOTS#"${ROOT}"/}/${name} (${elapsed} s)"
        fi
    done
    if kill -0 "${pid}" 2>/dev/null; then
        sv_log "Somnivex.scr still running after ${DEMO_SECONDS} s: ended"
        kill "${pid}" 2>/dev/null || true
    fi
    wait "${pid}" 2>/dev/null || true
    END_MS=$(now_ms)
    sleep 0.5
    kill "${watcher}" 2>/dev/null || true
    print_timeline "${witness_log}" "${countdown_file}"
}

# The run as it happened, in seconds from the start of Somnivex.scr.
print_timeline() {
    local witness_log="$1" countdown_file="$2" line at
    sv_log "timeline:"
    printf '    %6s s  Somnivex.scr /s started\n' 0.0
    at=$(tr -d '\r' <"${OUT}/saver.log" 2>/dev/null | awk '$1 == "start" {print $3; exit}')
    [[ -n "${at}" ]] && printf '    %6s s  the demo screen saver started\n' "$(seconds_since "${START_MS}" "${at}")"
    if [[ -s "${countdown_file}" ]]; then
        printf '    %6s s  the countdown "Somnivex" appeared\n' \
            "$(seconds_since "${START_MS}" "$(cat "${countdown_file}")")"
    fi
    line=$(tr -d '\r' <"${witness_log}" 2>/dev/null | grep -m1 '^queryendsession' || true)
    if [[ -n "${line}" ]]; then
        at=$(cat "${witness_log}.at" 2>/dev/null || echo "${END_MS}")
        printf '    %6s s  Windows asked the programs to end the session (%s)\n' \
            "$(seconds_since "${START_MS}" "${at}")" "${line}"
    fi
    printf '    %6s s  Somnivex.scr ended\n' "$(seconds_since "${START_MS}" "${END_MS}")"
}

step_registry() {
    local log="${OUT}/registry.txt"
    sv_log 'what the library wrote (HKLM\Software\Brellcor, 32-bit view):'
    if run_wine "${log}" reg query 'HKLM\Software\Brellcor' /s /reg:32; then
        tr -d '\r' <"${log}" | sed 's/^/    /'
    else
        tr -d '\r' <"${log}" | sed 's/^/    /'
        sv_die "reg query failed"
    fi
}

main() {
    parse_args "$@"
    step_setup
    step_build
    step_display
    step_prefix
    step_install
    step_probe
    step_configure
    step_manager
    step_run_screensaver
    step_registry
    sv_log "done; the prefix stays in ${PREFIX#"${ROOT}"/} (WINEPREFIX=${PREFIX})"
}

main "$@"
