#!/usr/bin/env bash
# The preview in Windows' Screen Saver Settings, with a window of the test's own (the
# witness) in place of the dialog's little monitor:
#
#   1. "/p <window>" with the demo saver chosen: it starts with "/p" and a child window
#      of ours, and its window lies inside the stand-in (Wine draws no child
#      window of another process, so preview.png shows the stand-in empty). Killing
#      Somnivex.scr, as Windows ends it, ends the demo saver (which would outlive its
#      window) within a second, with a margin for a loaded machine; the time is printed.
#      The settings key is the same before and after (reg export).
#   2. A run ("/a") starts while a preview shows: the preview holds no mutex. Closing the
#      stand-in ends Somnivex.scr, and the demo saver with it.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup preview
e2e_prefix start
e2e_install_somnivex
LOGS="$(e2e_unix_path "${E2E_TOOLS_DIR}")"
DEMO_LOG="${LOGS}/demo.log"
e2e_demo_saver "${E2E_SAVERS_DIR}" 'ignore_input=1' 'outlive_window=1' \
    "log=${E2E_TOOLS_DIR}\\demo.log"
e2e_reg_set AppPath REG_SZ "${E2E_SCR_DIR}"
e2e_reg_set SelectedScreenSaver REG_SZ "${E2E_SAVERS_DIR}\\DemoSaver.scr"
e2e_start_witness
read -r MONITOR RECT < <(e2e_ui wait-window --title "Somnivex Witness" |
    sed -n 's/^hwnd=0x\([0-9a-fA-F]*\) rect=\([-0-9,]*\).*/\1 \2/p')
MONITOR=$((16#${MONITOR:-0}))
IFS=, read -r left top right bottom <<<"${RECT}"

# preview TAG: starts "/p <stand-in>" and waits for the demo saver's preview; sets
# SAVER_PID (its host process).
preview() {
    rm -f "${DEMO_LOG}"
    e2e_start "$1" "${E2E_SCR}" /p "${MONITOR}"
    e2e_wait_line "${DEMO_LOG}" '^start ' 30 || e2e_fail "no preview of the demo saver in 30 s"
    SAVER_PID=$(python3 "${SOMNIVEX_ROOT}/bench/bench_tools.py" pid "${WINEPREFIX}" \
        DemoSaver.scr 10 || true)
}
saver_gone() { [[ -n "${SAVER_PID}" && ! -d "/proc/${SAVER_PID}" ]]; }
export_key() {
    wine reg export 'HKLM\Software\Brellcor' "C:\\e2e\\$1.reg" /reg:32 /y \
        </dev/null >"${E2E_WORK}/export.out" 2>&1 || true
}

# ---------------------------------------------------------------------------- 1.
e2e_log "1. the demo saver's preview inside the stand-in, and Somnivex.scr killed"
export_key before
preview preview
e2e_show_file "demo saver log" "${DEMO_LOG}"
read -r pane parent rect root < <(tr -d '\r' <"${DEMO_LOG}" |
    awk '$1 == "preview" { p = $2 " " $4 } $1 == "window" { print p, $2, $4; exit }')
e2e_check "it was started as \"...DemoSaver.scr\" /p ${pane}" \
    e2e_has_line "${DEMO_LOG}" "^cmdline \"C:.Program Files.Savers.DemoSaver.scr\" /p ${pane}\$"
e2e_check "in a window of ours inside the stand-in (${pane} in ${parent}, root ${root})" \
    test "${parent}" = "${MONITOR}" -a "${root}" = "${MONITOR}" -a "${pane}" != "${MONITOR}"
IFS=, read -r x y w h <<<"${rect}"
e2e_check "within its bounds (${rect} in ${RECT})" test "${x}" -ge "${left}" -a "${y}" -ge "${top}" \
    -a $((x + w)) -le "${right}" -a $((y + h)) -le "${bottom}" -a "${w}" -gt 0 -a "${h}" -gt 0
e2e_shot preview || true
export_key after
scr_pid=$(python3 "${SOMNIVEX_ROOT}/bench/bench_tools.py" pid "${WINEPREFIX}" Somnivex.scr 10 ||
    true)
kill -KILL "${scr_pid:-0}" || e2e_fail "no host process of Somnivex.scr"
t_kill=$(e2e_now_ms)
until saver_gone || (($(e2e_now_ms) - t_kill > 8000)); do sleep 0.02; done
echo "  the demo saver was gone $(($(e2e_now_ms) - t_kill)) ms after Somnivex.scr was killed"
e2e_check "killing Somnivex.scr ends the demo saver" saver_gone
e2e_check "the settings key is as it was" cmp "${LOGS}/before.reg" "${LOGS}/after.reg"

# ---------------------------------------------------------------------------- 2.
e2e_log "2. a run beside a preview; the stand-in closes"
preview preview2
e2e_start run "${E2E_SCR}" /a 1234
e2e_check "a run shows its start-up display while the preview shows" \
    e2e_ui wait-window --class SomnivexForm --timeout 30000
e2e_wait_end run 30 || e2e_fail "the run did not end"
e2e_ui close --title "Somnivex Witness" >/dev/null || true
t_close=$(e2e_now_ms)
if e2e_wait_end preview2 10; then
    e2e_ok "Somnivex.scr ended $(($(e2e_end_ms preview2) - t_close)) ms after its window closed"
else
    e2e_fail "Somnivex.scr still runs 10 s after its window closed"
fi
for ((i = 0; i < 100; i++)); do if saver_gone; then break; fi; sleep 0.1; done
e2e_check "the demo saver ended with it" saver_gone

e2e_finish
