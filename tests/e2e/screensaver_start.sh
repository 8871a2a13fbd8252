#!/usr/bin/env bash
# Start-up of Somnivex.scr under Wine, driven from outside, in one fresh prefix:
#
#   1. "/p 1234" ends at once and writes nothing (no HKLM\Software\Brellcor key).
#   2. "/a 1234" shows the splash, centred, with both labels, for about 3 seconds,
#      then ends; the nine settings it found missing are stored with their defaults
#      next to the AppPath written before. A second start ("/c") while the splash
#      shows ends at once and starts nothing. Screenshot: splash.png.
#   3. "/c:4711" starts the manager found at AppPath (a stand-in) with its quoted path,
#      does not wait for it, and ends after the start-up display.
#   4. "/S" with no screen saver chosen and AppPath empty shows the "Please run
#      Somnivex Manager first" message box titled "SCRNSAVE:Somnivex"; OK ends the run.
#      Screenshot: run_manager_first.png.
#   5. "/c" with AppPath holding the manager but no pictures, WaitMinutes 1: the
#      "Couldn't load graphic" message is left open past the minute; after OK the
#      countdown opens, as the wait ran out inside the message.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup screensaver_start
started=$(e2e_now_ms)
e2e_prefix start
e2e_install_somnivex
MANAGER_LOG="$(e2e_unix_path "${E2E_SCR_DIR}")/Somniconf.exe.log"

# ---------------------------------------------------------------------------- 1. /p
e2e_log "1. /p 1234"
if e2e_reg_key_exists 'HKLM\Software\Brellcor'; then
    e2e_fail "a fresh prefix already has HKLM\\Software\\Brellcor"
fi
# A watcher, looking before the start, sees any start-up display: a loaded machine can
# make a Wine start alone last longer than that display, so the time cannot tell.
e2e_watch pwatch --class SomnivexForm --timeout 6000
t0=$(e2e_now_ms)
e2e_start preview "${E2E_SCR}" /p 1234
if e2e_wait_end preview 20; then
    took=$(($(e2e_end_ms preview) - t0))
    echo "  /p 1234 ran ${took} ms"
    e2e_check "/p 1234 ends within 10 s (${took} ms)" test "${took}" -lt 10000
else
    e2e_fail "/p 1234 still runs after 20 s"
fi
e2e_wait_end pwatch 30 || true
if tr -d '\r' <"${E2E_WORK}/pwatch.out" | grep -q '^hwnd='; then
    e2e_fail "/p 1234 showed a window"
else
    e2e_ok "/p 1234 showed no window"
fi
if e2e_reg_key_exists 'HKLM\Software\Brellcor'; then
    e2e_fail "/p 1234 created HKLM\\Software\\Brellcor"
    e2e_reg_dump 'HKLM\Software\Brellcor'
else
    e2e_ok "/p 1234 created no HKLM\\Software\\Brellcor key"
fi

# ---------------------------------------------------------------------------- 2. /a
e2e_log "2. /a 1234 with AppPath set; a second copy meanwhile"
e2e_reg_set AppPath REG_SZ "${E2E_SCR_DIR}"
# The manager's stand-in is in place, so a second copy that wrongly went on with "/c"
# would be seen starting it.
e2e_install_fixture Witness.exe "${E2E_SCR_DIR}" Somniconf.exe
rm -f "${MANAGER_LOG}"

e2e_watch splash_watch --class SomnivexForm --title "" --timeout 20000 ||
    e2e_fail "the window watcher did not start"
t0=$(e2e_now_ms)
e2e_start splash "${E2E_SCR}" /a 1234
if found=$(e2e_watch_seen splash_watch 25); then
    echo "  splash on screen $(($(e2e_watch_seen_ms splash_watch) - t0)) ms after the start: ${found}"

    # A second copy while the first shows its splash.
    t1=$(e2e_now_ms)
    e2e_start second "${E2E_SCR}" /c
    if e2e_wait_end second 20; then
        took=$(($(e2e_end_ms second) - t1))
        first_running=1
        e2e_ended splash && first_running=0
        echo "  second copy ran ${took} ms (first still running: ${first_running})"
        e2e_check "a second copy ends at once (${took} ms < 1500 ms)" test "${took}" -lt 1500
        e2e_check "the first copy was still running when the second ended" \
            test "${first_running}" -eq 1
    else
        e2e_fail "a second copy still runs after 20 s"
    fi

    # Read as the splash appeared; the screenshot comes after and may miss it on a slow
    # machine.
    texts=$(e2e_watch_texts splash_watch)
    sed 's/^/    /' <<<"${texts}"
    e2e_shot splash || true
    e2e_check "the splash shows the maker's product list" \
        grep -qF 'Static|' <<<"${texts}"
    e2e_check "the splash shows 'Makers of Brellcor Pemrose Plus, Grindle, Kelvane, and Rimvale'" \
        grep -qF '|Makers of Brellcor Pemrose Plus, Grindle, Kelvane, and Rimvale' <<<"${texts}"
    e2e_check "the splash shows a rights notice naming Brellcor" \
        grep -qE '^Static\|[0-9]+\|1\|.*(©|rights).*Brellcor|^Static\|[0-9]+\|1\|.*Brellcor.*rights' \
        <<<"${texts}"

    # Centred on the 1280x1024 screen.
    rect=$(sed -n 's/.*rect=\([-0-9,]*\).*/\1/p' <<<"${found}")
    IFS=, read -r l t r b <<<"${rect}"
    cx=$(((l + r) / 2))
    cy=$(((t + b) / 2))
    echo "  splash rect ${l},${t}-${r},${b} ($((r - l))x$((b - t))), centre ${cx},${cy}"
    e2e_check "the splash is centred on the screen" \
        test $((cx > 635 && cx < 645 && cy > 507 && cy < 517)) -eq 1

    if shown=$(e2e_watch_shown splash_watch 20); then
        echo "  splash shown for ${shown} ms"
        e2e_check "the splash stays about 3 s (${shown} ms in 1800..4500)" \
            test $((shown >= 1800 && shown <= 4500)) -eq 1
    else
        e2e_fail "the splash is still shown 20 s after it appeared"
    fi
else
    e2e_fail "no splash window within 25 s of /a 1234"
    e2e_ui list || true
fi
if e2e_wait_end splash 15; then
    e2e_ok "/a 1234 ends by itself ($(($(e2e_end_ms splash) - t0)) ms after its start)"
else
    e2e_fail "/a 1234 still runs 15 s after its splash"
    e2e_ui list || true
fi
e2e_check "the second copy started no manager" test ! -e "${MANAGER_LOG}"

declare -A expected=(
    [RunKelvane]=0x0 [ConfirmShutdown]=0x0 [DefaultConfirmYes]=0xffffffff [LogDebug]=0x0
    [ShutdownType]=0x1 [WaitMinutes]=0x1e [LogDir]="" [AppPath]="${E2E_SCR_DIR}"
    [KelvanePath]="" [SelectedScreenSaver]=""
)
for name in RunKelvane ConfirmShutdown DefaultConfirmYes LogDebug ShutdownType WaitMinutes \
    LogDir AppPath KelvanePath SelectedScreenSaver; do
    if value=$(e2e_reg_get "${name}"); then
        e2e_check "${name} = '${expected[${name}]}' (found '${value}')" \
            test "${value}" = "${expected[${name}]}"
    else
        e2e_fail "${name} is missing after /a 1234"
    fi
done

# ---------------------------------------------------------------------------- 3. /c:4711
e2e_log "3. /c:4711 starts the manager at AppPath without waiting"
rm -f "${MANAGER_LOG}"
t0=$(e2e_now_ms)
e2e_start configure "${E2E_SCR}" /c:4711
if e2e_wait_line "${MANAGER_LOG}" '^ready$' 30; then
    e2e_ok "the manager's stand-in started ($(($(e2e_now_ms) - t0)) ms after /c:4711)"
    e2e_check "it was started with its quoted path" \
        e2e_has_line "${MANAGER_LOG}" '^cmdline "C:\\Program Files\\Somnivex\\Somniconf\.exe" *$'
else
    e2e_fail "the manager's stand-in did not start within 30 s"
fi
if e2e_wait_end configure 20; then
    took=$(($(e2e_end_ms configure) - t0))
    echo "  /c:4711 ran ${took} ms"
    e2e_check "/c:4711 ends after the start-up display (${took} ms in 2000..10000)" \
        test $((took >= 2000 && took <= 10000)) -eq 1
    if e2e_window_exists "Somnivex Witness" &&
        ! e2e_has_line "${MANAGER_LOG}" '^closed$'; then
        e2e_ok "the manager still runs after Somnivex.scr ended (not waited for)"
    else
        e2e_fail "the manager did not outlive Somnivex.scr"
    fi
else
    e2e_fail "/c:4711 still runs after 20 s (waiting for the manager?)"
fi
e2e_ui close --title "Somnivex Witness" >/dev/null || true
e2e_wait_line "${MANAGER_LOG}" '^closed$' 10 || true
e2e_show_file "manager stand-in log" "${MANAGER_LOG}"

# ---------------------------------------------------------------------------- 4. no choice
e2e_log "4. /S with nothing chosen and AppPath empty"
e2e_reg_set AppPath REG_SZ ""
e2e_reg_set SelectedScreenSaver REG_SZ ""
rm -f "${MANAGER_LOG}"
t0=$(e2e_now_ms)
e2e_start nochoice "${E2E_SCR}" /S
if found=$(e2e_ui wait-window --title "SCRNSAVE:Somnivex" --timeout 25000); then
    echo "  message box $(($(e2e_now_ms) - t0)) ms after the start: ${found}"
    sleep 0.3
    e2e_shot run_manager_first || true
    texts=$(e2e_ui texts --title "SCRNSAVE:Somnivex" || true)
    sed 's/^/    /' <<<"${texts}"
    e2e_check "it says 'Please run Somnivex Manager first (found on the 'Start' menu under 'Programs')'" \
        grep -qF "|Please run Somnivex Manager first (found on the 'Start' menu under 'Programs')" \
        <<<"${texts}"
    e2e_check "the splash is no longer shown under the message" \
        test -z "$(e2e_ui list | grep -F '|SomnivexForm|1|' || true)"
    e2e_check "OK can be pressed" e2e_ui click --title "SCRNSAVE:Somnivex" --text OK
    if e2e_wait_end nochoice 15; then
        e2e_ok "Somnivex.scr ends after OK"
    else
        e2e_fail "Somnivex.scr still runs 15 s after OK"
    fi
else
    e2e_fail "no 'SCRNSAVE:Somnivex' message box within 25 s"
    e2e_ui list || true
fi
e2e_check "no manager was started" test ! -e "${MANAGER_LOG}"

# ---------------------------------------------------------------------------- 5. late OK
e2e_log "5. /c without pictures: the wait runs out inside the message"
e2e_install_fixture Witness.exe 'C:\Program Files\NoPictures' Somniconf.exe
e2e_reg_set AppPath REG_SZ 'C:\Program Files\NoPictures'
e2e_reg_set WaitMinutes REG_DWORD 1
e2e_start late "${E2E_SCR}" /c
if e2e_ui wait-window --title "SCRNSAVE:Somnivex" --timeout 25000 >/dev/null; then
    # The splash loaded before the message appeared: a minute from here the wait is over.
    sleep 63
    e2e_check "OK closes the message 63 s after it appeared" \
        e2e_ui click --title "SCRNSAVE:Somnivex" --text OK
    if e2e_wait_countdown 20; then
        e2e_ok "the countdown opened after OK, as the wait ran out inside the message"
        e2e_check "Cancel Shut Down can be pressed" \
            e2e_ui click --class SomnivexForm --title Somnivex --text "Cancel Shut Down"
    else
        e2e_fail "no countdown within 20 s of OK"
    fi
    e2e_check "Somnivex.scr ends" e2e_wait_end late 20
else
    e2e_fail "no 'SCRNSAVE:Somnivex' message box within 25 s"
fi
e2e_ui close --title "Somnivex Witness" >/dev/null || true

echo "  total $(($(e2e_now_ms) - started)) ms"
e2e_finish
