#!/usr/bin/env bash
# Settings fixed by policy, written with reg.exe as an administrator's tools write them,
# read through the library the programs use (options_probe):
#
#   1. Values added with "reg add ... /reg:64" and "/reg:32" under
#      HKLM\Software\Policies\Brellcor\Somnivex are both read (the key is one in both
#      views) and win over the stored settings; a value of the wrong type is refused and
#      the stored one counts. The stored settings and the policy key stay as they were.
#   2. Saving keeps the stored value of every managed setting and writes the others.
#   3. Without the policy key the stored settings count again.
#   4. A real run of "Somnivex.scr /s" with a policy WaitMinutes of 1 over a stored 30:
#      the countdown opens about a minute after the start-up display, not after 30.
#   5. The settings window: without a policy every control is enabled and the line
#      "Some settings are managed by your organisation." is not shown (screenshot
#      policy-manager-free.png). With policies for the minutes, the shutdown type, the
#      confirmation and a screen saver outside the listed folders, those controls show
#      the policy's values and are disabled, the line is shown, the others stay enabled
#      (screenshots policy-manager-main.png, policy-manager-confirmation.png). After OK
#      the stored values of the managed settings are untouched and the others are saved.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup policy

POLICY_KEY='HKLM\Software\Policies\Brellcor\Somnivex'
PROBE="${E2E_TOOLS_DIR}"'\options_probe.exe'
TITLE="Somnivex - Settings"
MANAGER="${E2E_SCR_DIR}"'\Somniconf.exe'
MANAGED_LINE="Some settings are managed by your organisation."

e2e_prefix policy
cp "${SOMNIVEX_FIXTURES}/options_probe.exe" "$(e2e_unix_path "${E2E_TOOLS_DIR}")/"
e2e_install_somnivex
cp "${SOMNIVEX_PROGRAMS}/Somniconf.exe" "$(e2e_unix_path "${E2E_SCR_DIR}")/"
LOGS="$(e2e_unix_path "${E2E_TOOLS_DIR}")"

# policy_set NAME TYPE DATA VIEW: a policy value, written in the view /reg:32 or /reg:64.
policy_set() {
    wine reg add "${POLICY_KEY}" /v "$1" /t "$2" /d "$3" /f "$4" \
        </dev/null >"${E2E_WORK}/reg.out" 2>&1
}

# probe [ARGS...]: what the library reads (or "saved=N"), "Name=value" a line.
probe() {
    local out="${E2E_WORK}/probe.out"
    wine "${PROBE}" "$@" </dev/null >"${out}" 2>/dev/null || true
    tr -d '\r' <"${out}"
}

# line NAME TEXT: the value of "NAME=..." in TEXT.
line() {
    sed -n "s/^$1=//p" <<<"$2"
}

# ---------------------------------------------------------------------------- 1
e2e_log "1. policy values from both views over the stored settings"
e2e_reg_set WaitMinutes REG_DWORD 30
e2e_reg_set ShutdownType REG_DWORD 1
e2e_reg_set ConfirmShutdown REG_DWORD 0
policy_set WaitMinutes REG_DWORD 1 /reg:64
policy_set ShutdownType REG_DWORD 2 /reg:32
policy_set HoldForOtherSessions REG_DWORD 0 /reg:64
policy_set RunKelvane REG_SZ 1 /reg:64
e2e_reg_dump "${POLICY_KEY}"
read=$(probe)
sed 's/^/    /' <<<"${read}"
e2e_check "WaitMinutes 1 from the 64-bit view wins over the stored 30" \
    test "$(line WaitMinutes "${read}")" = 1
e2e_check "ShutdownType 2 from the 32-bit view wins over the stored 1" \
    test "$(line ShutdownType "${read}")" = 2
e2e_check "the managed values are named" \
    test "$(line Managed "${read}")" = ShutdownType,WaitMinutes,HoldForOtherSessions
e2e_check "a RunKelvane of REG_SZ is refused" test "$(line Refused "${read}")" = RunKelvane:REG_SZ
e2e_check "the RunKelvane stored counts" test "$(line RunKelvane "${read}")" = false
e2e_check "HoldForOtherSessions 0 turns that hold off" \
    test "$(line HoldForOtherSessions "${read}")" = false
e2e_check "HoldForPowerRequests stays on" test "$(line HoldForPowerRequests "${read}")" = true
value=$(e2e_reg_get WaitMinutes || echo '(missing)')
e2e_check "the stored WaitMinutes is still 30 (found '${value}')" test "${value}" = 0x1e
value=$(e2e_reg_get ShutdownType || echo '(missing)')
e2e_check "the stored ShutdownType is still 1 (found '${value}')" test "${value}" = 0x1
wine reg query "${POLICY_KEY}" /reg:64 </dev/null >"${E2E_WORK}/policy.out" 2>&1 || true
values=$(tr -d '\r' <"${E2E_WORK}/policy.out" | grep -c ' REG_' || true)
e2e_check "the policy key holds the four values written, nothing more (${values})" \
    test "${values}" = 4

# ---------------------------------------------------------------------------- 2
e2e_log "2. saving keeps the stored value of every managed setting"
saved=$(probe --save WaitMinutes=5 ShutdownType=0 ConfirmShutdown=true)
e2e_check "the save succeeds (${saved})" test "${saved}" = saved=1
value=$(e2e_reg_get WaitMinutes || echo '(missing)')
e2e_check "WaitMinutes stays 30 (found '${value}')" test "${value}" = 0x1e
value=$(e2e_reg_get ShutdownType || echo '(missing)')
e2e_check "ShutdownType stays 1 (found '${value}')" test "${value}" = 0x1
value=$(e2e_reg_get ConfirmShutdown || echo '(missing)')
e2e_check "ConfirmShutdown, not managed, is saved (found '${value}')" test "${value}" = 0xffffffff

# ---------------------------------------------------------------------------- 3
e2e_log "3. without the policy key"
wine reg delete "${POLICY_KEY}" /f /reg:64 </dev/null >"${E2E_WORK}/reg.out" 2>&1
read=$(probe)
e2e_check "WaitMinutes is the stored 30 again" test "$(line WaitMinutes "${read}")" = 30
e2e_check "nothing is managed" test -z "$(line Managed "${read}")"
if wine reg query "${POLICY_KEY}" /reg:64 </dev/null >/dev/null 2>&1; then
    e2e_fail "reading created the policy key again"
else
    e2e_ok "reading did not create the policy key"
fi

# ---------------------------------------------------------------------------- 4
e2e_log "4. a run follows a policy of 1 minute over the stored 30"
SAVER="${E2E_SAVERS_DIR}"'\DemoSaver.scr'
e2e_demo_saver "${E2E_SAVERS_DIR}" 'ignore_input=1' 'log=C:\e2e\demo-run.log'
e2e_reg_set AppPath REG_SZ "${E2E_SCR_DIR}"
e2e_reg_set SelectedScreenSaver REG_SZ "${SAVER}"
e2e_reg_set WaitMinutes REG_DWORD 30
e2e_reg_set ConfirmShutdown REG_DWORD 0
policy_set WaitMinutes REG_DWORD 1 /reg:64
t0=$(e2e_now_ms)
e2e_start run "${E2E_SCR}" /s
if e2e_ui wait-window --class SomnivexForm --title "" --timeout 30000 >/dev/null; then
    t_splash=$(e2e_now_ms)
else
    t_splash=${t0}
    e2e_fail "no start-up display within 30 s"
fi
e2e_wait_line "${LOGS}/demo-run.log" '^start ' 30 || e2e_fail "the chosen screen saver did not start"
# The stored 30 minutes would open it half an hour in: anything near one minute is the
# policy's. The margins hold for a slow start of the helpers on a loaded machine.
if found=$(e2e_ui wait-window --class SomnivexForm --title Somnivex --timeout 110000); then
    after=$(($(e2e_now_ms) - t_splash))
    echo "  MEASURED: countdown ${after} ms after the start-up display: ${found}"
    e2e_check "the countdown opens about a minute in (${after} ms in 50000..110000)" \
        test $((after >= 50000 && after <= 110000)) -eq 1
    e2e_shot policy-countdown || true
    e2e_check "Cancel Shut Down can be pressed" \
        e2e_ui click --class SomnivexForm --title Somnivex --text "Cancel Shut Down"
    e2e_check "Somnivex.scr ends after Cancel" e2e_wait_end run 20
else
    e2e_fail "no countdown within 110 s of a 1-minute policy"
    e2e_ui list || true
fi
e2e_ui close --title "Somnivex Demo Saver" >/dev/null || true
e2e_wait_end run 15 || e2e_fail "Somnivex.scr still runs after its screen saver was closed"
value=$(e2e_reg_get WaitMinutes || echo '(missing)')
e2e_check "the stored WaitMinutes is still 30 after the run (found '${value}')" test "${value}" = 0x1e
e2e_show_file "demo saver log" "${LOGS}/demo-run.log"

# ---------------------------------------------------------------------------- 5
e2e_log "5. the settings window with and without a policy"
LISTED='C:\windows\system32\Aurora.scr'
e2e_install_fixture DemoSaver.scr 'C:\windows\system32' Aurora.scr
wine reg delete "${POLICY_KEY}" /f /reg:64 </dev/null >"${E2E_WORK}/reg.out" 2>&1 || true
e2e_reg_set SelectedScreenSaver REG_SZ "${LISTED}"
e2e_reg_set ShutdownType REG_DWORD 1
e2e_reg_set RunKelvane REG_DWORD 0
e2e_reg_set AppPath REG_SZ 'C:\old'

# controls: "class|id|visible|enabled|text" of the settings window's controls.
controls() {
    e2e_ui texts --enabled --title "${TITLE}" 2>/dev/null | tr -d '\r' || true
}
# state CLASS TEXT: "visible|enabled" of the first control of that class and text.
state() {
    awk -F'|' -v c="$1" -v t="$2" '
        { text = $0; sub(/^[^|]*[|][^|]*[|][^|]*[|][^|]*[|]/, "", text) }
        $1 == c && text == t { print $3 "|" $4; exit }' <<<"${window}"
}
# open_manager TAG: starts Somniconf.exe, waits for its window, and reads its controls
# into $window.
open_manager() {
    e2e_start "$1" "${MANAGER}"
    if ! e2e_ui wait-window --title "${TITLE}" --timeout 25000 >/dev/null; then
        e2e_fail "no window '${TITLE}' within 25 s"
        e2e_ui list || true
        return 1
    fi
    sleep 1
    window=$(controls)
    sed 's/^/    /' <<<"${window}"
}

if open_manager free; then
    e2e_shot policy-manager-free || true
    e2e_check "without a policy the line is not shown" test "$(state Static "${MANAGED_LINE}")" = 0\|1
    e2e_check "without a policy the minutes are enabled" test "$(state Edit 30)" = 1\|1
    e2e_check "without a policy the confirmation is enabled" \
        test "$(state Button "&Show a shutdown confirmation message before starting the screen saver.")" = 0\|1
    e2e_check "Cancel can be pressed" e2e_ui click --title "${TITLE}" --text Cancel
    e2e_wait_end free 15 || e2e_fail "Somniconf.exe still runs after Cancel"
fi

policy_set WaitMinutes REG_DWORD 1 /reg:64
policy_set ShutdownType REG_DWORD 2 /reg:64
policy_set ConfirmShutdown REG_DWORD 1 /reg:64
policy_set SelectedScreenSaver REG_SZ "${SAVER}" /reg:64
if open_manager managed; then
    e2e_check "the line '${MANAGED_LINE}' is shown" test "$(state Static "${MANAGED_LINE}")" = 1\|1
    e2e_check "the minutes show the policy's 1, disabled" test "$(state Edit 1)" = 1\|0
    e2e_check "the shutdown type shows the policy's 'Restart', disabled" \
        test "$(state ComboBox Restart)" = 1\|0
    e2e_check "the policy's screen saver is shown, disabled" \
        test "$(state ComboBox "DemoSaver  |  Somnivex Demo Saver")" = 1\|0
    e2e_check "the confirmation shows ticked by policy, disabled (on its hidden page)" \
        test "$(state Button "&Show a shutdown confirmation message before starting the screen saver.")" = 0\|0
    e2e_check "its status line follows the policy's tick" \
        test "$(state Static "A confirmation message will be displayed for 5 seconds.")" = 0\|1
    e2e_check "Run Kelvane, not managed, stays enabled" test "$(state Button "Run &Kelvane")" = 1\|1
    e2e_check "Yes-is-default, not managed, stays enabled" \
        test "$(state Button "Make '&Yes' the default response on the confirmation message.")" = 0\|1
    e2e_shot policy-manager-main || true
    sv_click_tab "${E2E_UI}" "Confirmation Message" --title "${TITLE}" || true
    sleep 1
    e2e_shot policy-manager-confirmation || true
    e2e_check "OK can be pressed" e2e_ui click --title "${TITLE}" --text OK
    if e2e_wait_end managed 15; then
        e2e_ok "OK closed the window and ended Somniconf.exe"
    else
        e2e_fail "Somniconf.exe still runs 15 s after OK"
        e2e_ui list || true
    fi
fi
e2e_reg_dump "${E2E_KEY}"
for expected in WaitMinutes=0x1e ShutdownType=0x1 ConfirmShutdown=0x0 SelectedScreenSaver="${LISTED}"; do
    name=${expected%%=*}
    value=$(e2e_reg_get "${name}" || echo '(missing)')
    e2e_check "the stored ${name} is untouched (found '${value}')" test "${value}" = "${expected#*=}"
done
value=$(e2e_reg_get AppPath || echo '(missing)')
e2e_check "OK saved what no policy manages: AppPath (found '${value}')" test "${value}" = "${E2E_SCR_DIR}"

e2e_finish
