#!/usr/bin/env bash
# A fresh install that nobody has set up yet, in one fresh prefix: Somnivex.scr and its
# AppPath as Setup leaves them, no SelectedScreenSaver stored, and Windows' Blank screen
# saver in the system folder (the demo screen saver copied there as scrnsave.scr, since
# Wine has none):
#
#   A. "/s" runs C:\windows\system32\scrnsave.scr with " /s" and stores that path as the
#      choice; the manager (a stand-in at AppPath) is not opened. The trail reads 1000
#      with that path, then 1020 when the screen saver ends.
#   B. With the choice emptied on purpose, "/s" opens the manager instead and leaves the
#      Blank screen saver alone.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup out_of_the_box
started=$(e2e_now_ms)
e2e_run_prefix fresh
BLANK='C:\windows\system32\scrnsave.scr'
BLANK_DIR="$(e2e_unix_path 'C:\windows\system32')"
MANAGER_LOG="$(e2e_unix_path "${E2E_SCR_DIR}")/Somniconf.exe.log"
e2e_install_fixture DemoSaver.scr 'C:\windows\system32' scrnsave.scr
printf '%s\r\n' 'run_ms=6000' 'log=C:\e2e\blank.log' >"${BLANK_DIR}/scrnsave.scr.ini"
e2e_install_fixture Witness.exe "${E2E_SCR_DIR}" Somniconf.exe

if e2e_reg_get SelectedScreenSaver >/dev/null; then
    e2e_fail "a fresh install already has a SelectedScreenSaver"
fi

# ---------------------------------------------------------------------------- A
e2e_log "A. /s with no screen saver ever chosen"
e2e_start_traced run_a "${E2E_SCR}" /s
if e2e_wait_line "${LOGS}/blank.log" '^start ' 40; then
    e2e_ok "the Blank screen saver started"
    e2e_check "it was started with its quoted path and /s" \
        e2e_has_line "${LOGS}/blank.log" '^cmdline "C:\\windows\\system32\\scrnsave\.scr" +/s$'
else
    e2e_fail "the Blank screen saver did not start within 40 s"
    e2e_ui list || true
fi
if e2e_wait_end run_a 30; then
    ids=$(e2e_event_ids run_a)
    echo "  events: ${ids}"
    e2e_check "the trail reads 1000 1020 (found '${ids}')" test "${ids}" = "1000 1020"
    e2e_check "1000 names the Blank screen saver" \
        grep -qF "$(e2e_wine_quoted "${BLANK}")" <<<"$(e2e_event run_a 1000 || true)"
else
    e2e_fail "Somnivex.scr still runs 30 s after the Blank screen saver's start"
fi
e2e_check "the manager was not opened" test ! -e "${MANAGER_LOG}"
if value=$(e2e_reg_get SelectedScreenSaver); then
    e2e_check "SelectedScreenSaver = '${BLANK}' (found '${value}')" test "${value}" = "${BLANK}"
else
    e2e_fail "SelectedScreenSaver is missing after the run"
fi
e2e_show_file "Blank screen saver log (A)" "${LOGS}/blank.log"

# ---------------------------------------------------------------------------- B
e2e_log "B. /s with the choice emptied on purpose"
e2e_reg_set SelectedScreenSaver REG_SZ ""
rm -f "${LOGS}/blank.log"
e2e_start_traced run_b "${E2E_SCR}" /s
if e2e_wait_line "${MANAGER_LOG}" '^ready$' 30; then
    e2e_ok "the manager's stand-in was opened"
else
    e2e_fail "the manager's stand-in did not start within 30 s"
fi
if e2e_wait_end run_b 20; then
    e2e_check "the trail reads 1002 (found '$(e2e_event_ids run_b)')" \
        test "$(e2e_event_ids run_b)" = "1002"
else
    e2e_fail "Somnivex.scr still runs 20 s after its start"
fi
e2e_check "the Blank screen saver was left alone" test ! -e "${LOGS}/blank.log"
e2e_check "SelectedScreenSaver stays empty" test "$(e2e_reg_get SelectedScreenSaver)" = ""
e2e_ui close --title "Somnivex Witness" >/dev/null || true

echo "  total $(($(e2e_now_ms) - started)) ms"
e2e_finish
