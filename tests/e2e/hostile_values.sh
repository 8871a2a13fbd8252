#!/usr/bin/env bash
# Settings that nobody should have stored, written straight into the registry before a
# real run. Three prefixes side by side (the two long runs on displays of their own):
#
#   types (this display):
#     1. Values of the wrong type (a text where a number belongs and the other way
#        round, REG_BINARY, REG_QWORD, REG_MULTI_SZ): "/a" replaces each by its default
#        of the right type on the first read (WaitMinutes "5" becomes the DWORD 30, a
#        binary RunKelvane the DWORD 0, a DWORD AppPath an empty string) and leaves a
#        value of the right type alone; a REG_EXPAND_SZ KelvanePath is a text, and stays.
#     2. WaitMinutes 0x10001 and ShutdownType 0x10002 (beyond 16 bits): a run asks
#        "Shutdown Windows after 30 minute(s)?" (the default, not the 1 that cutting to
#        16 bits gives) and both values stay as stored. The settings window shows 30 and
#        "Shut down" for them, and 1 and "Shut down" for WaitMinutes -5 and
#        ShutdownType 7; Cancel keeps all four as stored.
#     3. A SelectedScreenSaver of 100 000 characters naming no file: "/s" shows the
#        splash and ends, with no countdown and no message, and the value stays.
#     4. SelectedScreenSaver as REG_EXPAND_SZ '%SystemRoot%\DemoSaver.scr': the settings
#        window shows that screen saver chosen, with the description from its version
#        resource; Cancel leaves the value as stored; a run starts C:\windows\DemoSaver.scr.
#     5. ShutdownHwnd 65535 (the broadcast handle), RunKelvane 1, WaitMinutes 1: after the
#        countdown the launcher's stand-in is started with " /T=S", and no window gets
#        message 1525: not the stand-in's own window, which a broadcast would reach.
#   seven: ShutdownType 7, WaitMinutes 1, a chosen screen saver that keeps running: the
#     trail warns that 7 acts as a plain shut down; after the countdown a witness window
#     receives the end-of-session query and the end of the session, and Wine does not
#     restart. As a flag word 7 would carry EWX_FORCE,
#     and Wine's ExitWindowsEx then ends every program without any query; 7 also
#     carries EWX_REBOOT, and a restart runs the RunOnce entry planted here.
#   negative: WaitMinutes -5 counts as one minute: the countdown appears about a minute
#     after the start, not during the start-up display; it has a title bar but no close
#     box or system menu, is topmost, and a WM_CLOSE leaves it counting (screenshot
#     hostile_values-countdown.png); Cancel ends the run without any end-of-session
#     query.
set -euo pipefail
# The run_* jobs are started by name through e2e_run_parallel.
# shellcheck disable=SC2317
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup hostile_values
started=$(e2e_now_ms)

TITLE="Somnivex - Settings"
SAVER="${E2E_SAVERS_DIR}"'\DemoSaver.scr'
RUNONCE_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'

# check_value NAME TYPE DATA WHEN: the options value has that type and data.
check_value() {
    local found
    found=$(e2e_reg_typed "${E2E_KEY}" "$1" /reg:32 || echo "missing")
    e2e_check "$4: $1 is $2 '$3' (found '${found}')" test "${found}" = "$2|$3"
}

# manager_shows MINUTES TYPE WHAT: the settings window shows these for the stored values;
# Cancel closes it.
manager_shows() {
    e2e_start manager "${E2E_SCR_DIR}"'\Somniconf.exe'
    if ! e2e_ui wait-window --title "${TITLE}" --timeout 25000 >/dev/null; then
        e2e_fail "$3: no settings window within 25 s"
        return 0
    fi
    local texts minutes type
    texts=$(e2e_ui texts --title "${TITLE}" | tr -d '\r' || true)
    minutes=$(awk -F'|' '$1 == "Edit" { print $4; exit }' <<<"${texts}")
    # The shutdown-type list is the drop-down list without the "  |  " of a screen saver.
    type=$(awk -F'|' '$1 == "ComboBox" && NF == 4 { print $4; exit }' <<<"${texts}")
    e2e_check "$3: the minutes box shows $1 (found '${minutes}')" test "${minutes}" = "$1"
    e2e_check "$3: the shutdown type shows '$2' (found '${type}')" test "${type}" = "$2"
    e2e_ui click --title "${TITLE}" --text Cancel >/dev/null || true
    e2e_ui gone --title "${TITLE}" --timeout 10000 >/dev/null || e2e_fail "$3: Cancel left the window open"
    e2e_wait_end manager 15 || e2e_fail "$3: Somniconf.exe still runs after Cancel"
}

# ---------------------------------------------------------------------------- types
run_types() {
    export DISPLAY="$1"
    echo "types: wrong types, numbers beyond 16 bits, a 100 KB path (display ${DISPLAY})"
    e2e_run_prefix types
    cp "${SOMNIVEX_PROGRAMS}/Somniconf.exe" "$(e2e_unix_path "${E2E_SCR_DIR}")/"

    echo "1. values of the wrong type, then /a"
    e2e_reg_set WaitMinutes REG_SZ 5
    # Read as a number these bytes would be 1 (true): the default 0 must replace them.
    e2e_reg_set RunKelvane REG_BINARY 01000000
    e2e_reg_set AppPath REG_DWORD 1
    e2e_reg_set ConfirmShutdown REG_SZ -1
    e2e_reg_set DefaultConfirmYes REG_BINARY 00000000
    e2e_reg_set ShutdownType REG_QWORD 2
    e2e_reg_set KelvanePath REG_EXPAND_SZ '%SystemRoot%\Kelvane.exe'
    e2e_reg_set LogDir REG_MULTI_SZ 'C:\one\0C:\two'
    e2e_reg_set SelectedScreenSaver REG_DWORD 5
    e2e_reg_set LogDebug REG_DWORD 5
    e2e_reg_dump "${E2E_KEY}"
    check_value WaitMinutes REG_SZ 5 "written"
    check_value RunKelvane REG_BINARY 01000000 "written"
    check_value AppPath REG_DWORD 0x1 "written"
    e2e_start first "${E2E_SCR}" /a
    e2e_check "/a shows its splash" \
        e2e_ui wait-window --class SomnivexForm --title "" --timeout 20000
    e2e_check "/a ends by itself" e2e_wait_end first 20
    e2e_check "/a showed no message (AppPath empty means no pictures, no complaint)" \
        test -z "$(e2e_ui list | grep -F 'SCRNSAVE:Somnivex' || true)"
    check_value WaitMinutes REG_DWORD 0x1e "after /a"
    check_value RunKelvane REG_DWORD 0x0 "after /a"
    check_value AppPath REG_SZ "" "after /a"
    check_value ConfirmShutdown REG_DWORD 0x0 "after /a"
    check_value DefaultConfirmYes REG_DWORD 0xffffffff "after /a"
    check_value ShutdownType REG_DWORD 0x1 "after /a"
    check_value KelvanePath REG_EXPAND_SZ '%SystemRoot%\Kelvane.exe' "after /a (a text, kept)"
    check_value LogDir REG_SZ "" "after /a"
    check_value SelectedScreenSaver REG_SZ "" "after /a"
    check_value LogDebug REG_DWORD 0x5 "after /a (of the right type, left alone)"

    echo "2. WaitMinutes 0x10001 and ShutdownType 0x10002"
    e2e_reg_set AppPath REG_SZ "${E2E_SCR_DIR}"
    e2e_reg_set WaitMinutes REG_DWORD 0x10001
    e2e_reg_set ShutdownType REG_DWORD 0x10002
    e2e_reg_set ConfirmShutdown REG_DWORD 1
    e2e_reg_set DefaultConfirmYes REG_DWORD 0
    e2e_reg_set SelectedScreenSaver REG_SZ "${SAVER}"
    e2e_demo_saver "${E2E_SAVERS_DIR}" 'run_ms=1500' 'log=C:\e2e\demo.log'
    # The question shows for 5 s: read by a watcher that looks before the run starts.
    e2e_watch question --class SomnivexForm --title Somnivex --timeout 30000 ||
        e2e_fail "the window watcher did not start"
    e2e_start_run
    if e2e_watch_seen question 35 >/dev/null; then
        local texts
        texts=$(e2e_watch_texts question)
        sed 's/^/    /' <<<"${texts}"
        e2e_check "the question reads 'Shutdown Windows after 30 minute(s)?'" \
            grep -qF '|1|Shutdown Windows after 30 minute(s)?' <<<"${texts}"
    else
        e2e_fail "no confirmation question within 35 s"
        e2e_ui list || true
    fi
    e2e_check "the chosen screen saver ran after the question" \
        e2e_wait_line "${LOGS}/demo.log" '^end [0-9]+ timeout' 30
    e2e_check "the run ends with the screen saver" e2e_wait_end run 20
    check_value WaitMinutes REG_DWORD 0x10001 "after the run (left as stored)"
    check_value ShutdownType REG_DWORD 0x10002 "after the run (left as stored)"
    manager_shows 30 "Shut down" "WaitMinutes 0x10001, ShutdownType 0x10002"
    check_value WaitMinutes REG_DWORD 0x10001 "after Cancel"
    check_value ShutdownType REG_DWORD 0x10002 "after Cancel"
    e2e_reg_set WaitMinutes REG_DWORD 0xfffffffb
    e2e_reg_set ShutdownType REG_DWORD 7
    manager_shows 1 "Shut down" "WaitMinutes -5, ShutdownType 7"
    check_value WaitMinutes REG_DWORD 0xfffffffb "after Cancel"
    check_value ShutdownType REG_DWORD 0x7 "after Cancel"

    echo "3. a SelectedScreenSaver of 100 000 characters"
    e2e_reg_set WaitMinutes REG_DWORD 30
    e2e_reg_set ShutdownType REG_DWORD 1
    e2e_reg_set ConfirmShutdown REG_DWORD 0
    # A program that fails hard must not leave Wine's crash dialog behind to hang the run.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        </dev/null >"${E2E_WORK}/reg.out" 2>&1 || true
    # Too long for a command line: a registry file, into the 32-bit view's own key.
    local long reg value
    long="C:\\Nowhere\\$(head -c 99985 /dev/zero | tr '\0' x).scr"
    reg="${E2E_WORK}/long.reg"
    {
        printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Brellcor\\Somnivex]\r\n'
        printf '"SelectedScreenSaver"="%s"\r\n' "${long//\\/\\\\}"
    } >"${reg}"
    wine regedit /S "$(winepath -w "${reg}")" </dev/null >"${E2E_WORK}/regedit.out" 2>&1 || true
    value=$(e2e_reg_get SelectedScreenSaver || true)
    e2e_check "the 100 000-character value landed (${#value} characters)" test "${value}" = "${long}"
    e2e_start_run
    # Watch for a countdown or a message until the run ends.
    local deadline=$(($(e2e_now_ms) + 30000)) windows seen=""
    while ! e2e_ended run && (($(e2e_now_ms) < deadline)); do
        windows=$(e2e_ui list | tr -d '\r' || true)
        if grep -qE '\|SomnivexForm\|1\|[0-9]+\|Somnivex$' <<<"${windows}"; then seen+=" countdown"; fi
        if grep -qF '|SCRNSAVE:Somnivex' <<<"${windows}"; then seen+=" message"; fi
        sleep 0.3
    done
    if e2e_ended run; then
        e2e_ok "the run ended $(($(e2e_end_ms run) - T_SPLASH)) ms after its splash"
        echo "  exit status $(awk '{ print $1 }' "${E2E_WORK}/run.exit")"
        e2e_check "the run ended normally (status 0)" test "$(awk '{ print $1 }' "${E2E_WORK}/run.exit")" = 0
    else
        e2e_fail "the run still goes on 30 s after its splash"
        e2e_ui list || true
    fi
    e2e_check "no countdown and no message appeared (seen:${seen:- nothing})" test -z "${seen}"
    value=$(e2e_reg_get SelectedScreenSaver || true)
    e2e_check "the value is left as stored (${#value} characters)" test "${value}" = "${long}"

    echo "4. SelectedScreenSaver as REG_EXPAND_SZ, and the settings window"
    e2e_demo_saver 'C:\windows' 'run_ms=1500' 'log=C:\e2e\demo-expand.log'
    e2e_reg_set SelectedScreenSaver REG_EXPAND_SZ '%SystemRoot%\DemoSaver.scr'
    e2e_start manager-expand "${E2E_SCR_DIR}"'\Somniconf.exe'
    if e2e_ui wait-window --title "${TITLE}" --timeout 25000 >/dev/null; then
        local chosen
        # The screen-saver list is the drop-down list whose entries carry "  |  ".
        chosen=$(e2e_ui texts --title "${TITLE}" | tr -d '\r' |
            awk -F'|' '$1 == "ComboBox" && NF > 4 { sub(/^[^|]*\|[^|]*\|[^|]*\|/, ""); print; exit }' || true)
        e2e_check "the settings window shows it chosen, described (found '${chosen}')" \
            test "${chosen}" = "DemoSaver  |  Somnivex Demo Saver"
        e2e_ui click --title "${TITLE}" --text Cancel >/dev/null || true
        e2e_ui gone --title "${TITLE}" --timeout 10000 >/dev/null || e2e_fail "Cancel left the window open"
        e2e_wait_end manager-expand 15 || e2e_fail "Somniconf.exe still runs after Cancel"
    else
        e2e_fail "no settings window within 25 s"
    fi
    check_value SelectedScreenSaver REG_EXPAND_SZ '%SystemRoot%\DemoSaver.scr' "after the manager"
    e2e_start_run
    e2e_check "a run starts the expanded path" \
        e2e_wait_line "${LOGS}/demo-expand.log" '^cmdline .*[Cc]:\\windows\\DemoSaver\.scr' 20
    e2e_check "... and ends with it" e2e_wait_end run 20
    check_value SelectedScreenSaver REG_EXPAND_SZ '%SystemRoot%\DemoSaver.scr' "after the run"

    echo "5. ShutdownHwnd 65535"
    local kdir='C:\Program Files\Brellcor Kelvane' klog lines
    e2e_install_fixture Kelvane.exe "${kdir}"
    klog="$(e2e_unix_path "${kdir}")/Kelvane.exe.log"
    # The stand-in's window is there, as a recorded launcher's would be: a broadcast
    # would reach it.
    e2e_start kelvane "${kdir}"'\Kelvane.exe' --register --linger 300000
    e2e_wait_line "${klog}" '^registered [0-9]+$' 20 || e2e_fail "the launcher's stand-in did not start"
    e2e_reg_set ShutdownHwnd REG_DWORD 0xffff "${E2E_HANDLES_KEY}"
    e2e_reg_set RunKelvane REG_DWORD 1
    e2e_reg_set KelvanePath REG_SZ "${kdir}"'\Kelvane.exe'
    e2e_reg_set WaitMinutes REG_DWORD 1
    e2e_reg_set SelectedScreenSaver REG_SZ "${SAVER}"
    e2e_demo_saver "${E2E_SAVERS_DIR}" 'ignore_input=1' 'log=C:\e2e\demo-handle.log'
    e2e_start_run
    if e2e_wait_line "${klog}" '^cmdline .*/T=' 170; then
        sleep 1
        lines=$(tr -d '\r' <"${klog}")
        e2e_check "the launcher was started with ' /T=S'" \
            grep -qx 'cmdline "C:\\Program Files\\Brellcor Kelvane\\Kelvane\.exe" /T=S' <<<"${lines}"
        e2e_check "no window got message 1525, not even the stand-in's" \
            test -z "$(grep '^message 1525' <<<"${lines}" || true)"
    else
        e2e_fail "the launcher was not started within 170 s"
    fi
    e2e_check "Somnivex.scr ends after starting the launcher" e2e_wait_end run 15
    e2e_ui close --title "Somnivex Demo Saver" >/dev/null || true
    e2e_show_file "launcher log" "${klog}"
    return $((E2E_FAILURES > 0))
}

# ---------------------------------------------------------------------------- seven
run_seven() {
    export DISPLAY="$1"
    echo "seven: ShutdownType 7, WaitMinutes 1 (display ${DISPLAY})"
    e2e_run_prefix seven
    e2e_reg_set WaitMinutes REG_DWORD 1
    e2e_reg_set ShutdownType REG_DWORD 7
    e2e_reg_set SelectedScreenSaver REG_SZ "${SAVER}"
    e2e_demo_saver "${E2E_SAVERS_DIR}" 'ignore_input=1' 'log=C:\e2e\demo.log'
    e2e_start_witness
    # Wine's restart (EWX_REBOOT) runs the RunOnce entries as a boot does; a shut down
    # does not. (wineboot is a 64-bit program: the 64-bit view.)
    wine reg add "${RUNONCE_KEY}" /v SomnivexRestartMarker /t REG_SZ \
        /d 'C:\e2e\Witness.exe C:\e2e\restarted.log --title Restarted' /f /reg:64 \
        </dev/null >"${E2E_WORK}/reg.out" 2>&1 || e2e_fail "could not plant the RunOnce entry"
    e2e_start_run
    if e2e_wait_countdown 85; then
        echo "  countdown on screen $((T_COUNTDOWN - T_SPLASH)) ms after the splash"
    else
        e2e_fail "no countdown within 85 s"
        e2e_ui list || true
    fi
    local left=$(((T0 + 150000 - $(e2e_now_ms)) / 1000))
    ((left > 0)) || left=1
    if e2e_wait_line "${LOGS}/witness.log" '^queryendsession ' "${left}"; then
        e2e_ok "the witness was asked whether the session may end ($(($(e2e_now_ms) - T_SPLASH)) ms after the splash): no forced end"
        e2e_check "the witness was told that the session ends" \
            e2e_wait_line "${LOGS}/witness.log" '^endsession 1 ' 20
        e2e_check "the end-of-session query is not a log off (lParam 0)" \
            e2e_has_line "${LOGS}/witness.log" '^queryendsession [0-9]+ 0$'
    else
        e2e_fail "no end-of-session query within 150 s of the start"
    fi
    e2e_check "Somnivex.scr has ended" e2e_wait_end run 30
    local warned
    warned=$(e2e_event run 2045 | cut -f3- || true)
    e2e_check "the trail warns that 7 acts as a plain shut down (${warned})" \
        test "${warned}" = "$(printf '"7"\t"Windows is asked to shut down"')"
    # A restart would start the marker within a few seconds of the end of the session.
    sleep 6
    e2e_check "Wine was shut down, not restarted (the RunOnce entry did not run)" \
        test ! -e "${LOGS}/restarted.log"
    e2e_show_file "witness log" "${LOGS}/witness.log"
    e2e_show_file "demo saver log" "${LOGS}/demo.log"
    return $((E2E_FAILURES > 0))
}

# ---------------------------------------------------------------------------- negative
run_negative() {
    export DISPLAY="$1"
    echo "negative: WaitMinutes -5 (display ${DISPLAY})"
    e2e_run_prefix negative
    e2e_reg_set WaitMinutes REG_DWORD 0xfffffffb
    e2e_reg_set SelectedScreenSaver REG_SZ "${SAVER}"
    e2e_demo_saver "${E2E_SAVERS_DIR}" 'ignore_input=1' 'log=C:\e2e\demo.log'
    e2e_start_witness
    e2e_start_run
    if e2e_wait_countdown 85; then
        local after=$((T_COUNTDOWN - T_SPLASH))
        echo "  countdown on screen ${after} ms after the splash"
        e2e_check "the countdown waited for about one minute (${after} ms in 50000..80000)" \
            test $((after >= 50000 && after <= 80000)) -eq 1
        e2e_check "the chosen screen saver ran meanwhile" e2e_has_line "${LOGS}/demo.log" '^start '
        sleep 0.4
        e2e_shot hostile_values-countdown || true
        local style bits exbits seconds
        style=$(e2e_ui style --class SomnivexForm --title Somnivex | tr -d '\r' || true)
        bits=$(sed -n 's/^style=\(0x[0-9a-f]*\) .*/\1/p' <<<"${style}")
        exbits=$(sed -n 's/.* exstyle=\(0x[0-9a-f]*\)$/\1/p' <<<"${style}")
        # WS_CAPTION 0x00C00000, WS_SYSMENU 0x00080000, WS_EX_TOPMOST 0x8.
        e2e_check "the countdown has a title bar but no close box or system menu (${style})" \
            test $(((${bits:-0} & 0xC80000) == 0xC00000)) -eq 1
        e2e_check "the countdown is topmost" test $(((${exbits:-0} & 0x8) != 0)) -eq 1
        seconds=$(e2e_ui texts --class SomnivexForm --title Somnivex | tr -d '\r' |
            awk -F'|' '$4 ~ /^[0-9]+$/ { print $4; exit }' || true)
        e2e_ui close --class SomnivexForm --title Somnivex >/dev/null || true
        sleep 2.5
        local after
        after=$(e2e_ui texts --class SomnivexForm --title Somnivex | tr -d '\r' |
            awk -F'|' '$4 ~ /^[0-9]+$/ { print $4; exit }' || true)
        e2e_check "a WM_CLOSE leaves the countdown counting (${seconds:-?} s, then ${after:-gone})" \
            test -n "${after}" -a "${after:-0}" -lt "${seconds:-0}"
        e2e_check "Cancel Shut Down can be pressed" \
            e2e_ui click --class SomnivexForm --title Somnivex --text "Cancel Shut Down"
        e2e_check "Somnivex.scr ends after Cancel" e2e_wait_end run 15
        sleep 2
        e2e_check "Windows was not asked to end the session" e2e_no_session_end
    else
        e2e_fail "no countdown within 85 s of the splash"
        e2e_ui list || true
    fi
    e2e_ui close --title "Somnivex Demo Saver" >/dev/null || true
    e2e_show_file "demo saver log" "${LOGS}/demo.log"
    return $((E2E_FAILURES > 0))
}

# ---------------------------------------------------------------------------- main
e2e_private_display
DISPLAY_SEVEN="${E2E_NEW_DISPLAY}"
e2e_private_display
DISPLAY_NEGATIVE="${E2E_NEW_DISPLAY}"

e2e_run_parallel "${started}" "seven:${DISPLAY_SEVEN}" "negative:${DISPLAY_NEGATIVE}" \
    "types:${DISPLAY}"
e2e_finish
