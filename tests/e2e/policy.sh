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
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup policy

POLICY_KEY='HKLM\Software\Policies\Brellcor\Somnivex'
PROBE="${E2E_TOOLS_DIR}"'\options_probe.exe'

e2e_prefix policy
cp "${SOMNIVEX_FIXTURES}/options_probe.exe" "$(e2e_unix_path "${E2E_TOOLS_DIR}")/"

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

e2e_finish
