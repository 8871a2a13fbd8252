#!/usr/bin/env bash
# End-to-end check of the Win32 form host: runs the form gallery fixture under Wine and
# Xvfb, drives it from outside with xdotool (keys and clicks), and checks from its event
# log that the input reached the portable form: the sorted list holds its entries in
# Windows' order, Tab moves the focus in tab order (a link too, which Enter opens),
# Enter presses the default button, Alt+C and Escape press "&Cancel", a tab shows its
# page, a timer keeps to its schedule, and the close box asks the form, as Escape does on
# a form without a Cancel button.
# Saves a screenshot as form_gallery.png.
#
# Environment (from scripts/test.sh; defaults for a run by hand):
#   SOMNIVEX_BIN / SOMNIVEX_FIXTURES   the x64 build and its fixtures folder
#   SOMNIVEX_SHOTS                     where the screenshot goes
#   SOMNIVEX_WINE_BASE                 a scratch folder for the Wine prefix and the log
#   SOMNIVEX_LIB                       scripts/lib.sh
#   DISPLAY                            an X display (Xvfb is started when there is none)
set -euo pipefail

ROOT="${SOMNIVEX_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
LIB="${SOMNIVEX_LIB:-${ROOT}/scripts/lib.sh}"
BIN="${SOMNIVEX_BIN:-${ROOT}/build/windows-x64}"
FIXTURES="${SOMNIVEX_FIXTURES:-${BIN}/fixtures}"
SHOTS="${SOMNIVEX_SHOTS:-${ROOT}/build/shots}"
BASE="${SOMNIVEX_WINE_BASE:-${ROOT}/build/wine/e2e/form_gallery}"
GALLERY="${FIXTURES}/form_gallery.exe"
GIF="${ROOT}/resources/graphics/SomnivexLgeTxt.GIF"
LOG="${BASE}/gallery.log"
START=$(date +%s)
# The checks must stay well inside a minute; every wait below is bounded by this. It is
# set again once the prefix is made, which takes what a loaded machine gives it.
DEADLINE=$((START + 55))

# shellcheck source=scripts/lib.sh
source "${LIB}"
trap sv_cleanup EXIT

GALLERY_PID=""

fail() {
    echo "FAIL: $*" >&2
    if [[ -f "${LOG}" ]]; then
        echo "---- event log" >&2
        grep -v '^rect ' "${LOG}" >&2 || true
    fi
    if [[ -n "${DISPLAY:-}" ]]; then
        sv_screenshot "${SHOTS}/form_gallery-failed.png" || true
    fi
    [[ -n "${GALLERY_PID}" ]] && kill "${GALLERY_PID}" 2>/dev/null
    exit 1
}

# Seconds left before the deadline, at least 1.
left() {
    local n=$((DEADLINE - $(date +%s)))
    ((n > 0)) || fail "out of time"
    echo "${n}"
}

# wait_line TEXT [SECONDS]: waits until the log holds the exact line TEXT.
wait_line() {
    local text="$1" seconds="${2:-5}" i
    for ((i = 0; i < seconds * 10; i++)); do
        grep -qxF -- "${text}" "${LOG}" 2>/dev/null && return 0
        ((i % 10 == 0)) && left >/dev/null
        sleep 0.1
    done
    fail "no \"${text}\" in the event log after ${seconds} s"
}

# wait_count TEXT N: waits until the exact line TEXT appears N times.
wait_count() {
    local text="$1" count="$2" i n=0
    for ((i = 0; i < 50; i++)); do
        n=$(grep -cxF -- "${text}" "${LOG}" 2>/dev/null || true)
        ((n >= count)) && return 0
        sleep 0.1
    done
    fail "\"${text}\" came ${n} time(s), expected ${count}"
}

# The line after the last line that says TEXT: checks the order of events.
line_after() {
    awk -v t="$1" 'found { print; exit } $0 == t { found = 1 }' "${LOG}"
}

# center NAME: the middle of a control on the screen, from the gallery's "rect" lines.
center() {
    local xy
    xy=$(awk -v n="$1" '$1 == "rect" && $2 == n { printf "%d %d", $3 + $5 / 2, $4 + $6 / 2 }' "${LOG}")
    [[ -n "${xy}" ]] || fail "no position for $1"
    echo "${xy}"
}

click() {
    # shellcheck disable=SC2046
    xdotool mousemove $(center "$1") click 1
}

[[ -f "${GALLERY}" && -f "${FIXTURES}/UiDriver.exe" ]] ||
    fail "no ${GALLERY} or UiDriver.exe: build the windows-x64 preset first"
command -v xdotool >/dev/null || fail "xdotool is not installed"

sv_ensure_display
mkdir -p "${BASE}" "${SHOTS}"
sv_log "fresh Wine prefix"
sv_new_prefix "${BASE}/prefix"
# Wine draws the title bar itself when no window manager runs: the shot shows it.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
    </dev/null >/dev/null 2>&1 || true
DEADLINE=$(($(date +%s) + 55))

to_windows() { echo "Z:${1//\//\\}"; }

# ---- first run: the window, driven by keys and clicks
rm -f "${LOG}"
sv_log "gallery (modeless)"
timeout -k 5 "$(left)" wine "${GALLERY}" --log "$(to_windows "${LOG}")" \
    --gif "$(to_windows "${GIF}")" --close-after 40000 --tick-ms 200 --ticks 10 \
    </dev/null >"${BASE}/gallery.out" 2>&1 &
GALLERY_PID=$!
wait_line "ready" 25

# What the form built, and the first tab stop holding the focus when it opened.
wait_line "items cboSorted Alpha,beta,Gamma,zeta"
wait_line "picture imgGif ok"
wait_line "focus txtMinutes"

# Tab order: the minutes box, then the sorted list.
xdotool key Tab
wait_line "focus cboSorted"
[[ "$(line_after "lostfocus txtMinutes")" == "focus cboSorted" ]] ||
    fail "the minutes box did not lose the focus before the list got it"

# Typing picks entries by their first letter in the native list; the model's index of
# the entry logged must be the native one, so the two orders agree.
xdotool type g
wait_line "change cboSorted 2 Gamma"
xdotool type z
wait_line "change cboSorted 3 zeta"
xdotool type a
wait_line "change cboSorted 0 Alpha"

# Back into the text box: its got-focus handler selects the second character, so a
# typed 5 replaces the 0 of "30".
xdotool key shift+Tab
wait_count "focus txtMinutes" 2
xdotool type 5
wait_line "change txtMinutes 35"

# Enter in a text box presses the default button; Alt+C the "&Cancel" button.
xdotool key Return
wait_line "click cmdOk"
xdotool key alt+c
wait_line "click cmdCancel"
# Escape presses Cancel as well.
xdotool key Escape
wait_count "click cmdCancel" 2

# The link is a tab stop (the last one): Tab reaches it, and Enter opens it as a click does.
for ((i = 0; i < 12; i++)); do
    xdotool key Tab
    sleep 0.2
    wine "${FIXTURES}/UiDriver.exe" focus --title "Form Gallery" 2>/dev/null </dev/null |
        grep -q '^SysLink|' && break
done
((i < 12)) || fail "Tab never reached the link"
xdotool key Return
wait_line "click lblLink"

# Mouse: the check box (ticked at load), the link, the second tab.
click chkTicked
wait_line "click chkTicked 0"
click lblLink
wait_count "click lblLink" 2
sv_click_tab "${FIXTURES}/UiDriver.exe" Second --title "Form Gallery" ||
    fail "the tab control of the gallery has no tab 'Second'"
wait_line "tab 1"
sleep 0.5
sv_screenshot "${SHOTS}/form_gallery.png"

# The 200 ms timer: its 10th tick is due 2000 ms after it started, without drift.
for ((i = 0; i < 30; i++)); do
    grep -q '^tick 10 ' "${LOG}" && break
    sleep 0.1
done
tick=$(awk '$1 == "tick" && $2 == 10 { print $3 }' "${LOG}")
[[ -n "${tick}" ]] || fail "the 200 ms timer did not tick 10 times"
((tick >= 1990 && tick <= 2150)) || fail "the 10th tick of a 200 ms timer came at ${tick} ms"
grep -qx "tick 11 .*" "${LOG}" && fail "the timer ticked after it was stopped in its own tick"

# The close box asks the form, which unloads; the program then ends.
xdotool key alt+F4
wait_line "closebox"
wait_line "unload"
for ((i = 0; i < 100; i++)); do
    kill -0 "${GALLERY_PID}" 2>/dev/null || break
    sleep 0.1
done
kill -0 "${GALLERY_PID}" 2>/dev/null && fail "the gallery did not end after its form unloaded"
wait "${GALLERY_PID}" || fail "the gallery ended with status $?"
GALLERY_PID=""
grep -qx "timeout" "${LOG}" && fail "the window was closed by its timer, not by the close box"

# ---- second run: shown modally, closed by a form timer
rm -f "${LOG}"
sv_log "gallery (modal, closes itself)"
timeout -k 5 "$(left)" wine "${GALLERY}" --log "$(to_windows "${LOG}")" --modal \
    --close-after 1500 </dev/null >"${BASE}/gallery-modal.out" 2>&1 ||
    fail "the modal gallery did not end by itself (status $?)"
wait_line "timeout" 1
wait_line "unload" 1

# ---- third run: without a Cancel button, Escape does what the close box does
rm -f "${LOG}"
sv_log "gallery (no Cancel button, closed by Escape)"
timeout -k 5 "$(left)" wine "${GALLERY}" --log "$(to_windows "${LOG}")" --no-cancel-button \
    --close-after 20000 </dev/null >"${BASE}/gallery-escape.out" 2>&1 &
GALLERY_PID=$!
wait_line "ready" 15
wait_line "focus txtMinutes"
xdotool key Escape
wait_line "closebox"
wait_line "unload"
wait "${GALLERY_PID}" || fail "the gallery ended with status $?"
GALLERY_PID=""
grep -qx "timeout" "${LOG}" && fail "Escape did not close the window; its timer did"
grep -qx "click cmdCancel" "${LOG}" && fail "Escape pressed a button that is no Cancel button"

sv_log "form gallery passed in $(($(date +%s) - START)) s"
