#!/usr/bin/env bash
# The x64 Windows Installer package, built here by installer/msi.sh from the programs
# under test (and again with a lower version number, for the upgrade), installed, upgraded
# and removed silently by Wine's msiexec in one fresh prefix:
#
#   0. Silent installs into folders standard users could change, and over an installation
#      of the Setup program, fail with 1603 and install nothing.
#   1. The lower version installs into a folder given on the command line; then a changed
#      setting (WaitMinutes 7, a LogDir of its own).
#   2. The current version, without a folder, upgrades it in place: every file in that
#      folder and Somnivex.scr in the real System32, equal to the build's, the Start-menu
#      shortcut, the event source, one uninstall entry (publisher, version, help link, no
#      Modify or Repair), AppPath of the folder; the changed settings kept.
#   3. Somnivex.scr started from System32 with /s runs the chosen screen saver and ends
#      with it, its pictures found through AppPath (no error event).
#   4. The same package again changes nothing; the lower version is refused, and so is
#      Setup (2), which installs nothing.
#   5. "msiexec /x {product code} /qn" removes every file and key it wrote and keeps the
#      settings.
#
# Wine's msiexec runs no package validation (installer/msi.sh checks the tables), logs no
# launch condition's message, and its ProgramMenuFolder is the user's Start menu even
# when ALLUSERS is 1.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup msi
started=$(e2e_now_ms)

VERSION="$(tr -d ' \t\r\n' <"${SOMNIVEX_ROOT}/VERSION")"
IFS=. read -r major minor patch <<<"${VERSION}"
if ((patch > 0)); then
    OLD_VERSION="${major}.${minor}.$((patch - 1))"
elif ((minor > 0)); then
    OLD_VERSION="${major}.$((minor - 1)).0"
else
    OLD_VERSION="$((major - 1)).99.0"
fi
INSTDIR='C:\Program Files\Brellcor\Somnivex'
SYSTEM_SCR='C:\windows\system32\Somnivex.scr'
EVENTLOG_KEY='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Somnivex'
ARP_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
SETUP_KEY="${ARP_KEY}\\Somnivex"
e2e_installed_files

reg64() { e2e_reg_value "$1" "$2" /reg:64; }

# products: the uninstall entries of Somnivex packages, one product code a line.
products() {
    wine reg query "${ARP_KEY}" /reg:64 </dev/null 2>/dev/null | tr -d '\r' |
        grep -oE '\{[0-9A-F-]{36}\}$' | while read -r code; do
        [[ "$(reg64 "${ARP_KEY}\\${code}" DisplayName || true)" == Somnivex ]] && echo "${code}"
    done
}

# run_msiexec TAG STATUS ARGS...: runs msiexec /qn with a log; true when it ended with STATUS
# (as the low byte Wine hands back to Linux: 1603 is 67).
run_msiexec() {
    local tag="$1" want="$2" rc
    shift 2
    e2e_start "${tag}" msiexec "$@" /qn /l*v "C:\\e2e\\${tag}.log"
    if ! e2e_wait_end "${tag}" 120; then
        echo "    msiexec $* still runs after 120 s"
        return 1
    fi
    rc=$(awk '{ print $1 }' "${E2E_WORK}/${tag}.exit")
    echo "    msiexec $* ended with ${rc}"
    ((rc == want % 256))
}

# build VERSION: the x64 package of that version, as $E2E_WORK/Somnivex-VERSION-x64.msi.
build() {
    local out="${E2E_WORK}/Somnivex-$1-x64.msi" t0
    t0=$(e2e_now_ms)
    if bash "${SOMNIVEX_ROOT}/installer/msi.sh" x64 "$1" "${SOMNIVEX_PROGRAMS}" "${out}" \
        </dev/null >"${E2E_WORK}/msi-$1.log" 2>&1; then
        e2e_ok "installer/msi.sh built ${out##*/} in $(($(e2e_now_ms) - t0)) ms"
    else
        e2e_fail "installer/msi.sh failed for ${1}"
        e2e_show_file "msi.sh" "${E2E_WORK}/msi-$1.log"
        e2e_finish
    fi
}

# check_files WHEN: every file in place and equal to its source.
check_files() {
    local dir rel bad=()
    dir="$(e2e_unix_path "${INSTDIR}")"
    for rel in "${!E2E_INSTALLED[@]}"; do
        cmp -s "${dir}/${rel}" "${E2E_INSTALLED[${rel}]}" || bad+=("${rel}")
    done
    e2e_check "$1: every file in ${INSTDIR} is the build's (missing or different: ${bad[*]:-none})" \
        test "${#bad[@]}" -eq 0
    e2e_check "$1: ${SYSTEM_SCR} is the build's" \
        cmp -s "$(e2e_unix_path "${SYSTEM_SCR}")" "${SOMNIVEX_PROGRAMS}/Somnivex.scr"
}

# ---------------------------------------------------------------------------- build
e2e_log "build the packages ${VERSION} and ${OLD_VERSION}"
build "${VERSION}"
build "${OLD_VERSION}"
MSI="$(winepath -w "${E2E_WORK}/Somnivex-${VERSION}-x64.msi" 2>/dev/null)"
OLD_MSI="$(winepath -w "${E2E_WORK}/Somnivex-${OLD_VERSION}-x64.msi" 2>/dev/null)"
CODE=$(msiinfo export "${E2E_WORK}/Somnivex-${VERSION}-x64.msi" Property |
    tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')

e2e_prefix msi
LOGS="$(e2e_unix_path "${E2E_TOOLS_DIR}")"

# ---------------------------------------------------------------------------- 0. refused
e2e_log "0. folders standard users could change; an installation of Setup"
n=0
for folder in 'C:\users\Public\Somnivex' 'C:\Program Files\..\users\Public\Somnivex'; do
    n=$((n + 1))
    e2e_check "INSTALLFOLDER=${folder} is refused with 1603" \
        run_msiexec "refused${n}" 1603 /i "${MSI}" "INSTALLFOLDER=${folder}"
done
wine reg add "${SETUP_KEY}" /v UninstallString /d 'C:\x\Uninstall.exe' /f /reg:64 \
    </dev/null >/dev/null 2>&1
e2e_check "with Setup's uninstall entry present the package is refused with 1603" \
    run_msiexec setup 1603 /i "${MSI}"
wine reg delete "${SETUP_KEY}" /f /reg:64 </dev/null >/dev/null 2>&1
e2e_check "the refused installs installed nothing" \
    test ! -e "$(e2e_unix_path 'C:\users\Public\Somnivex')" -a \
    ! -e "$(e2e_unix_path "${SYSTEM_SCR}")" -a -z "$(products)"

# ---------------------------------------------------------------------------- 1. old
e2e_log "1. version ${OLD_VERSION} into ${INSTDIR}; settings changed"
e2e_check "version ${OLD_VERSION} installs" run_msiexec old 0 /i "${OLD_MSI}" "INSTALLFOLDER=${INSTDIR}"
value=$(e2e_reg_get AppPath || echo '(missing)')
e2e_check "it records AppPath '${INSTDIR}\\' (found '${value}')" test "${value}" = "${INSTDIR}\\"
e2e_reg_set WaitMinutes REG_DWORD 7
e2e_reg_set LogDir REG_SZ 'C:\Logs\somnivex.log'

# ---------------------------------------------------------------------------- 2. upgrade
e2e_log "2. version ${VERSION} over it, without a folder"
e2e_check "version ${VERSION} installs" run_msiexec upgrade 0 /i "${MSI}"
check_files "upgrade"
e2e_check "nothing went to the default folder" \
    test ! -e "$(e2e_unix_path 'C:\Program Files\Somnivex')"
found=$(products | tr '\n' ' ')
e2e_check "one uninstall entry is left, ${CODE} (found ${found})" test "${found}" = "${CODE} "
declare -A expected=(
    [DisplayVersion]="${VERSION}" [Publisher]=Brellcor [NoModify]=0x1 [NoRepair]=0x1
    [HelpLink]="${INSTDIR}"'\Somnivex.html' [InstallLocation]="${INSTDIR}\\"
)
for name in "${!expected[@]}"; do
    value=$(reg64 "${ARP_KEY}\\${CODE}" "${name}" || echo '(missing)')
    e2e_check "uninstall entry ${name} = '${expected[${name}]}' (found '${value}')" \
        test "${value}" = "${expected[${name}]}"
done
value=$(e2e_reg_typed "${EVENTLOG_KEY}" EventMessageFile /reg:64 || echo '(missing)')
e2e_check "the event source's message file is ${SYSTEM_SCR}, expandable (found '${value}')" \
    test "${value,,}" = "reg_expand_sz|${SYSTEM_SCR,,}"
value=$(reg64 "${EVENTLOG_KEY}" TypesSupported || echo '(missing)')
e2e_check "the event source takes errors, warnings and information ('${value}')" test "${value}" = 0x7
# Wine's msiexec puts the shortcut of ProgramMenuFolder in the user's Start menu.
lnk=$(find "${WINEPREFIX}/drive_c" -path '*Start Menu/Programs/Somnivex Manager.lnk' | head -n 1)
e2e_check "the Start-menu shortcut 'Somnivex Manager' exists" test -n "${lnk}"
e2e_check "... and points at ${INSTDIR}\\Somniconf.exe" \
    grep -qaF "${INSTDIR}\\Somniconf.exe" "${lnk:-/dev/null}"
for pair in WaitMinutes=0x7 'LogDir=C:\Logs\somnivex.log' "AppPath=${INSTDIR}\\"; do
    value=$(e2e_reg_get "${pair%%=*}" || echo '(missing)')
    e2e_check "the upgrade keeps ${pair} (found '${value}')" test "${value}" = "${pair#*=}"
done
e2e_check "the user's screen saver is left alone" \
    test -z "$(e2e_reg_value 'HKCU\Control Panel\Desktop' SCRNSAVE.EXE || true)"

# ---------------------------------------------------------------------------- 3. /s
e2e_log "3. ${SYSTEM_SCR} /s"
e2e_reg_set SelectedScreenSaver REG_SZ 'C:\Program Files\Savers\DemoSaver.scr'
e2e_demo_saver 'C:\Program Files\Savers' 'run_ms=1500' 'log=C:\e2e\demo.log'
E2E_SCR="${SYSTEM_SCR}"
e2e_start_run
e2e_check "the chosen screen saver ran" e2e_wait_line "${LOGS}/demo.log" '^end [0-9]+ timeout' 30
e2e_check "the run ends with it" e2e_wait_end run 20
ids=$(e2e_event_ids run)
e2e_check "its trail reads '1000 1020', no error about the pictures (found '${ids}')" \
    test "${ids}" = "1000 1020"

# ---------------------------------------------------------------------------- 4. again
e2e_log "4. the same package again; the older one; Setup"
e2e_check "the same package again ends with 0" run_msiexec again 0 /i "${MSI}"
found=$(products | tr '\n' ' ')
e2e_check "... and leaves one entry (found ${found})" test "${found}" = "${CODE} "
e2e_check "version ${OLD_VERSION} is refused with 1603 now" run_msiexec downgrade 1603 /i "${OLD_MSI}"
SETUP="${E2E_WORK}/Somnivex-${VERSION}-x64-setup.exe"
if makensis -V2 -WX -DARCH=x64 -DVERSION="${VERSION}" -DBINDIR="${SOMNIVEX_PROGRAMS}" \
    -DOUTFILE="${SETUP}" "${SOMNIVEX_ROOT}/installer/Somnivex.nsi" </dev/null >"${E2E_WORK}/makensis.log" 2>&1; then
    e2e_start setup "${SETUP}" /S
    e2e_check "Setup /S ends" e2e_wait_end setup 60
    rc=$(awk '{ print $1 }' "${E2E_WORK}/setup.exit" 2>/dev/null || echo '?')
    e2e_check "Setup /S is refused with 2 (found ${rc})" test "${rc}" = 2
    e2e_check "... and installs nothing" test ! -e "$(e2e_unix_path 'C:\Program Files\Somnivex')" \
        -a -z "$(reg64 "${SETUP_KEY}" UninstallString || true)"
else
    e2e_fail "makensis failed"
    e2e_show_file makensis "${E2E_WORK}/makensis.log"
fi
check_files "after the refused downgrade and Setup"

# ---------------------------------------------------------------------------- 5. remove
e2e_log "5. msiexec /x ${CODE}"
e2e_check "the package is removed" run_msiexec remove 0 /x "${CODE}"
left=$(find "$(e2e_unix_path "${INSTDIR}")" "$(e2e_unix_path "${SYSTEM_SCR}")" \
    "${lnk:-/nonexistent}" 2>/dev/null || true)
e2e_check "every file and folder it installed is gone (left: ${left:-none})" test -z "${left}"
e2e_check "no uninstall entry is left" test -z "$(products)"
e2e_check "the event source is gone" \
    test -z "$(reg64 "${EVENTLOG_KEY}" TypesSupported || true)"
e2e_check "no key of the package is left in the 64-bit view" \
    test "$(wine reg query 'HKLM\Software\Brellcor' /reg:64 </dev/null >/dev/null 2>&1; echo $?)" != 0
for pair in WaitMinutes=0x7 'LogDir=C:\Logs\somnivex.log' "AppPath=${INSTDIR}\\"; do
    value=$(e2e_reg_get "${pair%%=*}" || echo '(missing)')
    e2e_check "the settings stay: ${pair} (found '${value}')" test "${value}" = "${pair#*=}"
done

echo "  whole run $(($(e2e_now_ms) - started)) ms"
e2e_finish
