#!/usr/bin/env bash
# How a screen-saver run ends in a shutdown, or does not. Three runs with WaitMinutes 1
# and a chosen screen saver that keeps running, each in its own prefix, side by side
# (each takes two minutes or more); (a) and (b) on displays of their own, so that no
# run's full-screen screen saver covers another run's windows:
#
#   a. Nobody answers the countdown: a witness window receives the end-of-session query
#      about 60 s after the countdown appeared, about 2 minutes into the run.
#   b. RunKelvane 1, ShutdownType 2, the launcher's stand-in at a path with blanks
#      (C:\Program Files\Brellcor Kelvane\Kelvane.exe), its window recorded under
#      "Window Handles": message 1525 (0, 0) reaches that window before the second copy
#      starts, and that copy gets the quoted path and " /T=R", minimized; Windows is not
#      shut down.
#   c. ConfirmShutdown 1, DefaultConfirmYes 0: the message "Shutdown Windows after 1
#      minute(s)?" appears after the start-up display, closes by itself after about 5 s
#      (No), the screen saver runs, and no countdown appears (watched until 72 s into the
#      run) nor any end-of-session query. Screenshot: confirmation.png.
#
# Every run is traced on Wine's eventlog channel, and leaves its trail in order: (a) start
# 1000, countdown 1030, a shut down asked of InitiateShutdown 1041, which Wine does not
# implement, so the fall-back 2041 and ExitWindowsEx 1040 with the flags 0x00000001
# end the session; (b) 1001, 1030,
# message posted 1050, launcher started 1051; (c) 1000, no answer 1012, the user back 1020.
set -euo pipefail
# The run_* jobs are started by name through e2e_run_parallel.
# shellcheck disable=SC2317
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup screensaver_shutdown
started=$(e2e_now_ms)

# Everything a run needs: the program, the options, a demo screen saver that nothing
# disturbs, and a witness window. Sets LOGS and starts the witness.
prepare_run() {
    e2e_run_prefix "shut-$1"
    e2e_reg_set WaitMinutes REG_DWORD 1
    e2e_reg_set SelectedScreenSaver REG_SZ "${E2E_SAVERS_DIR}"'\DemoSaver.scr'
    e2e_demo_saver "${E2E_SAVERS_DIR}" 'ignore_input=1' 'log=C:\e2e\demo.log'
    e2e_start_witness
}

# Waits for the countdown; sets T_COUNTDOWN.
wait_countdown() {
    if e2e_wait_countdown 85; then
        echo "  countdown on screen $((T_COUNTDOWN - T_SPLASH)) ms after the splash"
        return 0
    fi
    e2e_fail "no countdown window within 85 s"
    e2e_ui list || true
    return 1
}

# check_trail IDS WAIT: the run's events begin with IDS (the last one waited for up to
# WAIT seconds).
check_trail() {
    local last="${1##* }"
    e2e_wait_event run "${last}" "$2" || true
    echo "  events: $(e2e_event_ids run)"
    e2e_check "the run's events begin with ${1}" test "$(e2e_event_ids run | cut -c1-${#1})" = "$1"
}

# ---------------------------------------------------------------------------- a
run_a() {
    export DISPLAY="$1"
    echo "a. no answer to the countdown (display ${DISPLAY})"
    prepare_run a
    e2e_start_run
    wait_countdown || true
    local left
    left=$(((T0 + 150000 - $(e2e_now_ms)) / 1000))
    ((left > 0)) || left=1
    if e2e_wait_line "${LOGS}/witness.log" '^queryendsession ' "${left}"; then
        local t_query
        t_query=$(e2e_now_ms)
        echo "  MEASURED: end-of-session query $((t_query - T_SPLASH)) ms after the splash," \
            "$((t_query - T_COUNTDOWN)) ms after the countdown appeared"
        e2e_check "the query comes about 2 minutes into the run ($((t_query - T_SPLASH)) ms <= 125000)" \
            test $((t_query - T_SPLASH)) -le 125000
        e2e_check "the countdown ran its 60 s first ($((t_query - T_COUNTDOWN)) ms in 57000..66000)" \
            test $((t_query - T_COUNTDOWN >= 57000 && t_query - T_COUNTDOWN <= 66000)) -eq 1
        e2e_check "the witness was told that the session ends" \
            e2e_wait_line "${LOGS}/witness.log" '^endsession 1 ' 20
    else
        e2e_fail "no end-of-session query within 150 s of the start"
    fi
    check_trail "1000 1030 1041 2041 1040" 10
    e2e_check "InitiateShutdown was asked first, with pending updates" \
        grep -qF 'pending updates are installed' <<<"$(e2e_event run 1041 || true)"
    e2e_check "the fall-back names ExitWindowsEx's shut down" \
        grep -qF '"shut down"' <<<"$(e2e_event run 2041 || true)"
    e2e_check "the exit request names its flags" \
        grep -qF '"0x00000001"' <<<"$(e2e_event run 1040 || true)"
    # Wine ends the session's programs itself; either way the run is over.
    e2e_check "Somnivex.scr has ended" e2e_wait_end run 30
    e2e_show_file "witness log" "${LOGS}/witness.log"
    e2e_show_file "demo saver log" "${LOGS}/demo.log"
    return $((E2E_FAILURES > 0))
}

# ---------------------------------------------------------------------------- b
run_b() {
    export DISPLAY="$1"
    echo "b. the shutdown handed to the launcher (display ${DISPLAY})"
    prepare_run b
    local kdir='C:\Program Files\Brellcor Kelvane' klog hwnd stored
    e2e_install_fixture Kelvane.exe "${kdir}"
    klog="$(e2e_unix_path "${kdir}")/Kelvane.exe.log"
    e2e_start kelvane "${kdir}"'\Kelvane.exe' --register --linger 300000
    if e2e_wait_line "${klog}" '^registered [0-9]+$' 20; then
        hwnd=$(tr -d '\r' <"${klog}" | awk '$1 == "registered" { print $2 }')
        if stored=$(e2e_reg_get ShutdownHwnd "${E2E_HANDLES_KEY}"); then
            echo "  launcher window ${hwnd}, ShutdownHwnd ${stored}"
            e2e_check "the launcher's window is recorded as ShutdownHwnd" \
                test "$((stored))" -eq "${hwnd}"
        else
            e2e_fail "no ShutdownHwnd under ${E2E_HANDLES_KEY}"
        fi
    else
        e2e_fail "the launcher's stand-in did not record its window"
    fi
    e2e_reg_set RunKelvane REG_DWORD 1
    e2e_reg_set KelvanePath REG_SZ "${kdir}"'\Kelvane.exe'
    e2e_reg_set ShutdownType REG_DWORD 2

    e2e_start_run
    wait_countdown || true
    local left
    left=$(((T0 + 150000 - $(e2e_now_ms)) / 1000))
    ((left > 0)) || left=1
    if e2e_wait_line "${klog}" '^cmdline .*/T=' "${left}"; then
        local t_launch
        t_launch=$(e2e_now_ms)
        echo "  MEASURED: launcher started $((t_launch - T_COUNTDOWN)) ms after the countdown appeared"
        e2e_check "the countdown ran its 60 s first ($((t_launch - T_COUNTDOWN)) ms in 57000..66000)" \
            test $((t_launch - T_COUNTDOWN >= 57000 && t_launch - T_COUNTDOWN <= 66000)) -eq 1
        sleep 1
        local lines message_at second_at
        lines=$(tr -d '\r' <"${klog}")
        message_at=$(awk '/^message 1525 / { print NR; exit }' <<<"${lines}")
        second_at=$(awk '/^cmdline .*\/T=/ { print NR; exit }' <<<"${lines}")
        e2e_check "message 1525 with parameters 0 and 0 reached the recorded window" \
            grep -qx 'message 1525 0 0' <<<"${lines}"
        e2e_check "the message came before the second copy started" \
            test "${message_at:-999}" -lt "${second_at:-0}"
        e2e_check "the second copy got the quoted path and ' /T=R'" \
            grep -qx 'cmdline "C:\\Program Files\\Brellcor Kelvane\\Kelvane\.exe" /T=R' <<<"${lines}"
        e2e_check "the second copy was started minimized (show 2)" \
            test "$(sed -n "$((second_at + 1))p" <<<"${lines}")" = "show 2"
        e2e_check "exactly one second copy was started" \
            test "$(grep -c '^cmdline .*/T=' <<<"${lines}")" -eq 1
    else
        e2e_fail "the launcher was not started within 150 s of the start"
    fi
    e2e_check "Somnivex.scr ends after starting the launcher" e2e_wait_end run 15
    check_trail "1001 1030 1050 1051" 5
    sleep 3
    e2e_check "Windows was not asked to end the session" e2e_no_session_end
    e2e_show_file "launcher log" "${klog}"
    e2e_show_file "witness log" "${LOGS}/witness.log"
    return $((E2E_FAILURES > 0))
}

# ---------------------------------------------------------------------------- c
run_c() {
    export DISPLAY="$1"
    echo "c. confirmation with No as the default, not answered (display ${DISPLAY})"
    prepare_run c
    e2e_reg_set ConfirmShutdown REG_DWORD 1
    e2e_reg_set DefaultConfirmYes REG_DWORD 0
    # The confirmation shows for 5 s: it is read and timed by a watcher that is looking
    # before the run starts.
    e2e_watch confirmation --class SomnivexForm --title Somnivex --timeout 30000 ||
        e2e_fail "the window watcher did not start"
    e2e_start_run
    if found=$(e2e_watch_seen confirmation 35); then
        local shown texts
        echo "  confirmation on screen $(($(e2e_watch_seen_ms confirmation) - T_SPLASH)) ms" \
            "after the splash: ${found}"
        e2e_check "the splash is hidden before the confirmation shows" \
            test -z "$(e2e_ui list | grep -E '\|SomnivexForm\|1\|[0-9]+\|$' || true)"
        texts=$(e2e_watch_texts confirmation)
        sed 's/^/    /' <<<"${texts}"
        sleep 0.4
        e2e_shot confirmation || true
        e2e_check "it asks 'Shutdown Windows after 1 minute(s)?'" \
            grep -qF '|1|Shutdown Windows after 1 minute(s)?' <<<"${texts}"
        e2e_check "it offers Yes" grep -qE '^Button\|[0-9]+\|1\|&?Yes$' <<<"${texts}"
        e2e_check "it offers No" grep -qE '^Button\|[0-9]+\|1\|&?No$' <<<"${texts}"
        if shown=$(e2e_watch_shown confirmation 30); then
            echo "  MEASURED: the confirmation closed by itself after ${shown} ms"
            e2e_check "it closes by itself after about 5 s (${shown} ms in 4000..7000)" \
                test $((shown >= 4000 && shown <= 7000)) -eq 1
        else
            e2e_fail "the confirmation is still open 30 s after it appeared"
        fi
    else
        e2e_fail "no confirmation message within 35 s"
        e2e_ui list || true
    fi
    if e2e_wait_line "${LOGS}/demo.log" '^start ' 20; then
        e2e_ok "the chosen screen saver runs after the answer"
    else
        e2e_fail "the chosen screen saver did not start"
    fi
    local watch
    watch=$((T_SPLASH + 72000 - $(e2e_now_ms)))
    ((watch > 1000)) || watch=1000
    echo "  watching for a countdown for ${watch} ms"
    if e2e_ui wait-window --class SomnivexForm --title Somnivex --timeout "${watch}" >/dev/null; then
        e2e_fail "a countdown appeared after the answer No"
        e2e_shot confirmation_unexpected_countdown || true
    else
        e2e_ok "no countdown within 72 s of the start-up display"
    fi
    e2e_check "Somnivex.scr still waits for the chosen screen saver" test ! -e "${E2E_WORK}/run.exit"
    e2e_check "Windows was not asked to end the session" e2e_no_session_end
    e2e_ui close --title "Somnivex Demo Saver" >/dev/null || true
    e2e_check "the run ends when the chosen screen saver ends" e2e_wait_end run 15
    check_trail "1000 1012 1020" 5
    e2e_show_file "demo saver log" "${LOGS}/demo.log"
    return $((E2E_FAILURES > 0))
}

# ---------------------------------------------------------------------------- main
e2e_private_display
DISPLAY_A="${E2E_NEW_DISPLAY}"
e2e_private_display
DISPLAY_B="${E2E_NEW_DISPLAY}"
MAIN_DISPLAY="${DISPLAY}"

e2e_run_parallel "${started}" "a:${DISPLAY_A}" "b:${DISPLAY_B}" "c:${MAIN_DISPLAY}"
e2e_finish
