#!/usr/bin/env bash
# The x64 installer, built here with makensis from the programs under test, in one fresh
# Wine prefix:
#
#   0. Silent installs into a folder standard users could change (C:\users\Public\...,
#      also reached through "Program Files\..") fail and install nothing.
#   1. A silent install puts every file in C:\Program Files\Somnivex, Somnivex.scr in
#      the real System32, the "Somnivex Manager" shortcut in the all-users Start menu,
#      the uninstall entry in the 64-bit view, AppPath/LogDir in the 32-bit view of
#      the settings key and the event source "Somnivex" of the Application log (its
#      EventMessageFile the system folder's Somnivex.scr, which carries the message
#      table); it leaves the user's screen saver alone.
#   2. Somnivex.scr started from System32 with "/a" shows its splash and stores the ten
#      settings, keeping the AppPath the installer wrote.
#   3. The shortcut points at Somniconf.exe in the program folder; opening it opens the
#      settings window "Somnivex - Settings". While that is open, a silent install
#      gives up and replaces nothing.
#   4. Installing again over it (with /ACTIVATE) keeps WaitMinutes 7 and a changed
#      LogDir, replaces a damaged program file, and makes Somnivex the screen saver.
#   5. A silent uninstall removes every file, the shortcut, the uninstall entry, the
#      event source and the screen-saver choice, and keeps the settings (a silent
#      uninstall never asks).
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup installer
started=$(e2e_now_ms)

VERSION="$(tr -d ' \t\r\n' <"${SOMNIVEX_ROOT}/VERSION")"
SETUP="${E2E_WORK}/Somnivex-${VERSION}-x64-setup.exe"
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Somnivex'
DESKTOP_KEY='HKCU\Control Panel\Desktop'
INSTDIR='C:\Program Files\Somnivex'
SYSTEM_SCR='C:\windows\system32\Somnivex.scr'
SHORTCUT='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Somnivex Manager.lnk'
EVENTLOG_KEY='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Somnivex'
e2e_installed_files
SETTINGS=(RunKelvane ConfirmShutdown DefaultConfirmYes LogDebug ShutdownType WaitMinutes
    LogDir AppPath KelvanePath SelectedScreenSaver)

# reg_get64 KEY NAME: a value in the 64-bit view (the x64 installer's native one).
reg_get64() { e2e_reg_value "$1" "$2" /reg:64; }

# reg_type64 KEY NAME: the type of a value in the 64-bit view ("REG_SZ", ...).
reg_type64() {
    local out="${E2E_WORK}/reg.type.out"
    wine reg query "$1" /v "$2" /reg:64 </dev/null >"${out}" 2>&1 || return 1
    tr -d '\r' <"${out}" | awk -v name="$2" 'tolower($1) == tolower(name) { print $2; exit }'
}

# reg_get_user KEY NAME: a value of the current user's hive.
reg_get_user() { e2e_reg_value "$1" "$2"; }

# uninstaller_running: true while the uninstaller's working copy (a program in a
# "~nsu*.tmp" folder of the temporary folder) runs in this prefix. A process that has ended
# but was not yet reaped has no environment left and does not count.
uninstaller_running() {
    local pid
    for pid in $(pgrep -f -- '~nsu[^ ]*\.tmp' || true); do
        if tr '\0' '\n' <"/proc/${pid}/environ" 2>/dev/null | grep -qxF "WINEPREFIX=${WINEPREFIX}"; then
            return 0
        fi
    done
    return 1
}

# u32 FILE OFFSET: a little-endian 32-bit number.
u32() {
    od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '
}

# lnk_target FILE: the local path a shell link points at (its LinkInfo's base path).
lnk_target() {
    local file="$1" flags offset=76 size info base
    flags=$(u32 "${file}" 20)
    if ((flags & 1)); then # an item-id list comes first
        size=$(od -An -tu2 -j "${offset}" -N2 "${file}" | tr -d ' ')
        offset=$((offset + 2 + size))
    fi
    ((flags & 2)) || return 1 # no LinkInfo
    info=${offset}
    base=$(u32 "${file}" $((info + 16)))
    # The base path is a NUL-terminated string in the system's code page.
    dd if="${file}" bs=1 skip=$((info + base)) count=260 status=none | tr '\0' '\n' | head -n 1
}

# install TAG ARGS...: runs the installer, waits for it; false on failure or time-out.
install() {
    local tag="$1" t0
    shift
    t0=$(e2e_now_ms)
    e2e_start "${tag}" "${SETUP}" "$@"
    if ! e2e_wait_end "${tag}" 60; then
        e2e_fail "the installer ($*) still runs after 60 s"
        e2e_ui list || true
        return 1
    fi
    local rc
    rc=$(awk '{ print $1 }' "${E2E_WORK}/${tag}.exit")
    echo "  installer $* ended with ${rc} after $(($(e2e_now_ms) - t0)) ms"
    [[ "${rc}" == 0 ]] || {
        e2e_fail "the installer ($*) failed with status ${rc}"
        return 1
    }
}

# check_installed WHEN: every file in place and equal to its source.
check_installed() {
    local when="$1" dir rel missing=0 differs=0
    dir="$(e2e_unix_path "${INSTDIR}")"
    for rel in "${!E2E_INSTALLED[@]}"; do
        if [[ ! -f "${dir}/${rel}" ]]; then
            echo "    missing: ${INSTDIR}\\${rel//\//\\}"
            missing=1
        elif ! cmp -s "${dir}/${rel}" "${E2E_INSTALLED[${rel}]}"; then
            echo "    differs from the build: ${INSTDIR}\\${rel//\//\\}"
            differs=1
        fi
    done
    e2e_check "${when}: every file is in ${INSTDIR}" test "${missing}" -eq 0
    e2e_check "${when}: every installed file equals the build's" test "${differs}" -eq 0
    e2e_check "${when}: the uninstaller is in ${INSTDIR}" test -f "${dir}/Uninstall.exe"
    e2e_check "${when}: ${SYSTEM_SCR} is the build's Somnivex.scr" \
        cmp -s "$(e2e_unix_path "${SYSTEM_SCR}")" "${SOMNIVEX_PROGRAMS}/Somnivex.scr"
    e2e_check "${when}: nothing went to SysWOW64" \
        test ! -e "$(e2e_unix_path 'C:\windows\syswow64\Somnivex.scr')"
    e2e_check "${when}: the Start-menu shortcut exists" test -f "$(e2e_unix_path "${SHORTCUT}")"
}

# ---------------------------------------------------------------------------- build
e2e_log "build the x64 installer (version ${VERSION})"
if ! makensis -V2 -WX -DARCH=x64 -DVERSION="${VERSION}" -DBINDIR="${SOMNIVEX_PROGRAMS}" \
    -DOUTFILE="${SETUP}" "${SOMNIVEX_ROOT}/installer/Somnivex.nsi" \
    </dev/null >"${E2E_WORK}/makensis.log" 2>&1; then
    e2e_fail "makensis failed"
    e2e_show_file "makensis" "${E2E_WORK}/makensis.log"
    e2e_finish
fi
e2e_ok "makensis built $(basename "${SETUP}") ($(stat -c %s "${SETUP}") bytes)"

e2e_prefix install

# ---------------------------------------------------------------------------- 0. folder
e2e_log "0. silent installs into folders that standard users could change"
n=0
for folder in 'C:\users\Public\Somnivex' 'C:\Program Files\..\users\Public\Somnivex'; do
    n=$((n + 1))
    # /D= takes the rest of the command line unquoted, blanks and all: through cmd, which
    # passes it on as written.
    e2e_start "refused${n}" cmd /c "$(winepath -w "${SETUP}") /S /D=${folder}"
    if e2e_wait_end "refused${n}" 60; then
        rc=$(awk '{ print $1 }' "${E2E_WORK}/refused${n}.exit")
        e2e_check "a silent install into ${folder} fails (status ${rc})" test "${rc}" != 0
    else
        e2e_fail "a silent install into ${folder} still runs after 60 s"
    fi
    e2e_check "... and puts nothing there" \
        test ! -e "$(e2e_unix_path 'C:\users\Public\Somnivex')"
done
e2e_check "the refused installs put nothing into the system folder" \
    test ! -e "$(e2e_unix_path "${SYSTEM_SCR}")"
e2e_check "... and wrote no uninstall entry" \
    test -z "$(reg_get64 "${UNINSTALL_KEY}" DisplayName || true)"

# ---------------------------------------------------------------------------- 1. install
e2e_log "1. silent install"
if e2e_reg_key_exists 'HKLM\Software\Brellcor\Somnivex'; then
    e2e_fail "a fresh prefix already has the settings key"
fi
install first /S || {
    e2e_show_file "installer output" "${E2E_WORK}/first.out"
    e2e_finish
}
check_installed "install"

declare -A expected_uninstall=(
    [DisplayName]=Somnivex [DisplayVersion]="${VERSION}" [Publisher]=Brellcor
    [DisplayIcon]="${INSTDIR}"'\Somniconf.exe,0'
    [UninstallString]="\"${INSTDIR}"'\Uninstall.exe"'
    [QuietUninstallString]="\"${INSTDIR}"'\Uninstall.exe" /S'
    [InstallLocation]="${INSTDIR}" [NoModify]=0x1 [NoRepair]=0x1
)
for name in DisplayName DisplayVersion Publisher DisplayIcon UninstallString \
    QuietUninstallString InstallLocation NoModify NoRepair; do
    if value=$(reg_get64 "${UNINSTALL_KEY}" "${name}"); then
        e2e_check "uninstall entry ${name} = '${expected_uninstall[${name}]}' (found '${value}')" \
            test "${value}" = "${expected_uninstall[${name}]}"
    else
        e2e_fail "the uninstall entry (64-bit view) has no ${name}"
    fi
done
if size=$(reg_get64 "${UNINSTALL_KEY}" EstimatedSize); then
    kb=$((size))
    # The two programs and the system folder's copy: well above 500 KB, under 10 MB.
    e2e_check "EstimatedSize is the installed size in KB (${kb})" \
        test $((kb > 500 && kb < 10240)) -eq 1
else
    e2e_fail "the uninstall entry has no EstimatedSize"
fi
e2e_check "the uninstall entry is not in the 32-bit view" \
    test -z "$(e2e_reg_get DisplayName "${UNINSTALL_KEY}" || true)"

value=$(e2e_reg_get AppPath || echo '(missing)')
e2e_check "AppPath = '${INSTDIR}' (found '${value}')" test "${value}" = "${INSTDIR}"
value=$(e2e_reg_get LogDir || echo '(missing)')
e2e_check "LogDir = '${INSTDIR}\\Error.log' (found '${value}')" \
    test "${value}" = "${INSTDIR}"'\Error.log'
e2e_check "the settings are not written in the 64-bit view" \
    test -z "$(reg_get64 'HKLM\Software\Brellcor\Somnivex' AppPath || true)"
value=$(reg_get64 "${EVENTLOG_KEY}" EventMessageFile || echo '(missing)')
e2e_check "the event source's EventMessageFile is ${SYSTEM_SCR} (found '${value}')" \
    test "${value,,}" = "${SYSTEM_SCR,,}"
value=$(reg_type64 "${EVENTLOG_KEY}" EventMessageFile || echo '(missing)')
e2e_check "... as REG_EXPAND_SZ, as the event log expects (found ${value})" \
    test "${value}" = REG_EXPAND_SZ
value=$(reg_get64 "${EVENTLOG_KEY}" TypesSupported || echo '(missing)')
e2e_check "the event source takes errors, warnings and information (TypesSupported '${value}')" \
    test "${value}" = 0x7
e2e_check "a plain install leaves the user's screen saver alone" \
    test -z "$(reg_get_user "${DESKTOP_KEY}" SCRNSAVE.EXE || true)"

# ---------------------------------------------------------------------------- 2. /a
e2e_log "2. ${SYSTEM_SCR} /a 1234"
t0=$(e2e_now_ms)
e2e_start splash "${SYSTEM_SCR}" /a 1234
if found=$(e2e_ui wait-window --class SomnivexForm --title "" --timeout 20000); then
    t_shown=$(e2e_now_ms)
    echo "  splash on screen $((t_shown - t0)) ms after the start: ${found}"
    sleep 0.3
    e2e_shot installer-splash || true
    if e2e_ui gone --class SomnivexForm --title "" --timeout 15000 >/dev/null; then
        shown=$(($(e2e_now_ms) - t_shown))
        e2e_check "the splash stays about 3 s (${shown} ms in 1800..4500)" \
            test $((shown >= 1800 && shown <= 4500)) -eq 1
    else
        e2e_fail "the splash is still shown after 15 s"
    fi
else
    e2e_fail "no splash within 20 s of ${SYSTEM_SCR} /a 1234"
    e2e_ui list || true
fi
e2e_wait_end splash 15 || e2e_fail "Somnivex.scr /a still runs 15 s after its splash"
declare -A expected=(
    [RunKelvane]=0x0 [ConfirmShutdown]=0x0 [DefaultConfirmYes]=0xffffffff [LogDebug]=0x0
    [ShutdownType]=0x1 [WaitMinutes]=0x1e [LogDir]="${INSTDIR}"'\Error.log'
    [AppPath]="${INSTDIR}" [KelvanePath]="" [SelectedScreenSaver]=""
)
for name in "${SETTINGS[@]}"; do
    if value=$(e2e_reg_get "${name}"); then
        e2e_check "after /a: ${name} = '${expected[${name}]}' (found '${value}')" \
            test "${value}" = "${expected[${name}]}"
    else
        e2e_fail "after /a: ${name} is missing"
    fi
done

# ---------------------------------------------------------------------------- 3. shortcut
e2e_log "3. the Start-menu shortcut"
if target=$(lnk_target "$(e2e_unix_path "${SHORTCUT}")"); then
    e2e_check "the shortcut points at '${INSTDIR}\\Somniconf.exe' (found '${target}')" \
        test "${target}" = "${INSTDIR}"'\Somniconf.exe'
else
    e2e_fail "the shortcut has no local target"
fi
e2e_start shortcut start "${SHORTCUT}"
if found=$(e2e_ui wait-window --title "Somnivex - Settings" --timeout 15000); then
    e2e_ok "the shortcut opened the settings window: ${found}"
    e2e_shot installer-manager || true
    # Its files are in use now: a silent install must give up rather than half-replace.
    printf 'damaged\r\n' >"$(e2e_unix_path "${INSTDIR}")/Somnivex.html"
    e2e_start busy "${SETUP}" /S
    if e2e_wait_end busy 60; then
        rc=$(awk '{ print $1 }' "${E2E_WORK}/busy.exit")
        e2e_check "a silent install while the manager is open fails (status ${rc})" \
            test "${rc}" != 0
        e2e_check "... and replaces nothing" \
            grep -q '^damaged' "$(e2e_unix_path "${INSTDIR}")/Somnivex.html"
    else
        e2e_fail "a silent install while the manager is open still runs after 60 s"
    fi
    e2e_ui close --title "Somnivex - Settings" >/dev/null || true
    e2e_check "the settings window closes" \
        e2e_ui gone --title "Somnivex - Settings" --timeout 10000
else
    e2e_fail "no window 'Somnivex - Settings' within 15 s of opening the shortcut"
    e2e_ui list || true
fi
e2e_wait_end shortcut 10 || true

# ---------------------------------------------------------------------------- 4. again
e2e_log "4. install again over it, with changed settings and a damaged file"
e2e_reg_set WaitMinutes REG_DWORD 7
e2e_reg_set LogDir REG_SZ 'C:\Logs\somnivex.log'
printf 'damaged\r\n' >"$(e2e_unix_path "${INSTDIR}")/Somnivex.html"
printf 'damaged\r\n' >"$(e2e_unix_path "${SYSTEM_SCR}")"
install second /S /ACTIVATE || true
check_installed "reinstall"
value=$(e2e_reg_get WaitMinutes || echo '(missing)')
e2e_check "the reinstall keeps WaitMinutes 7 (found '${value}')" test "${value}" = 0x7
value=$(e2e_reg_get LogDir || echo '(missing)')
e2e_check "the reinstall keeps the changed LogDir (found '${value}')" \
    test "${value}" = 'C:\Logs\somnivex.log'
value=$(e2e_reg_get AppPath || echo '(missing)')
e2e_check "the reinstall keeps AppPath (found '${value}')" test "${value}" = "${INSTDIR}"
value=$(reg_get_user "${DESKTOP_KEY}" SCRNSAVE.EXE || echo '(missing)')
e2e_check "/ACTIVATE makes Somnivex the screen saver (SCRNSAVE.EXE '${value}')" \
    test "${value,,}" = "${SYSTEM_SCR,,}"
value=$(reg_get_user "${DESKTOP_KEY}" ScreenSaveActive || echo '(missing)')
e2e_check "/ACTIVATE switches the screen saver on (ScreenSaveActive '${value}')" \
    test "${value}" = 1

# ---------------------------------------------------------------------------- 5. uninstall
e2e_log "5. silent uninstall"
t0=$(e2e_now_ms)
# The uninstaller copies itself to the temporary folder and works from there, so the end
# of the program started here says little: the copy's end does.
e2e_start uninstall "${INSTDIR}"'\Uninstall.exe' /S
e2e_wait_end uninstall 30 || e2e_fail "the uninstaller did not hand over within 30 s"
deadline=$(($(e2e_now_ms) + 30000))
while uninstaller_running && (($(e2e_now_ms) < deadline)); do
    sleep 0.2
done
uninstaller_running && e2e_fail "the uninstaller still runs 30 s after its start"
echo "  uninstall took about $(($(e2e_now_ms) - t0)) ms"
dir="$(e2e_unix_path "${INSTDIR}")"
if [[ -e "${dir}" ]]; then
    e2e_fail "${INSTDIR} still exists after the uninstall:"
    find "${dir}" | sed 's/^/    /'
else
    e2e_ok "${INSTDIR} and every file in it are gone"
fi
e2e_check "${SYSTEM_SCR} is gone" test ! -e "$(e2e_unix_path "${SYSTEM_SCR}")"
e2e_check "the shortcut is gone" test ! -e "$(e2e_unix_path "${SHORTCUT}")"
e2e_check "the uninstall entry is gone" \
    test -z "$(reg_get64 "${UNINSTALL_KEY}" DisplayName || true)"
e2e_check "the event source is gone" \
    test -z "$(reg_get64 "${EVENTLOG_KEY}" EventMessageFile || true)"
e2e_check "the screen-saver choice is reset" \
    test -z "$(reg_get_user "${DESKTOP_KEY}" SCRNSAVE.EXE || true)"
missing=()
for name in "${SETTINGS[@]}"; do
    e2e_reg_get "${name}" >/dev/null || missing+=("${name}")
done
e2e_check "a silent uninstall keeps all ten settings (missing: ${missing[*]:-none})" \
    test "${#missing[@]}" -eq 0
value=$(e2e_reg_get WaitMinutes || echo '(missing)')
e2e_check "a silent uninstall keeps WaitMinutes 7 (found '${value}')" test "${value}" = 0x7
e2e_check "no window was left open (no question asked)" \
    test -z "$(e2e_ui list | awk -F'|' '$3 == 1 && $2 == "#32770"' || true)"

echo "  whole run $(($(e2e_now_ms) - started)) ms"
e2e_finish
