#!/usr/bin/env bash
# Screenshots of every window of Somnivex.scr and Somniconf.exe at 100 %, 125 %, 150 %,
# 175 % and 200 % (96, 120, 144, 168 and 192 DPI), each cropped to its window, as
# docs/screenshots/<window>-<dpi>.png:
#
#   splash                  the start-up display
#   confirmation            the timed "Shutdown Windows after 1 minute(s)?" question
#   countdown               the 60-second countdown (WaitMinutes 1, a screen saver that
#                           does not end: about a minute per size)
#   run-manager-first       the message of a run with nothing chosen yet
#   settings-main           the settings window, Main Settings page
#   settings-confirmation   ... Confirmation Message page
#   settings-about          ... About page
#
# Runs the x64 build (build/windows-x64, or SOMNIVEX_BIN) in a private Wine prefix on a
# 2560x1600 Xvfb of its own. Takes about ten minutes (the countdown needs a minute per
# scale). At the end it prints the sizes as the rows of the table in README.md. Ends
# non-zero when a window was not caught; the pictures taken are kept either way.
#
#   bash docs/screenshots/capture.sh [OUTPUT_FOLDER] [DPI...]
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "${HERE}/../.." && pwd)"
OUT="${1:-${HERE}}"
DPIS=(96 120 144 168 192)
if (($# > 1)); then
    DPIS=("${@:2}")
fi
SCREEN=2560x1600x24

# shellcheck source=tests/e2e/common.sh
source "${ROOT}/tests/e2e/common.sh"

# A large screen of our own: the 200 % windows and the full-screen demo saver need room,
# and nothing else may draw on it.
start_large_display() {
    e2e_private_display "${SCREEN}" 81 || return 1
    export DISPLAY="${E2E_NEW_DISPLAY}"
}

# set_dpi DPI: the prefix's display scale; every program (and Wine's desktop) starts
# again to see it.
set_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        </dev/null >"${E2E_WORK}/reg.out" 2>&1
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1
    e2e_ui list >/dev/null || true
}

# rect_of FOUND: "l t r b" from the UI driver's "rect=l,t,r,b".
rect_of() {
    sed -n 's/.*rect=\([-0-9]*\),\([-0-9]*\),\([-0-9]*\),\([-0-9]*\).*/\1 \2 \3 \4/p' <<<"$1"
}

# shot NAME DPI FOUND: the screen cropped to the window the UI driver found, once the
# window has painted (its area not of one colour), tried a few times. Cropped as it is
# read, so that a window shown for a few seconds is caught in time.
shot() {
    local name="$1" dpi="$2" l t r b file="${OUT}/$1-$2.png" sd=0
    read -r l t r b < <(rect_of "$3")
    if [[ -z "${b}" ]] || ((r <= l || b <= t)); then
        e2e_fail "${name} at ${dpi} DPI: no window rectangle in '$3'"
        return 1
    fi
    for _ in 1 2 3 4 5; do
        # Let the window finish painting.
        sleep 0.3
        xwd -root -silent -display "${DISPLAY}" 2>/dev/null |
            convert xwd:- -crop "$((r - l))x$((b - t))+${l}+${t}" +repage -strip "${file}" \
                2>/dev/null || continue
        sd=$(convert "${file}" -format '%[fx:standard_deviation]' info: 2>/dev/null || echo 0)
        [[ "${sd}" != "0" ]] && break
    done
    if [[ "${sd}" == "0" ]]; then
        e2e_fail "${name} at ${dpi} DPI: the window's area came out blank"
        return 1
    fi
    e2e_ok "${file#"${ROOT}"/} ($((r - l))x$((b - t)))"
    SIZES+=("${name}-${dpi} $((r - l)) $((b - t))")
}

# settings_page_shown PATTERN: true when a visible control's line matches.
settings_page_shown() {
    e2e_ui texts --title "Somnivex - Settings" | grep -qE "$1"
}

# show_settings_page CAPTION PATTERN: clicks the tab CAPTION where the tab control draws
# it and waits until the page whose control matches PATTERN shows.
show_settings_page() {
    local i
    sv_click_tab "${E2E_UI}" "$1" --title "Somnivex - Settings" || return 1
    for ((i = 0; i < 25; i++)); do
        settings_page_shown "$2" && return 0
        sleep 0.2
    done
    return 1
}

capture_dpi() {
    local dpi="$1" found
    e2e_log "---- ${dpi} DPI ($((dpi * 100 / 96)) %)"
    set_dpi "${dpi}"

    # The splash, on a run of its own (no question), ended by closing the screen saver.
    e2e_reg_set AppPath REG_SZ "${E2E_SCR_DIR}"
    e2e_reg_set SelectedScreenSaver REG_SZ "${SAVER}"
    e2e_reg_set WaitMinutes REG_DWORD 1
    e2e_reg_set ConfirmShutdown REG_DWORD 0
    e2e_start_run splashrun
    if found=$(e2e_watch_seen "${SPLASH_WATCH}" 1); then
        shot splash "${dpi}" "${found}"
    else
        e2e_fail "${dpi} DPI: no splash"
    fi
    e2e_ui wait-window --title "Somnivex Demo Saver" --timeout 20000 >/dev/null || true
    e2e_ui close --title "Somnivex Demo Saver" >/dev/null || true
    e2e_wait_end splashrun 20 || e2e_fail "${dpi} DPI: the splash run did not end"

    # A run with the question and a screen saver that keeps running: the question
    # (answered Yes by itself after 5 s), then the countdown. The question shows for 5
    # seconds only: a watcher started before the run sees it the moment it appears (the
    # countdown, later, has the same class and title).
    e2e_reg_set ConfirmShutdown REG_DWORD 1
    e2e_reg_set DefaultConfirmYes REG_DWORD 0xffffffff
    e2e_watch "question${dpi}" --class SomnivexForm --title Somnivex --timeout 40000 ||
        e2e_fail "${dpi} DPI: the window watcher did not start"
    e2e_start_run
    if found=$(e2e_watch_seen "question${dpi}" 30); then
        shot confirmation "${dpi}" "${found}"
        e2e_watch_shown "question${dpi}" 15 >/dev/null ||
            e2e_fail "${dpi} DPI: the question did not close by itself"
    else
        e2e_fail "${dpi} DPI: no confirmation question"
    fi
    e2e_log "waiting about a minute for the countdown"
    if found=$(e2e_ui wait-window --class SomnivexForm --title Somnivex --timeout 90000); then
        # A few seconds in, so the count has moved.
        sleep 2
        shot countdown "${dpi}" "${found}"
        e2e_ui click --class SomnivexForm --title Somnivex --text "Cancel Shut Down" >/dev/null ||
            e2e_fail "${dpi} DPI: could not cancel the countdown"
    else
        e2e_fail "${dpi} DPI: no countdown within 90 s"
        e2e_ui list || true
    fi
    e2e_wait_end run 20 || e2e_fail "${dpi} DPI: Somnivex.scr still runs after the countdown"
    e2e_ui close --title "Somnivex Demo Saver" >/dev/null || true
    e2e_ui gone --title "Somnivex Demo Saver" --timeout 10000 >/dev/null || true

    # Nothing chosen and no manager recorded: the message asking to run the manager.
    e2e_reg_set AppPath REG_SZ ""
    e2e_reg_set SelectedScreenSaver REG_SZ ""
    e2e_reg_set ConfirmShutdown REG_DWORD 0
    e2e_start first "${E2E_SCR}" /s
    if found=$(e2e_ui wait-window --title "SCRNSAVE:Somnivex" --timeout 30000); then
        shot run-manager-first "${dpi}" "${found}"
        e2e_ui click --title "SCRNSAVE:Somnivex" --text OK >/dev/null || true
    else
        e2e_fail "${dpi} DPI: no 'run the manager first' message"
    fi
    e2e_wait_end first 20 || e2e_fail "${dpi} DPI: Somnivex.scr /s did not end after the message"

    # The settings window and its three pages.
    e2e_start manager "${E2E_SCR_DIR}"'\Somniconf.exe'
    if found=$(e2e_ui wait-window --title "Somnivex - Settings" --timeout 20000); then
        shot settings-main "${dpi}" "${found}"
        if show_settings_page "Confirmation Message" '^Button\|[0-9]+\|1\|&?Test Confirmation Message$'; then
            shot settings-confirmation "${dpi}" "${found}"
        else
            e2e_fail "${dpi} DPI: the Confirmation Message tab was not found"
        fi
        if show_settings_page About '^Static\|[0-9]+\|1\|Version '; then
            shot settings-about "${dpi}" "${found}"
        else
            e2e_fail "${dpi} DPI: the About tab was not found"
        fi
        e2e_ui close --title "Somnivex - Settings" >/dev/null || true
    else
        e2e_fail "${dpi} DPI: no settings window"
    fi
    e2e_wait_end manager 20 || e2e_fail "${dpi} DPI: the manager did not end"
}

main() {
    command -v xdotool >/dev/null || sv_die "xdotool is not installed (run scripts/setup.sh)"
    start_large_display
    # The whole screens go to a scratch folder; only the crops are kept.
    local screens
    screens="$(mktemp -d /tmp/somnivex-screens.XXXXXX)"
    export SOMNIVEX_SHOTS="${screens}"
    e2e_setup screenshots
    mkdir -p "${OUT}"
    SIZES=()
    SAVER='C:\windows\DemoSaver.scr'

    e2e_prefix shots
    # Wine draws the title bars itself, so the pictures show them.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
        </dev/null >"${E2E_WORK}/reg.out" 2>&1
    e2e_install_somnivex
    # Wine has no power plan: a sleep timeout set by policy, as Group Policy stores it, so
    # that the Main Settings page shows Windows' timers with its warning.
    wine reg add 'HKLM\Software\Policies\Microsoft\Power\PowerSettings\29F6C1DB-86DA-48C5-9FDB-F2B67B1F44DA' \
        /v ACSettingIndex /t REG_DWORD /d 360 /f </dev/null >"${E2E_WORK}/reg.out" 2>&1
    # Where Setup puts it too, so that the user can make it their screen saver.
    cp "${SOMNIVEX_PROGRAMS}/Somnivex.scr" "$(e2e_unix_path 'C:\windows\system32')/"
    cp "${SOMNIVEX_PROGRAMS}/Somniconf.exe" "${SOMNIVEX_PROGRAMS}/Somnivex.html" \
        "$(e2e_unix_path "${E2E_SCR_DIR}")/"
    # In the Windows folder, so the manager lists it; it ignores input and runs until closed.
    e2e_demo_saver 'C:\windows' 'ignore_input=1'

    local dpi
    for dpi in "${DPIS[@]}"; do
        capture_dpi "${dpi}"
    done

    # Each window at a larger scale should be about that much larger than at 100 %.
    local line name w h base_w base_h other ow oh n2
    echo "sizes (window, 96 DPI size, ratio):"
    for line in "${SIZES[@]}"; do
        read -r name w h <<<"${line}"
        [[ "${name}" == *-96 ]] || continue
        base_w=${w} base_h=${h}
        for n2 in "${SIZES[@]}"; do
            read -r other ow oh <<<"${n2}"
            [[ "${other%-*}" == "${name%-*}" && "${other}" != "${name}" ]] || continue
            printf '  %-28s %4dx%-4d -> %4dx%-4d  %3d%% x %3d%%\n' "${other}" "${base_w}" \
                "${base_h}" "${ow}" "${oh}" $((ow * 100 / base_w)) $((oh * 100 / base_h))
        done
    done
    # The rows of the table in README.md: each window's link and size at every scale.
    echo "table rows:"
    local window row dpi size
    for window in splash confirmation countdown run-manager-first settings-main \
        settings-confirmation settings-about; do
        row="| ${window} |"
        for dpi in "${DPIS[@]}"; do
            size=""
            for line in "${SIZES[@]}"; do
                read -r name w h <<<"${line}"
                [[ "${name}" == "${window}-${dpi}" ]] && size="${w}x${h}"
            done
            row+=" [${window}-${dpi}](${window}-${dpi}.png) ${size:-missing} |"
        done
        echo "${row}"
    done
    rm -rf "${screens}"
    e2e_finish
}

main "$@"
