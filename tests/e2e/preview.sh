#!/usr/bin/env bash
# The preview in Windows' Screen Saver Settings, with a window of the test's own (the
# witness, "Preview stand-in") in place of the dialog's little monitor:
#
#   1. "/p <window>" with the demo screen saver chosen: it starts with "/p" and a child
#      window of ours inside the stand-in, and its window fills the stand-in's client
#      area (screenshot preview_saver.png; Wine shows no child window of another
#      process, so the pixels cannot tell). Ending Somnivex.scr from outside (as Windows does) ends the demo
#      saver too; the time it takes is reported. The settings key is the same before
#      and after (reg export).
#   2. A run ("/a") still starts while a preview shows: the preview holds no mutex.
#      The stand-in window closes: Somnivex.scr ends, and the demo saver with it.
#   3. Nothing chosen: nothing is started, and the preview (our own picture) stays
#      until the stand-in closes.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup preview
e2e_prefix start
e2e_install_somnivex
LOGS="$(e2e_unix_path "${E2E_TOOLS_DIR}")"
TOOLS="${SOMNIVEX_ROOT}/bench/bench_tools.py"
DEMO_LOG="${LOGS}/demo.log"
# It runs on when its window goes, so only the tie to Somnivex.scr's process can end it.
e2e_demo_saver "${E2E_SAVERS_DIR}" 'ignore_input=1' 'outlive_window=1' \
    "log=${E2E_TOOLS_DIR}\\demo.log"
e2e_reg_set AppPath REG_SZ "${E2E_SCR_DIR}"
e2e_reg_set SelectedScreenSaver REG_SZ "${E2E_SAVERS_DIR}\\DemoSaver.scr"
e2e_install_fixture Witness.exe "${E2E_TOOLS_DIR}"

# start_monitor TAG: the stand-in window; sets MONITOR (its handle) and CLIENT (x y w h).
start_monitor() {
    rm -f "${LOGS}/$1.log"
    e2e_start "$1" 'C:\e2e\Witness.exe' "C:\\e2e\\$1.log" --title "Preview stand-in" \
        --rect 200,150,320,260
    e2e_wait_line "${LOGS}/$1.log" '^ready$' 30 || e2e_fail "the stand-in window did not open"
    read -r MONITOR CLIENT < <(tr -d '\r' <"${LOGS}/$1.log" |
        sed -n 's/^window \([0-9]*\) client \([-0-9,]*\)$/\1 \2/p')
    CLIENT="${CLIENT//,/ }"
}

# linux_pid NAME: the host process of a Windows program of this prefix, or "".
linux_pid() {
    python3 "${TOOLS}" pid "${WINEPREFIX}" "$1" "${2:-10}" || true
}

export_key() {
    wine reg export 'HKLM\Software\Brellcor' "C:\\e2e\\$1.reg" /reg:32 /y \
        </dev/null >"${E2E_WORK}/export.out" 2>&1 || true
}

# ---------------------------------------------------------------------------- 1.
e2e_log "1. the demo saver's preview inside the stand-in"
export_key before
start_monitor monitor
rm -f "${DEMO_LOG}"
t0=$(e2e_now_ms)
e2e_start preview "${E2E_SCR}" /p "${MONITOR}"
if e2e_wait_line "${DEMO_LOG}" '^start ' 30; then
    started=$(tr -d '\r' <"${DEMO_LOG}" | awk '$1 == "start" { print $3; exit }')
    echo "  the demo saver's preview started $((started - t0)) ms after Somnivex.scr /p"
    e2e_show_file "demo saver log" "${DEMO_LOG}"
    read -r pane parent owner self < <(tr -d '\r' <"${DEMO_LOG}" |
        awk '$1 == "preview" { print $2, $4, $6, $8; exit }')
    e2e_check "the demo saver was started with /p and a window of ours" \
        e2e_has_line "${DEMO_LOG}" "^cmdline \"C:.Program Files.Savers.DemoSaver.scr\" /p ${pane}\$"
    e2e_check "that window lies in the stand-in (${pane} in ${parent} = ${MONITOR})" \
        test "${parent}" = "${MONITOR}" -a "${pane}" != "${MONITOR}"
    e2e_check "that window is not the demo saver's own (owner ${owner}, saver ${self})" \
        test "${owner}" != "${self}"
    # Wine draws no child window of one process inside another process's window (its
    # window surfaces are the top-level window's process's own), so the screenshot shows
    # the stand-in empty; where the demo saver draws is read from its own window.
    read -r rect root < <(tr -d '\r' <"${DEMO_LOG}" | awk '$1 == "window" { print $2, $4; exit }')
    e2e_check "the demo saver's window fills the stand-in's client area (${rect} = ${CLIENT// /,})" \
        test "${rect}" = "${CLIENT// /,}"
    e2e_check "and lies inside it (its top-level window ${root})" test "${root}" = "${MONITOR}"
    e2e_shot preview_saver || true
else
    e2e_fail "the demo saver's preview did not start within 30 s"
    e2e_show_file "Somnivex.scr output" "${E2E_WORK}/preview.out"
fi

export_key after
scr_pid=$(linux_pid Somnivex.scr)
saver_pid=$(linux_pid DemoSaver.scr)
if [[ -n "${scr_pid}" && -n "${saver_pid}" ]]; then
    kill -KILL "${scr_pid}"
    t_kill=$(e2e_now_ms)
    # A second is the aim; a loaded machine gets more before it counts as a failure.
    while kill -0 "${saver_pid}" 2>/dev/null && (($(e2e_now_ms) - t_kill < 8000)); do
        sleep 0.02
    done
    took=$(($(e2e_now_ms) - t_kill))
    echo "  the demo saver ended ${took} ms after Somnivex.scr was killed"
    e2e_check "ending Somnivex.scr from outside ends the demo saver (${took} ms)" \
        test ! -d "/proc/${saver_pid}"
    e2e_show_file "demo saver log" "${DEMO_LOG}"
else
    e2e_fail "no host process for Somnivex.scr ('${scr_pid}') or the demo saver ('${saver_pid}')"
fi
e2e_wait_end preview 10 || e2e_fail "Somnivex.scr still runs after it was killed"
if cmp -s "${LOGS}/before.reg" "${LOGS}/after.reg" && [[ -s "${LOGS}/before.reg" ]]; then
    e2e_ok "the preview left the settings key as it was"
else
    e2e_fail "the settings key changed, or could not be exported"
    diff <(iconv -f UTF-16 -t UTF-8 "${LOGS}/before.reg") \
        <(iconv -f UTF-16 -t UTF-8 "${LOGS}/after.reg") | sed 's/^/    /' || true
fi

# ---------------------------------------------------------------------------- 2.
e2e_log "2. a run beside a preview; the stand-in window closes"
rm -f "${DEMO_LOG}"
e2e_start preview2 "${E2E_SCR}" /p "${MONITOR}"
if e2e_wait_line "${DEMO_LOG}" '^start ' 30; then
    saver_pid=$(linux_pid DemoSaver.scr)
    # A run starts while the preview shows: the preview holds no mutex.
    e2e_start run "${E2E_SCR}" /a 1234
    if e2e_ui wait-window --class SomnivexForm --timeout 30000 >/dev/null; then
        e2e_ok "a run shows its start-up display while the preview shows"
    else
        e2e_fail "no run started while the preview showed"
    fi
    e2e_wait_end run 30 || e2e_fail "the run did not end"
    e2e_ui close --title "Preview stand-in" >/dev/null || true
    t_close=$(e2e_now_ms)
    if e2e_wait_end preview2 10; then
        e2e_ok "Somnivex.scr ended $(($(e2e_end_ms preview2) - t_close)) ms after the window closed"
    else
        e2e_fail "Somnivex.scr still runs 10 s after its window closed"
    fi
    for ((i = 0; i < 100; i++)); do
        [[ -n "${saver_pid}" && -d "/proc/${saver_pid}" ]] || break
        sleep 0.1
    done
    e2e_check "the demo saver ended with it" test -z "${saver_pid}" -o ! -d "/proc/${saver_pid}"
else
    e2e_fail "the demo saver's preview did not start within 30 s"
fi
e2e_wait_end monitor 10 || true

# ---------------------------------------------------------------------------- 3.
e2e_log "3. nothing chosen: our own picture"
e2e_reg_set SelectedScreenSaver REG_SZ ""
start_monitor monitor3
rm -f "${DEMO_LOG}"
e2e_start preview3 "${E2E_SCR}" /p "${MONITOR}"
sleep 3
e2e_shot preview_picture || true
e2e_check "the preview stays while its window does" bash -c "! test -e '${E2E_WORK}/preview3.exit'"
e2e_ui close --title "Preview stand-in" >/dev/null || true
e2e_wait_end preview3 10 || e2e_fail "Somnivex.scr still runs 10 s after its window closed"
e2e_check "nothing was started" test ! -e "${DEMO_LOG}"

e2e_finish
