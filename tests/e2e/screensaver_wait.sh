#!/usr/bin/env bash
# The wait of a screen-saver run, with the demo screen saver chosen, in one fresh prefix
# with WaitMinutes 1:
#
#   A. A chosen screen saver that ends by itself after 5 s (the user came back) ends
#      Somnivex.scr promptly, without a countdown. The delay between the screen saver's
#      logged end and Somnivex.scr's exit is measured and printed.
#   B. A chosen screen saver that keeps running: the countdown window "Somnivex" appears
#      about 60 s after the start-up display, above the still running screen saver, in
#      the foreground, and counts down. Screenshot: countdown.png. Cancel closes it,
#      Somnivex.scr ends, no end-of-session query reaches the witness window, and the
#      chosen screen saver is left running.
#   C. A screen saver in a folder with blanks and non-Latin letters
#      (C:\Program Files\Bildschirmschoner Ü 日本\DemoSaver.scr) is started with its
#      quoted path and " /s", and its end ends the run.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup screensaver_wait
started=$(e2e_now_ms)
e2e_prefix wait
e2e_install_somnivex
e2e_reg_set AppPath REG_SZ "${E2E_SCR_DIR}"
e2e_reg_set WaitMinutes REG_DWORD 1
SAVER="${E2E_SAVERS_DIR}"'\DemoSaver.scr'
e2e_reg_set SelectedScreenSaver REG_SZ "${SAVER}"
LOGS="$(e2e_unix_path "${E2E_TOOLS_DIR}")"

# ---------------------------------------------------------------------------- A
e2e_log "A. the chosen screen saver ends after 5 s"
e2e_demo_saver "${E2E_SAVERS_DIR}" 'run_ms=5000' 'log=C:\e2e\demo-a.log'
t0=$(e2e_now_ms)
e2e_start run_a "${E2E_SCR}" /s
if e2e_wait_line "${LOGS}/demo-a.log" '^end [0-9]+ timeout' 40; then
    if e2e_wait_end run_a 15; then
        saver_end=$(tr -d '\r' <"${LOGS}/demo-a.log" | awk '$1 == "end" { print $4 }' | tail -n 1)
        delay=$(($(e2e_end_ms run_a) - saver_end))
        echo "  MEASURED: Somnivex.scr exited ${delay} ms after the screen saver's end" \
            "(run took $(($(e2e_end_ms run_a) - t0)) ms)"
        # The end is seen on the process handle; what remains is Wine's process exit.
        e2e_check "Somnivex.scr ends promptly after the screen saver (${delay} ms < 1000 ms)" \
            test "${delay}" -lt 1000
    else
        e2e_fail "Somnivex.scr still runs 15 s after the screen saver ended"
    fi
else
    e2e_fail "the demo screen saver did not run and end within 40 s"
fi
e2e_check "the screen saver was started with its quoted path and /s" \
    e2e_has_line "${LOGS}/demo-a.log" '^cmdline "C:\\Program Files\\Savers\\DemoSaver\.scr" +/s$'
e2e_show_file "demo saver log (A)" "${LOGS}/demo-a.log"

# ---------------------------------------------------------------------------- B
e2e_log "B. the chosen screen saver keeps running: countdown, then Cancel"
e2e_demo_saver "${E2E_SAVERS_DIR}" 'ignore_input=1' 'log=C:\e2e\demo-b.log'
e2e_start_witness
e2e_start_run run_b
e2e_wait_line "${LOGS}/demo-b.log" '^start ' 30 || e2e_fail "the demo screen saver did not start"

if e2e_wait_countdown 85; then
    found="${COUNTDOWN_FOUND}"
    after=$((T_COUNTDOWN - T_SPLASH))
    echo "  MEASURED: countdown on screen ${after} ms after the splash appeared" \
        "($((T_COUNTDOWN - T0)) ms after the start): ${found}"
    e2e_check "the countdown appears about 60 s into the run (${after} ms in 58500..62500)" \
        test $((after >= 58500 && after <= 62500)) -eq 1
    # The seconds first: every start of a helper under load delays what is read.
    t_a=$(e2e_now_ms)
    texts=$(e2e_ui texts --class SomnivexForm --title Somnivex || true)
    t_b=$(e2e_now_ms)
    sed 's/^/    /' <<<"${texts}"
    for label in 'Attention' 'Somnivex will shut down Windows in:' 'seconds' '&Cancel Shut Down'; do
        e2e_check "the countdown shows '${label}'" grep -qF "|1|${label}" <<<"${texts}"
    done
    first=$(grep -E '^Static\|[0-9]+\|1\|[0-9]+$' <<<"${texts}" | head -n 1 | cut -d'|' -f4 || true)
    sleep 2.2
    t_c=$(e2e_now_ms)
    second=$(e2e_ui texts --class SomnivexForm --title Somnivex |
        grep -E '^Static\|[0-9]+\|1\|[0-9]+$' | head -n 1 | cut -d'|' -f4 || true)
    t_d=$(e2e_now_ms)
    # The two readings lie between t_c - t_b and t_d - t_a apart: the count must have
    # gone down by about that many whole seconds (one fewer for a late timer), at least one.
    fewest=$(((t_c - t_b) / 1000 - 1))
    ((fewest >= 1)) || fewest=1
    most=$(((t_d - t_a + 999) / 1000))
    echo "  seconds shown: ${first:-?}, then ${second:-?} between $((t_c - t_b)) and" \
        "$((t_d - t_a)) ms later"
    e2e_check "the seconds start near 60 (${first:-none})" \
        test $((${first:-0} >= 55 && ${first:-0} <= 60)) -eq 1
    e2e_check "the seconds count down with the clock (${first:-?} -> ${second:-?}, by ${fewest}..${most})" \
        test $((${second:-99} >= ${first:-0} - most && ${second:-99} <= ${first:-0} - fewest)) -eq 1

    e2e_check "the demo screen saver is still running" \
        test -z "$(tr -d '\r' <"${LOGS}/demo-b.log" | grep '^end ' || true)"
    e2e_check "its window is still there" \
        e2e_window_exists "Somnivex Demo Saver"
    sleep 0.5
    e2e_shot countdown || true

    foreground=$(e2e_ui foreground || true)
    echo "  foreground window: ${foreground}"
    e2e_check "the countdown is the foreground window" test "${foreground}" = "Somnivex|SomnivexForm"

    # Seen above the full-screen screen saver: most of its area in the screenshot is
    # light (the window's face); nothing of the screen saver but its thin text is. Counting
    # light pixels rather than averaging keeps the text, in whatever font, out of it.
    rect=$(sed -n 's/.*rect=\([-0-9,]*\).*/\1/p' <<<"${found}")
    IFS=, read -r l t r b <<<"${rect}"
    if [[ -f "${SOMNIVEX_SHOTS}/countdown.png" ]]; then
        light=$(convert "${SOMNIVEX_SHOTS}/countdown.png" -crop "$((r - l))x$((b - t))+${l}+${t}" \
            -colorspace Gray -threshold 75% -format '%[fx:int(100*mean)]' info: 2>/dev/null || echo 0)
        echo "  light pixels in the countdown's area: ${light} % (the screen saver: almost none)"
        e2e_check "the countdown is drawn above the screen saver" test "${light}" -gt 50
    fi

    t_click=$(e2e_now_ms)
    e2e_check "Cancel Shut Down can be pressed" \
        e2e_ui click --class SomnivexForm --title Somnivex --text "Cancel Shut Down"
    if e2e_wait_end run_b 15; then
        echo "  Somnivex.scr ended $(($(e2e_end_ms run_b) - t_click)) ms after the click"
        e2e_ok "Cancel ends Somnivex.scr"
    else
        e2e_fail "Somnivex.scr still runs 15 s after Cancel"
    fi
    sleep 3
    e2e_check "no end-of-session query reached the witness" e2e_no_session_end
    e2e_check "the chosen screen saver is left running" \
        e2e_window_exists "Somnivex Demo Saver"
else
    e2e_fail "no countdown window within 85 s"
    e2e_ui list || true
fi
e2e_ui close --title "Somnivex Demo Saver" >/dev/null || true
e2e_wait_line "${LOGS}/demo-b.log" '^end ' 10 || true
e2e_wait_end run_b 10 || e2e_fail "Somnivex.scr still runs after its screen saver was closed"
e2e_show_file "demo saver log (B)" "${LOGS}/demo-b.log"
e2e_show_file "witness log" "${LOGS}/witness.log"

# ---------------------------------------------------------------------------- C
e2e_log "C. a screen saver in 'C:\\Program Files\\Bildschirmschoner Ü 日本'"
UNICODE_DIR='C:\Program Files\Bildschirmschoner Ü 日本'
e2e_demo_saver "${UNICODE_DIR}" 'run_ms=3000' 'log=C:\e2e\demo-c.log'
e2e_reg_set SelectedScreenSaver REG_SZ "${UNICODE_DIR}"'\DemoSaver.scr'
t0=$(e2e_now_ms)
e2e_start run_c "${E2E_SCR}" /s
if e2e_wait_line "${LOGS}/demo-c.log" '^end [0-9]+ timeout' 40; then
    e2e_ok "the screen saver at the path with blanks and non-Latin letters ran"
    e2e_check "it was started with its quoted path and /s" \
        e2e_has_line "${LOGS}/demo-c.log" '^cmdline "C:\\Program Files\\Bildschirmschoner Ü 日本\\DemoSaver\.scr" +/s$'
    if e2e_wait_end run_c 15; then
        echo "  Somnivex.scr exited $(($(e2e_end_ms run_c) - $(tr -d '\r' <"${LOGS}/demo-c.log" |
            awk '$1 == "end" { print $4 }' | tail -n 1))) ms after the screen saver's end"
        e2e_ok "its end ends the run"
    else
        e2e_fail "Somnivex.scr still runs 15 s after the screen saver ended"
    fi
else
    e2e_fail "the screen saver at '${UNICODE_DIR}' did not run within 40 s"
    e2e_ui list || true
fi
e2e_show_file "demo saver log (C)" "${LOGS}/demo-c.log"

e2e_ui close --title "Somnivex Witness" >/dev/null || true
echo "  total $(($(e2e_now_ms) - started)) ms"
e2e_finish
