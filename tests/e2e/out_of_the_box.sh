#!/usr/bin/env bash
# A fresh install nobody has set up yet: Somnivex.scr and its AppPath as Setup leaves them,
# no SelectedScreenSaver, and Windows' Blank screen saver in the system folder (the demo
# screen saver as scrnsave.scr, since Wine has none). "/s" runs it, stores it as the
# choice and does not open the manager (a stand-in at AppPath); the trail reads 1000 with
# its path, then 1020 when it ends.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup out_of_the_box
e2e_run_prefix fresh
BLANK='C:\windows\system32\scrnsave.scr'
MANAGER_LOG="$(e2e_unix_path "${E2E_SCR_DIR}")/Somniconf.exe.log"
e2e_install_fixture DemoSaver.scr 'C:\windows\system32' scrnsave.scr
printf '%s\r\n' 'run_ms=6000' 'log=C:\e2e\blank.log' >"$(e2e_unix_path "${BLANK}").ini"
e2e_install_fixture Witness.exe "${E2E_SCR_DIR}" Somniconf.exe

e2e_start_traced run "${E2E_SCR}" /s
if e2e_wait_line "${LOGS}/blank.log" '^start ' 40; then
    e2e_check "the Blank screen saver was started with its quoted path and /s" \
        e2e_has_line "${LOGS}/blank.log" '^cmdline "C:\\windows\\system32\\scrnsave\.scr" +/s$'
else
    e2e_fail "the Blank screen saver did not start within 40 s"
fi
e2e_check "Somnivex.scr ends with it" e2e_wait_end run 30
if [[ "$(e2e_event_ids run)" == "1000 1020" ]] &&
    e2e_event run 1000 | grep -qF "$(e2e_wine_quoted "${BLANK}")"; then
    e2e_ok "the trail reads 1000 with its path, then 1020"
else
    e2e_fail "the trail reads '$(e2e_event_ids run)', not 1000 with its path, then 1020"
fi
e2e_check "the manager was not opened" test ! -e "${MANAGER_LOG}"
e2e_check "SelectedScreenSaver is '${BLANK}' now" \
    test "$(e2e_reg_get SelectedScreenSaver || true)" = "${BLANK}"
e2e_finish
