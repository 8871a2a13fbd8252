#!/usr/bin/env bash
# The settings manager Somniconf.exe under Wine, driven from outside, in one fresh prefix
# holding the programs in C:\Program Files\Somnivex, the demo screen saver as
# C:\windows\Aurora.scr and C:\windows\system32\DemoSaver.scr, a copy named SOMNIVEX.SCR
# in system32 and a folder named Folder.scr (neither may be listed), and a stand-in for
# the sibling launcher recorded under HKLM\Software\Brellcor\Pemrose\Kelvane:
#
#   1. The window "Somnivex - Settings" opens; the screen-saver list holds exactly
#      "Aurora  |  Somnivex Demo Saver" and "DemoSaver  |  Somnivex Demo Saver", in
#      that order; the fresh settings show (30 minutes, "Shut down"). Every control is
#      changed (the other screen saver, 7 minutes, "Restart", Run Kelvane, Install
#      pending updates unticked, the confirmation ticked, Yes-is-default unticked); the
#      tabs switch pages; the Tab key
#      walks the controls with the tab strip between OK and Help, and the About page's
#      links; the page shows Windows' screen-saver wait, "not known" for the sleep
#      timeout (Wine has no power plan), and "Use as my screen saver" makes Somnivex
#      (SOMNIVEX.SCR in system32) the user's screen saver. Screenshots
#      manager-main.png, manager-confirmation.png, manager-about.png.
#      OK closes the window and the key holds exactly the eleven expected values: the
#      manager's folder, its Error.log, the chosen file's full path, 7, 2, -1, the
#      launcher's path, -1, 0, updates 0, and LogDebug as it was.
#   2. A second start shows what was stored; everything changed and Cancel: the whole
#      HKLM\Software\Brellcor tree is unchanged.
#   3. "Somnivex.scr /c" opens the settings window; closing it ends everything.
#   4. Preview runs the chosen screen saver with " /s"; meanwhile the settings window
#      answers its messages and handles a click; a mouse movement ends the screen saver
#      and the window is still there.
#   5. Without Somnivex.html beside the programs, Help shows a message naming that file
#      and the window stays. With the user's numbers written as in Germany, the minutes
#      2,5 are stored as 2.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup manager
started=$(e2e_now_ms)
command -v xdotool >/dev/null || {
    e2e_fail "xdotool is not installed"
    e2e_finish
}

TITLE="Somnivex - Settings"
MANAGER="${E2E_SCR_DIR}"'\Somniconf.exe'
KELVANE='C:\Program Files\Brellcor Tools\Kelvane.exe'
KELVANE_KEY='HKLM\Software\Brellcor\Pemrose\Kelvane'
DEMO='C:\windows\system32\DemoSaver.scr'
AURORA_ENTRY="Aurora  |  Somnivex Demo Saver"
DEMO_ENTRY="DemoSaver  |  Somnivex Demo Saver"
declare -A TAB_CAPTION=([main]="Main Settings" [confirmation]="Confirmation Message" [about]="About")

e2e_prefix manager
e2e_install_somnivex
PROGRAM_DIR="$(e2e_unix_path "${E2E_SCR_DIR}")"
cp "${SOMNIVEX_PROGRAMS}/Somniconf.exe" "${SOMNIVEX_PROGRAMS}/Somnivex.html" "${PROGRAM_DIR}/"
e2e_install_fixture DemoSaver.scr 'C:\windows' Aurora.scr
e2e_install_fixture DemoSaver.scr 'C:\windows\system32' DemoSaver.scr
e2e_install_fixture DemoSaver.scr 'C:\windows\system32' SOMNIVEX.SCR
mkdir -p "$(e2e_unix_path 'C:\windows\Folder.scr')"
e2e_install_fixture Kelvane.exe 'C:\Program Files\Brellcor Tools'
e2e_reg_set AppPath REG_SZ "${KELVANE}" "${KELVANE_KEY}"
# A value the window never shows: OK must write it back as it was (true, not the default).
e2e_reg_set LogDebug REG_DWORD 0xffffffff
LOGS="$(e2e_unix_path "${E2E_TOOLS_DIR}")"

# ---------------------------------------------------------------------------- helpers

# texts: the window's controls, "class|id|visible|text" (empty when it is not there).
texts() {
    e2e_ui texts --title "${TITLE}" 2>/dev/null | tr -d '\r' || true
}

# control_id CLASS REGEX: the id of the first control of that class whose text matches.
control_id() {
    texts | awk -F'|' -v c="$1" -v re="$2" '
        { text = $0; sub(/^[^|]*[|][^|]*[|][^|]*[|]/, "", text) }
        $1 == c && text ~ re { print $2; exit }'
}

# control_text ID: the text of a control.
control_text() {
    texts | awk -F'|' -v id="$1" '$2 == id { sub(/^[^|]*\|[^|]*\|[^|]*\|/, ""); print; exit }'
}

# page_shown NAME: true when the page of that tab is the one seen, told by a control
# that only that page holds being visible.
page_shown() {
    local marker
    case "$1" in
        main) marker='^&?Screen Saver$' ;;
        confirmation) marker='^&?Test Confirmation Message$' ;;
        about) marker='^e-mail your comments' ;;
    esac
    texts | awk -F'|' -v re="${marker}" '$4 ~ re && $3 == "1" { found = 1 } END { exit !found }'
}

# show_tab NAME: clicks the tab where the tab control draws it and waits until its page
# is the one seen.
show_tab() {
    local name="$1"
    sv_click_tab "${E2E_UI}" "${TAB_CAPTION[${name}]}" --title "${TITLE}" || return 1
    local deadline=$(($(e2e_now_ms) + 5000))
    until page_shown "${name}"; do
        (($(e2e_now_ms) < deadline)) || return 1
        sleep 0.2
    done
}

# shot NAME: a screenshot once the window is drawn (the window's area not of one colour).
shot() {
    local rect l t r b geometry sd
    rect=$(e2e_ui wait-window --title "${TITLE}" --timeout 5000 | sed -n 's/.*rect=\([-0-9,]*\).*/\1/p')
    IFS=, read -r l t r b <<<"${rect}"
    geometry="$((r - l))x$((b - t))+${l}+${t}"
    for _ in 1 2 3 4 5; do
        sleep 0.4
        e2e_shot "$1" >/dev/null || continue
        sd=$(convert "${SOMNIVEX_SHOTS}/$1.png" -crop "${geometry}" +repage \
            -format '%[fx:standard_deviation]' info: 2>/dev/null || echo 0)
        if [[ "${sd}" != "0" ]]; then
            e2e_log "screenshot ${SOMNIVEX_SHOTS}/$1.png"
            return 0
        fi
    done
    echo "  (screenshot $1.png: the window's area came out blank)"
}

# reg_values KEY: the values of one key (no subkeys), "name|type|data" sorted by name.
reg_values() {
    local out="${E2E_WORK}/values.out"
    wine reg query "$1" /reg:32 </dev/null >"${out}" 2>&1 || true
    tr -d '\r' <"${out}" | awk '
        $2 ~ /^REG_/ {
            data = $0
            sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]*/, "", data)
            print $1 "|" $2 "|" data
        }' | sort
}

# reg_tree: the whole HKLM\Software\Brellcor tree (32-bit view), for before/after compares.
reg_tree() {
    local out="${E2E_WORK}/tree.out"
    wine reg query 'HKLM\Software\Brellcor' /s /reg:32 </dev/null >"${out}" 2>&1 || true
    tr -d '\r' <"${out}"
}

# start_manager TAG: starts Somniconf.exe and waits for its window.
start_manager() {
    e2e_start "$1" "${MANAGER}"
    if e2e_ui wait-window --title "${TITLE}" --timeout 25000 >/dev/null; then
        return 0
    fi
    e2e_fail "no window '${TITLE}' within 25 s"
    e2e_ui list || true
    return 1
}

# status_labels: the two status texts of the confirmation page, one a line.
status_labels() {
    texts | awk -F'|' '$1 == "Static" && ($4 ~ /^A confirmation message will/ || $4 ~ /^If the user/) { print $4 }'
}

# ---------------------------------------------------------------------------- 1
e2e_log "1. first start: the list, every control changed, OK"
start_manager first || e2e_finish
window_texts=$(texts)
sed 's/^/    /' <<<"${window_texts}"

SAVERS_ID=$(control_id ComboBox '  [|]  ')
TYPES_ID=$(texts | awk -F'|' -v s="${SAVERS_ID}" '$1 == "ComboBox" && $2 != s { print $2; exit }')
MINUTES_ID=$(control_id Edit '.*')
SHOW_ID=$(control_id Button '^&?Show a shutdown confirmation message')
YES_ID=$(control_id Button "^Make '&?Yes' the default")
echo "  controls: screen savers ${SAVERS_ID:-?}, shutdown types ${TYPES_ID:-?}," \
    "minutes ${MINUTES_ID:-?}, confirmation ${SHOW_ID:-?}, yes-is-default ${YES_ID:-?}"
if [[ -z "${SAVERS_ID}" || -z "${TYPES_ID}" || -z "${MINUTES_ID}" || -z "${SHOW_ID}" || -z "${YES_ID}" ]]; then
    e2e_fail "the settings window lacks one of its controls"
    e2e_finish
fi

savers=$(e2e_ui items --title "${TITLE}" --id "${SAVERS_ID}" | tr -d '\r' || true)
sed 's/^/    screen saver: /' <<<"${savers}"
e2e_check "the list holds exactly '${AURORA_ENTRY}' and '${DEMO_ENTRY}', sorted" \
    test "${savers}" = "${AURORA_ENTRY}"$'\n'"${DEMO_ENTRY}"
e2e_check "Somnivex.scr itself (SOMNIVEX.SCR in system32) is not listed" \
    test -z "$(grep -i '^somnivex ' <<<"${savers}" || true)"
e2e_check "the folder Folder.scr is not listed" test -z "$(grep -i '^Folder' <<<"${savers}" || true)"
types=$(e2e_ui items --title "${TITLE}" --id "${TYPES_ID}" | tr -d '\r' || true)
sed 's/^/    shutdown type: /' <<<"${types}"
e2e_check "the shutdown types begin with 'Shut down' and 'Restart'" \
    test "$(head -n 2 <<<"${types}")" = $'Shut down\nRestart'
e2e_check "no MS-DOS mode is offered on this system" test -z "$(grep -i 'ms-dos' <<<"${types}" || true)"
e2e_check "fresh settings: the first screen saver is chosen" \
    test "$(control_text "${SAVERS_ID}")" = "${AURORA_ENTRY}"
e2e_check "fresh settings: 30 minutes" test "$(control_text "${MINUTES_ID}")" = 30
e2e_check "fresh settings: 'Shut down'" test "$(control_text "${TYPES_ID}")" = "Shut down"
e2e_check "the Main Settings page is the one seen at start" page_shown main

# tab_walk N: the controls the Tab key gives the focus to, N presses, one a line: their
# texts without access-key marks, "(tabs)" for the tab strip, "(link) TEXT" for a link.
tab_walk() {
    local walk="" i
    for ((i = 0; i < $1; i++)); do
        xdotool key Tab
        sleep 0.3
        walk+="$(e2e_ui focus --title "${TITLE}" | tr -d '\r' | awk -F'|' '
            $1 == "SysTabControl32" { print "(tabs)"; next }
            { class = $1; sub(/^[^|]*[|][^|]*[|]/, ""); gsub(/&/, "")
              gsub(/<[^>]*>/, ""); print (class == "SysLink" ? "(link) " : "") $0 }' || true)"$'\n'
    done
    sed 's/^/    Tab: /' <<<"${walk%$'\n'}" >&2
    printf '%s' "${walk%$'\n'}"
}

# The Tab key walks the controls in their tab order, the tab strip between OK and Help;
# the button that makes Somnivex the user's screen saver comes after the designed ones.
focus_walk=$(tab_walk 12)
e2e_check "Tab walks the main page, Cancel, OK, the tab strip, Help and round again" \
    test "${focus_walk}" = "Install pending updates"$'\n'"Shut down"$'\n'"30"$'\n'"Preview"$'\n'"Settings"$'\n'"${AURORA_ENTRY}"$'\n'"Use as my screen saver"$'\n'"Cancel"$'\n'"OK"$'\n'"(tabs)"$'\n'"Help"$'\n'"Run Kelvane"

# Windows' own timers, read-only: Wine keeps the user's screen-saver wait and has no power
# plan, which the page says rather than guess.
timers=$(texts)
e2e_check "the page shows Windows' screen-saver wait" \
    grep -qE '^Static\|[0-9]+\|1\|[0-9]+ (minute|minutes|seconds|hour|hours)$' <<<"${timers}"
e2e_check "without a power plan the sleep timeout is 'not known' and nothing is warned of" \
    test "$(grep -c '^Static|[0-9]*|1|not known$' <<<"${timers}")" -ge 1 -a \
    -z "$(grep '^Static|[0-9]*|1|Windows puts this PC' <<<"${timers}" || true)"
e2e_check "Somnivex is not yet this user's screen saver" \
    grep -qF '|1|Somnivex is not your screen saver: Windows does not start it.' <<<"${timers}"
e2e_check "Use as my screen saver can be pressed" \
    e2e_ui click --title "${TITLE}" --text "Use as my screen saver"
sleep 1
desktop=$(wine reg query 'HKCU\Control Panel\Desktop' </dev/null 2>/dev/null | tr -d '\r')
e2e_check "it made the system folder's Somnivex.scr this user's screen saver" \
    grep -qiE 'SCRNSAVE\.EXE[[:space:]]+REG_SZ[[:space:]]+C:\\windows\\system32\\Somnivex\.scr$' <<<"${desktop}"
e2e_check "and switched screen saving on" \
    grep -qE 'ScreenSaveActive[[:space:]]+REG_SZ[[:space:]]+1$' <<<"${desktop}"
e2e_check "the page says so at once" \
    grep -qF '|1|Somnivex is your screen saver.' <<<"$(texts)"

# Main Settings: every control.
e2e_check "pick '${DEMO_ENTRY}'" \
    e2e_ui set-combo --title "${TITLE}" --id "${SAVERS_ID}" "${DEMO_ENTRY}"
e2e_check "set the minutes to 7" e2e_ui set-text --title "${TITLE}" --id "${MINUTES_ID}" 7
e2e_check "pick 'Restart'" e2e_ui set-combo --title "${TITLE}" --id "${TYPES_ID}" Restart
e2e_check "tick Run Kelvane" e2e_ui check --title "${TITLE}" --text "Run Kelvane" 1
e2e_check "untick Install pending updates" \
    e2e_ui check --title "${TITLE}" --text "Install pending updates" 0
sleep 0.5
e2e_check "the list shows '${DEMO_ENTRY}'" test "$(control_text "${SAVERS_ID}")" = "${DEMO_ENTRY}"
e2e_check "the shutdown type shows 'Restart'" test "$(control_text "${TYPES_ID}")" = Restart
shot manager-main

# Confirmation Message.
labels_before=$(status_labels)
e2e_check "the Confirmation Message tab shows its page" show_tab confirmation
e2e_check "tick the confirmation" e2e_ui check --title "${TITLE}" --id "${SHOW_ID}" 1
e2e_check "untick Yes-is-default" e2e_ui check --title "${TITLE}" --id "${YES_ID}" 0
sleep 0.5
labels=$(status_labels)
sed 's/^/    /' <<<"${labels}"
e2e_check "at load the labels said: no message, 'Yes' the default" \
    test "${labels_before}" = $'A confirmation message will not be displayed.\nIf the user doesn'"'"'t respond within 5 seconds, then '"'"'Yes'"'"' will be the default response to the confirmation dialog.'
e2e_check "now they say: a message for 5 s, 'No' the default" \
    test "${labels}" = $'A confirmation message will be displayed for 5 seconds.\nIf the user doesn'"'"'t respond within 5 seconds, then '"'"'No'"'"' will be the default response to the confirmation dialog.'
shot manager-confirmation

# About: the three links are tab stops, announced as links (the common controls' SysLink).
e2e_check "the About tab shows its page" show_tab about
about_walk=$(tab_walk 7)
e2e_check "Tab reaches the About page's three links" \
    test "$(grep -c '^(link) ' <<<"${about_walk}")" = 3
about=$(texts)
e2e_check "About names the version ('Version N.N.N')" \
    grep -qE '^Static\|[0-9]+\|1\|Version [0-9]+\.[0-9]+\.[0-9]+$' <<<"${about}"
e2e_check "About names 'Kelvane and Brellcor Pemrose Plus', a link" \
    grep -qF 'SysLink|' <<<"$(grep -F '|1|<a>Kelvane and Brellcor Pemrose Plus</a>' <<<"${about}")"
shot manager-about
e2e_check "the Main Settings tab shows its page again" show_tab main

e2e_check "OK can be pressed" e2e_ui click --title "${TITLE}" --text OK
if e2e_ui gone --title "${TITLE}" --timeout 10000 >/dev/null; then
    e2e_ok "OK closed the window"
else
    e2e_fail "the window is still open 10 s after OK"
    e2e_ui list || true
fi
e2e_check "Somniconf.exe ended after OK" e2e_wait_end first 15

expected=$(sort <<EOF
AppPath|REG_SZ|${E2E_SCR_DIR}
ConfirmShutdown|REG_DWORD|0xffffffff
DefaultConfirmYes|REG_DWORD|0x0
InstallUpdates|REG_DWORD|0x0
KelvanePath|REG_SZ|${KELVANE}
LogDebug|REG_DWORD|0xffffffff
LogDir|REG_SZ|${E2E_SCR_DIR}\\Error.log
RunKelvane|REG_DWORD|0xffffffff
SelectedScreenSaver|REG_SZ|${DEMO}
ShutdownType|REG_DWORD|0x2
WaitMinutes|REG_DWORD|0x7
EOF
)
stored=$(reg_values "${E2E_KEY}")
sed 's/^/    stored: /' <<<"${stored}"
e2e_check "the key holds exactly the ten expected values" test "${stored}" = "${expected}"
if [[ "${stored}" != "${expected}" ]]; then
    diff <(echo "${expected}") <(echo "${stored}") | sed 's/^/    /' || true
fi

# ---------------------------------------------------------------------------- 2
e2e_log "2. second start: what was stored shows; everything changed, Cancel"
before=$(reg_tree)
if start_manager second; then
    e2e_check "the stored screen saver shows" test "$(control_text "${SAVERS_ID}")" = "${DEMO_ENTRY}"
    e2e_check "the stored minutes show (7)" test "$(control_text "${MINUTES_ID}")" = 7
    e2e_check "the stored shutdown type shows (Restart)" test "$(control_text "${TYPES_ID}")" = Restart
    e2e_check "the labels show the stored confirmation settings" \
        test "$(status_labels)" = "${labels}"
    e2e_ui set-combo --title "${TITLE}" --id "${SAVERS_ID}" "${AURORA_ENTRY}" >/dev/null || true
    e2e_ui set-text --title "${TITLE}" --id "${MINUTES_ID}" 12 >/dev/null || true
    e2e_ui set-combo --title "${TITLE}" --id "${TYPES_ID}" "Shut down" >/dev/null || true
    e2e_ui check --title "${TITLE}" --text "Run Kelvane" 0 >/dev/null || true
    show_tab confirmation || e2e_fail "the Confirmation Message tab did not show its page"
    e2e_ui check --title "${TITLE}" --id "${SHOW_ID}" 0 >/dev/null || true
    e2e_ui check --title "${TITLE}" --id "${YES_ID}" 1 >/dev/null || true
    sleep 0.5
    e2e_check "the changes reached the window (list, minutes, labels)" \
        test "$(control_text "${SAVERS_ID}")|$(control_text "${MINUTES_ID}")|$(status_labels | cut -c1-40 | head -n 1)" = \
        "${AURORA_ENTRY}|12|A confirmation message will not be displ"
    e2e_check "Cancel can be pressed" e2e_ui click --title "${TITLE}" --text Cancel
    e2e_check "Cancel closed the window" e2e_ui gone --title "${TITLE}" --timeout 10000
    e2e_check "Somniconf.exe ended after Cancel" e2e_wait_end second 15
    after=$(reg_tree)
    e2e_check "after Cancel the registry is unchanged" test "${after}" = "${before}"
    [[ "${after}" == "${before}" ]] || diff <(echo "${before}") <(echo "${after}") | sed 's/^/    /' || true
fi

# ---------------------------------------------------------------------------- 3
e2e_log "3. Somnivex.scr /c opens the settings window"
e2e_start configure "${E2E_SCR}" /c
if e2e_ui wait-window --title "${TITLE}" --timeout 30000 >/dev/null; then
    e2e_ok "Somnivex.scr /c opened '${TITLE}'"
    e2e_check "Somnivex.scr /c ends by itself" e2e_wait_end configure 20
    e2e_check "the window can be closed" e2e_ui close --title "${TITLE}"
    e2e_check "it is gone after closing" e2e_ui gone --title "${TITLE}" --timeout 10000
else
    e2e_fail "no '${TITLE}' within 30 s of Somnivex.scr /c"
    e2e_ui list || true
fi
e2e_wait_end configure 20 || e2e_fail "Somnivex.scr /c still runs"

# ---------------------------------------------------------------------------- 4
e2e_log "4. Preview runs the chosen screen saver; the window keeps answering"
# The end by itself is only a safety net: the mouse ends it well before.
printf 'log=C:\\e2e\\demo.log\r\nrun_ms=90000\r\n' >"$(e2e_unix_path "${DEMO}").ini"
rm -f "${LOGS}/demo.log"
if start_manager preview; then
    e2e_check "Preview can be pressed" e2e_ui click --title "${TITLE}" --text Preview
    if e2e_wait_line "${LOGS}/demo.log" '^start ' 20; then
        e2e_ok "the chosen screen saver started"
        e2e_check "it was started as '${DEMO}' with /s" \
            e2e_has_line "${LOGS}/demo.log" '^cmdline "?C:\\windows\\system32\\DemoSaver\.scr"? +/s$'
        sleep 1
        e2e_check "the screen saver is on screen" e2e_window_exists "Somnivex Demo Saver"
        # Both go through the window's own thread: a window that does not pump its
        # messages while Preview waits lets the first time out (3 s) and never runs the
        # click handler that rewrites the label.
        e2e_check "meanwhile the minutes box takes a new text (a message round trip)" \
            e2e_ui set-text --title "${TITLE}" --id "${MINUTES_ID}" 9
        e2e_check "and the box now reads 9" test "$(control_text "${MINUTES_ID}")" = 9
        # The box is ticked (stored so in 1): unticking it must change its label.
        e2e_check "the confirmation label reads as stored before" \
            grep -q '^A confirmation message will be displayed' <<<"$(status_labels)"
        e2e_ui check --title "${TITLE}" --id "${SHOW_ID}" 0 >/dev/null || true
        deadline=$(($(e2e_now_ms) + 5000))
        until status_labels | grep -q '^A confirmation message will not be displayed'; do
            (($(e2e_now_ms) < deadline)) || break
            sleep 0.2
        done
        e2e_check "meanwhile a click on the confirmation box updates its label" \
            grep -q '^A confirmation message will not be displayed' <<<"$(status_labels)"
        e2e_check "the screen saver was still running then" test -z "$(grep '^end ' "${LOGS}/demo.log" || true)"
        # The first movement is taken as the pointer settling; the next ones end it.
        xdotool mousemove 100 100
        sleep 0.3
        xdotool mousemove 500 500
        sleep 0.3
        xdotool mousemove 900 200
        if e2e_wait_line "${LOGS}/demo.log" '^end [0-9]+ mouse ' 15; then
            e2e_ok "a mouse movement ended the screen saver"
        else
            e2e_fail "the screen saver did not end on the mouse within 15 s"
        fi
        e2e_check "the settings window is still open afterwards" e2e_window_exists "${TITLE}"
        e2e_check "and answers (the minutes box takes 10)" \
            e2e_ui set-text --title "${TITLE}" --id "${MINUTES_ID}" 10
    else
        e2e_fail "the chosen screen saver did not start within 20 s of Preview"
        e2e_ui list || true
    fi
    e2e_show_file "demo saver log" "${LOGS}/demo.log"
    e2e_ui click --title "${TITLE}" --text Cancel >/dev/null || true
    e2e_check "Cancel closes the window after the preview" \
        e2e_ui gone --title "${TITLE}" --timeout 10000
    e2e_wait_end preview 15 || e2e_fail "Somniconf.exe still runs after Cancel"
    after_preview=$(reg_values "${E2E_KEY}")
    e2e_check "nothing of the preview session was stored" test "${after_preview}" = "${expected}"
fi

# ---------------------------------------------------------------------------- 5
e2e_log "5. Help without its page names the file; minutes in the user's number format"
rm -f "${PROGRAM_DIR}/Somnivex.html"
# The user writes numbers as in Germany: "," before the fraction, "." between groups.
for value in sDecimal sMonDecimalSep; do
    e2e_reg_set "${value}" REG_SZ , 'HKCU\Control Panel\International'
done
for value in sThousand sMonThousandSep; do
    e2e_reg_set "${value}" REG_SZ . 'HKCU\Control Panel\International'
done
if start_manager help; then
    e2e_check "Help can be pressed" e2e_ui click --title "${TITLE}" --text Help
    if e2e_ui wait-window --title "Somnivex Manager" --timeout 10000 >/dev/null; then
        message=$(e2e_ui texts --title "Somnivex Manager" | tr -d '\r' || true)
        sed 's/^/    /' <<<"${message}"
        e2e_check "the message names the help file" \
            grep -qF "${E2E_SCR_DIR}\Somnivex.html" <<<"${message}"
        e2e_check "its OK closes it" e2e_ui click --title "Somnivex Manager" --text OK
        e2e_check "the settings window is still open" e2e_window_exists "${TITLE}"
    else
        e2e_fail "no message within 10 s of Help without its page"
        e2e_ui list || true
    fi
    e2e_check "set the minutes to 2,5" e2e_ui set-text --title "${TITLE}" --id "${MINUTES_ID}" 2,5
    e2e_check "OK can be pressed" e2e_ui click --title "${TITLE}" --text OK
    e2e_check "OK closed the window" e2e_ui gone --title "${TITLE}" --timeout 10000
    e2e_wait_end help 15 || e2e_fail "Somniconf.exe still runs after OK"
    e2e_check "2,5 was read as two and a half and stored as 2 (half to even)" \
        test "$(reg_values "${E2E_KEY}" | grep '^WaitMinutes|')" = "WaitMinutes|REG_DWORD|0x2"
fi

echo "  total $(($(e2e_now_ms) - started)) ms"
e2e_finish
