#!/usr/bin/env bash
# The x64 Windows Installer package, built here by installer/msi.sh from the programs
# under test (and as version 0.0.1, to upgrade from), driven by Wine's msiexec /qn in one
# fresh prefix:
#
#   0. Folders standard users could change, and a computer where Setup installed
#      Somnivex, are refused (1603) and nothing is installed.
#   1. 0.0.1 installs into a folder given; WaitMinutes and LogDir are changed.
#   2. The current version upgrades it in that folder: the files, the system folder's copy,
#      the shortcut, the event source, one uninstall entry; the changed settings kept.
#   3. Somnivex.scr /s from System32 runs the chosen screen saver, pictures found.
#   4. The same package again changes nothing; 0.0.1 and Setup (2) are refused.
#   5. msiexec /x removes all it wrote and keeps the settings.
#
# Wine's msiexec validates nothing (msi.sh checks the tables), logs no launch condition's
# text, and puts ProgramMenuFolder in the user's Start menu whatever ALLUSERS says.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup msi
started=$(e2e_now_ms)
VERSION="$(tr -d ' \t\r\n' <"${SOMNIVEX_ROOT}/VERSION")"
OLD_VERSION=0.0.1 # below every release
INSTDIR='C:\Program Files\Brellcor\Somnivex'
SYSTEM_SCR='C:\windows\system32\Somnivex.scr'
EVENTLOG_KEY='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Somnivex'
ARP_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
e2e_installed_files

# products: the product codes of the uninstall entries named Somnivex.
products() {
    wine reg query "${ARP_KEY}" /reg:64 </dev/null 2>/dev/null | tr -d '\r' |
        grep -oE '\{[0-9A-F-]{36}\}$' | while read -r code; do
        [[ "$(e2e_reg_value "${ARP_KEY}\\${code}" DisplayName /reg:64 || true)" == Somnivex ]] &&
            echo "${code}"
    done | tr '\n' ' '
}

# values WHAT KEY VIEW NAME=DATA...: each value of KEY (in /reg:32 or /reg:64) reads DATA.
values() {
    local what="$1" key="$2" view="$3" pair value
    shift 3
    for pair in "$@"; do
        value=$(e2e_reg_value "${key}" "${pair%%=*}" "${view}" || echo '(missing)')
        e2e_check "${what}: ${pair%%=*} = '${pair#*=}' (found '${value}')" test "${value}" = "${pair#*=}"
    done
}

# run_msiexec TAG STATUS ARGS...: msiexec ARGS /qn with a log; true when it ended with
# STATUS, as the low byte that Wine hands to Linux (1603 is 67).
run_msiexec() {
    local tag="$1" want="$2"
    shift 2
    e2e_start "${tag}" msiexec "$@" /qn /l*v "C:\\e2e\\${tag}.log"
    e2e_wait_end "${tag}" 120 || return 1
    echo "    msiexec $* ended with $(cut -d' ' -f1 "${E2E_WORK}/${tag}.exit")"
    (($(cut -d' ' -f1 "${E2E_WORK}/${tag}.exit") == want % 256))
}

# check_files WHEN: every file in place and equal to the build's.
check_files() {
    local dir rel bad=()
    dir="$(e2e_unix_path "${INSTDIR}")"
    for rel in "${!E2E_INSTALLED[@]}"; do
        cmp -s "${dir}/${rel}" "${E2E_INSTALLED[${rel}]}" || bad+=("${rel}")
    done
    cmp -s "$(e2e_unix_path "${SYSTEM_SCR}")" "${SOMNIVEX_PROGRAMS}/Somnivex.scr" || bad+=(System32)
    e2e_check "$1: every file is the build's (missing or different: ${bad[*]:-none})" \
        test "${#bad[@]}" -eq 0
}

e2e_log "build the packages ${VERSION} and ${OLD_VERSION}"
for v in "${VERSION}" "${OLD_VERSION}"; do
    bash "${SOMNIVEX_ROOT}/installer/msi.sh" x64 "${v}" "${SOMNIVEX_PROGRAMS}" \
        "${E2E_WORK}/Somnivex-${v}-x64.msi" </dev/null >"${E2E_WORK}/msi-${v}.log" 2>&1 || {
        e2e_fail "installer/msi.sh failed for ${v}"
        e2e_show_file msi.sh "${E2E_WORK}/msi-${v}.log"
        e2e_finish
    }
done
e2e_ok "installer/msi.sh built both in $(($(e2e_now_ms) - started)) ms"
MSI="$(winepath -w "${E2E_WORK}/Somnivex-${VERSION}-x64.msi" 2>/dev/null)"
OLD_MSI="$(winepath -w "${E2E_WORK}/Somnivex-${OLD_VERSION}-x64.msi" 2>/dev/null)"
CODE=$(sed -n 's/^msi: .*product code \({.*}\))$/\1/p' "${E2E_WORK}/msi-${VERSION}.log")
e2e_prefix msi

e2e_log "0. folders standard users could change; an installation of Setup"
for folder in 'C:\users\Public\Somnivex' 'C:\Program Files\..\users\Public\Somnivex'; do
    e2e_check "INSTALLFOLDER=${folder} is refused with 1603" \
        run_msiexec refused 1603 /i "${MSI}" "INSTALLFOLDER=${folder}"
done
wine reg add "${ARP_KEY}\\Somnivex" /v UninstallString /d 'C:\x\Uninstall.exe' /f /reg:64 \
    </dev/null >/dev/null 2>&1
e2e_check "the package is refused with 1603 where Setup installed Somnivex" \
    run_msiexec setup 1603 /i "${MSI}"
wine reg delete "${ARP_KEY}\\Somnivex" /f /reg:64 </dev/null >/dev/null 2>&1
e2e_check "the refused installs installed nothing" test ! -e "$(e2e_unix_path 'C:\users\Public\Somnivex')" \
    -a ! -e "$(e2e_unix_path "${SYSTEM_SCR}")" -a -z "$(products)"

e2e_log "1. version ${OLD_VERSION} into ${INSTDIR}; settings changed"
e2e_check "version ${OLD_VERSION} installs" run_msiexec old 0 /i "${OLD_MSI}" "INSTALLFOLDER=${INSTDIR}"
values "${OLD_VERSION}" "${E2E_KEY}" /reg:32 "AppPath=${INSTDIR}\\" "LogDir=${INSTDIR}\\Error.log"
e2e_reg_set WaitMinutes REG_DWORD 7
e2e_reg_set LogDir REG_SZ 'C:\Logs\somnivex.log'

e2e_log "2. version ${VERSION} over it, without a folder"
e2e_check "version ${VERSION} installs" run_msiexec upgrade 0 /i "${MSI}"
check_files "upgrade"
e2e_check "nothing went to the default folder" test ! -e "$(e2e_unix_path 'C:\Program Files\Somnivex')"
e2e_check "one uninstall entry is left, ${CODE} (found $(products))" test "$(products)" = "${CODE} "
values "uninstall entry" "${ARP_KEY}\\${CODE}" /reg:64 "DisplayVersion=${VERSION}" Publisher=Brellcor \
    NoModify=0x1 NoRepair=0x1 "HelpLink=${INSTDIR}\\Somnivex.html" "InstallLocation=${INSTDIR}\\"
values "event source" "${EVENTLOG_KEY}" /reg:64 "EventMessageFile=${SYSTEM_SCR}" TypesSupported=0x7
e2e_check "... its message file a REG_EXPAND_SZ" \
    grep -q '^REG_EXPAND_SZ|' <<<"$(e2e_reg_typed "${EVENTLOG_KEY}" EventMessageFile /reg:64 || true)"
lnk=$(find "${WINEPREFIX}/drive_c" -path '*Start Menu/Programs/Somnivex Manager.lnk' | head -n 1)
e2e_check "the shortcut 'Somnivex Manager' points at ${INSTDIR}\\Somniconf.exe" \
    grep -qaF "${INSTDIR}\\Somniconf.exe" "${lnk:-/dev/null}"
values "after the upgrade" "${E2E_KEY}" /reg:32 WaitMinutes=0x7 'LogDir=C:\Logs\somnivex.log' \
    "AppPath=${INSTDIR}\\"
e2e_check "the user's screen saver is left alone" \
    test -z "$(e2e_reg_value 'HKCU\Control Panel\Desktop' SCRNSAVE.EXE || true)"

e2e_log "3. ${SYSTEM_SCR} /s"
e2e_reg_set SelectedScreenSaver REG_SZ 'C:\Program Files\Savers\DemoSaver.scr'
e2e_demo_saver 'C:\Program Files\Savers' 'run_ms=1500' 'log=C:\e2e\demo.log'
E2E_SCR="${SYSTEM_SCR}" LOGS="$(e2e_unix_path "${E2E_TOOLS_DIR}")"
e2e_start_run
e2e_check "the chosen screen saver ran" e2e_wait_line "${LOGS}/demo.log" '^end [0-9]+ timeout' 30
e2e_check "the run ends with it" e2e_wait_end run 20
e2e_check "its trail reads '1000 1020', no error about the pictures (found '$(e2e_event_ids run)')" \
    test "$(e2e_event_ids run)" = "1000 1020"

e2e_log "4. the same package again; the older one; Setup"
e2e_check "the same package again ends with 0" run_msiexec again 0 /i "${MSI}"
e2e_check "... and leaves one entry (found $(products))" test "$(products)" = "${CODE} "
e2e_check "version ${OLD_VERSION} is refused with 1603 now" run_msiexec downgrade 1603 /i "${OLD_MSI}"
SETUP="${E2E_WORK}/Somnivex-${VERSION}-x64-setup.exe"
makensis -V2 -DARCH=x64 -DVERSION="${VERSION}" -DBINDIR="${SOMNIVEX_PROGRAMS}" -DOUTFILE="${SETUP}" \
    "${SOMNIVEX_ROOT}/installer/Somnivex.nsi" </dev/null >"${E2E_WORK}/makensis.log" 2>&1 || true
e2e_start setup "${SETUP}" /S
e2e_wait_end setup 60 || true
rc=$(cut -d' ' -f1 "${E2E_WORK}/setup.exit" 2>/dev/null || echo none)
e2e_check "Setup /S is refused with 2 (found ${rc}) and installs nothing" \
    test "${rc}" = 2 -a ! -e "$(e2e_unix_path 'C:\Program Files\Somnivex')"
check_files "after the refused downgrade and Setup"

e2e_log "5. msiexec /x ${CODE}"
e2e_check "the package is removed" run_msiexec remove 0 /x "${CODE}"
left=$(find "$(e2e_unix_path "${INSTDIR}")" "$(e2e_unix_path "${SYSTEM_SCR}")" "${lnk:-/none}" \
    2>/dev/null || true)
e2e_check "every file and folder it installed is gone (left: ${left:-none})" test -z "${left}"
e2e_check "no uninstall entry is left" test -z "$(products)"
e2e_check "the event source is gone" test -z "$(e2e_reg_value "${EVENTLOG_KEY}" TypesSupported /reg:64 || true)"
e2e_check "no key of the package is left in the 64-bit view" \
    test "$(wine reg query 'HKLM\Software\Brellcor' /reg:64 </dev/null >/dev/null 2>&1; echo $?)" != 0
values "after the removal" "${E2E_KEY}" /reg:32 WaitMinutes=0x7 'LogDir=C:\Logs\somnivex.log' \
    "AppPath=${INSTDIR}\\"

echo "  whole run $(($(e2e_now_ms) - started)) ms"
e2e_finish
