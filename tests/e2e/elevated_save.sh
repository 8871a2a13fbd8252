#!/usr/bin/env bash
# The save that the settings manager hands to a copy of itself with administrator rights,
# under Wine, in one prefix with Somniconf.exe in C:\Program Files\Somnivex, the demo
# screen saver in system32 and a stand-in launcher in
# 'C:\Program Files\Brellcor Tools\Kelvane ü'. Wine has no UAC: its "runas" runs the
# program at once and every key can be written.
#
#   1. Somniconf.exe carries a manifest that asks for the invoker's rights only.
#   2. "Somniconf.exe /save" with a value out of range (0 minutes), with a value missing,
#      with MS-DOS mode on Windows 10, or with a program that a run would start for every
#      user from where a user could have put it (a screen saver reached through "..",
#      behind a "/" or by a link, a launcher in C:\users\Public, a launcher path with a
#      quote that would hand cmd.exe arguments of its own) exits with 2 and writes
#      nothing (the key is not even created); with the eleven values it exits with 0, shows
#      no window, and the key holds exactly them, a launcher path with blanks and a
#      non-Latin letter included.
#   3. A save request runs while a settings window is open: the window's one-copy rule
#      does not turn it away.
#   4. AsUserManager.exe (the manager's own code with the key taken as not writable)
#      opens with the shield on OK (screenshot elevated-save-window.png; Wine 8 may not
#      draw the shield); OK starts the save through "runas", waits for it and closes,
#      and the key holds the minutes typed.
#   5. The same with the prompt declined: OK shows "could not be saved" and the window
#      stays with the minutes typed; the key is unchanged.
#   6. "Somnivex.scr /c:4711", and "/s" with no screen saver chosen, open the real
#      settings window.
set -euo pipefail
# shellcheck source=tests/e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

e2e_setup elevated_save

TITLE="Somnivex - Settings"
MANAGER="${E2E_SCR_DIR}"'\Somniconf.exe'
AS_USER="${E2E_SCR_DIR}"'\AsUserManager.exe'
PROBE="${E2E_TOOLS_DIR}"'\options_probe.exe'
KELVANE='C:\Program Files\Brellcor Tools\Kelvane ü\Kelvane.exe'
SAVER='C:\windows\system32\DemoSaver.scr'

e2e_prefix elevated_save
PROGRAM_DIR="$(e2e_unix_path "${E2E_SCR_DIR}")"
mkdir -p "${PROGRAM_DIR}"
cp "${SOMNIVEX_PROGRAMS}/Somniconf.exe" "${SOMNIVEX_FIXTURES}/AsUserManager.exe" "${PROGRAM_DIR}/"
cp "${SOMNIVEX_FIXTURES}/options_probe.exe" "$(e2e_unix_path "${E2E_TOOLS_DIR}")/"
e2e_install_fixture DemoSaver.scr 'C:\windows\system32'
e2e_install_fixture Kelvane.exe 'C:\Program Files\Brellcor Tools\Kelvane ü'
# Where any user can write: each exists, and a run must still not start it.
e2e_install_fixture DemoSaver.scr 'C:\users\Public'
e2e_install_fixture DemoSaver.scr 'C:\windows\temp'
e2e_install_fixture Kelvane.exe 'C:\users\Public' kelvane.exe
# A link in the system folder to one of them: Wine follows a host's symbolic link as
# Windows follows its own.
ln -s "$(e2e_unix_path 'C:\users\Public')/DemoSaver.scr" \
    "$(e2e_unix_path 'C:\windows\system32')/Linked.scr"

# save TAG VALUE...: runs "Somniconf.exe /save VALUE..." and waits for its end; prints
# its exit status.
save() {
    local tag="$1"
    shift
    e2e_start "${tag}" "${MANAGER}" /save "$@"
    if ! e2e_wait_end "${tag}" 60; then
        echo timeout
        return 0
    fi
    awk '{ print $1 }' "${E2E_WORK}/${tag}.exit"
}

# The eleven values as the window sends them, with NAME=VALUE pairs given replacing theirs
# (an empty VALUE drops the value).
request() {
    declare -A v=(
        [RunKelvane]=1 [ConfirmShutdown]=1 [DefaultConfirmYes]=0 [LogDebug]=0
        [LogDir]="${E2E_SCR_DIR}"'\Error.log' [AppPath]="${E2E_SCR_DIR}"
        [KelvanePath]="${KELVANE}" [SelectedScreenSaver]="${SAVER}"
        [ShutdownType]=2 [WaitMinutes]=45 [InstallUpdates]=0)
    local pair name
    for pair in "$@"; do
        name="${pair%%=*}"
        if [[ -z "${pair#*=}" ]]; then unset "v[${name}]"; else v[${name}]="${pair#*=}"; fi
    done
    REQUEST=()
    for name in RunKelvane ConfirmShutdown DefaultConfirmYes LogDebug LogDir AppPath \
        KelvanePath SelectedScreenSaver ShutdownType WaitMinutes InstallUpdates; do
        [[ -n "${v[${name}]+set}" ]] && REQUEST+=("${name}=${v[${name}]}")
    done
}

# probe: the eleven settings as the library reads them, "Name=value" a line (UTF-8).
probe() {
    local out="${E2E_WORK}/probe.out"
    wine "${PROBE}" </dev/null >"${out}" 2>/dev/null || true
    tr -d '\r' <"${out}" | head -n 11
}

# ---------------------------------------------------------------------------- 1
e2e_log "1. the manifest"
level=$(grep -ao 'requestedExecutionLevel level="[A-Za-z]*"' "${SOMNIVEX_PROGRAMS}/Somniconf.exe" || true)
echo "  ${level:-no execution level found}"
e2e_check "Somniconf.exe asks for the invoker's rights (asInvoker)" \
    test "${level}" = 'requestedExecutionLevel level="asInvoker"'

# ---------------------------------------------------------------------------- 2
e2e_log "2. save requests run directly"
request WaitMinutes=0
e2e_check "0 minutes: exit status 2" test "$(save zero "${REQUEST[@]}")" = 2
request KelvanePath=
e2e_check "a value missing: exit status 2" test "$(save missing "${REQUEST[@]}")" = 2
request ShutdownType=20
e2e_check "MS-DOS mode on Windows 10: exit status 2" test "$(save dos "${REQUEST[@]}")" = 2
request SelectedScreenSaver='C:\windows\system32\..\..\users\Public\DemoSaver.scr'
e2e_check "a screen saver reached through '..': exit status 2" \
    test "$(save dots "${REQUEST[@]}")" = 2
request SelectedScreenSaver='C:\windows\temp/DemoSaver.scr'
e2e_check "a screen saver behind a '/': exit status 2" test "$(save slash "${REQUEST[@]}")" = 2
request SelectedScreenSaver='C:\windows\system32\Linked.scr'
e2e_check "a screen saver linked to one any user can write: exit status 2" \
    test "$(save linked "${REQUEST[@]}")" = 2
request KelvanePath='C:\users\Public\kelvane.exe'
e2e_check "a launcher any user can replace: exit status 2" \
    test "$(save public "${REQUEST[@]}")" = 2
request KelvanePath='C:\windows\system32\cmd.exe" /c echo x>C:\e2e\quoted.txt & rem '
e2e_check "a launcher path holding a quote: exit status 2" \
    test "$(save quote "${REQUEST[@]}")" = 2
if e2e_reg_key_exists "${E2E_KEY}"; then
    e2e_fail "nothing was written: the key exists"
    e2e_reg_dump "${E2E_KEY}"
else
    e2e_ok "nothing was written: the key does not exist"
fi

request
t0=$(e2e_now_ms)
e2e_check "the eleven values: exit status 0" test "$(save good "${REQUEST[@]}")" = 0
echo "  the save request took $(($(e2e_now_ms) - t0)) ms"
e2e_check "it opened no window" test -z "$(e2e_ui list | grep -F 'Somnivex' || true)"
e2e_reg_dump "${E2E_KEY}"
stored=$(probe)
sed 's/^/    /' <<<"${stored}"
expected="RunKelvane=true
ConfirmShutdown=true
DefaultConfirmYes=false
LogDebug=false
LogDir=${E2E_SCR_DIR}\\Error.log
AppPath=${E2E_SCR_DIR}
KelvanePath=${KELVANE}
SelectedScreenSaver=${SAVER}
ShutdownType=2
WaitMinutes=45
InstallUpdates=false"
e2e_check "the key holds exactly the eleven values sent" test "${stored}" = "${expected}"

request RunKelvane=0 WaitMinutes=32767
e2e_check "the largest number of minutes: exit status 0" test "$(save most "${REQUEST[@]}")" = 0
e2e_check "32767 minutes were stored" test "$(e2e_reg_get WaitMinutes)" = 0x7fff

# ---------------------------------------------------------------------------- 3
e2e_log "3. a save request beside an open settings window"
e2e_start window "${MANAGER}"
if e2e_ui wait-window --title "${TITLE}" --timeout 25000 >/dev/null; then
    request WaitMinutes=12
    e2e_check "the request is not turned away: exit status 0" test "$(save beside "${REQUEST[@]}")" = 0
    e2e_check "12 minutes were stored" test "$(e2e_reg_get WaitMinutes)" = 0xc
    e2e_check "the settings window is still there" e2e_window_exists "${TITLE}"
    e2e_ui close --title "${TITLE}" >/dev/null || true
    e2e_check "the window closes" e2e_wait_end window 20
else
    e2e_fail "no settings window within 25 s"
fi

# ---------------------------------------------------------------------------- 4
minutes_id() {
    e2e_ui texts --title "${TITLE}" | tr -d '\r' | awk -F'|' '$1 == "Edit" { print $2; exit }'
}

e2e_log "4. OK of a window that may not write the key"
e2e_start as_user "${AS_USER}"
if e2e_ui wait-window --title "${TITLE}" --timeout 25000 >/dev/null; then
    sleep 1
    e2e_shot elevated-save-window || true
    id=$(minutes_id)
    e2e_check "set the minutes to 17" e2e_ui set-text --title "${TITLE}" --id "${id}" 17
    t0=$(e2e_now_ms)
    e2e_check "press OK" e2e_ui click --title "${TITLE}" --text OK
    e2e_check "the window closes once the elevated save has ended" \
        e2e_ui gone --title "${TITLE}" --timeout 30000
    echo "  OK to closed: $(($(e2e_now_ms) - t0)) ms"
    e2e_wait_end as_user 20 || true
    e2e_check "the program ends with 0" test "$(awk '{ print $1 }' "${E2E_WORK}/as_user.exit" 2>/dev/null)" = 0
    e2e_check "17 minutes were stored" test "$(e2e_reg_get WaitMinutes)" = 0x11
    e2e_check "the rest as the window showed it (2: restart)" test "$(e2e_reg_get ShutdownType)" = 0x2
else
    e2e_fail "no settings window within 25 s"
fi

# ---------------------------------------------------------------------------- 5
e2e_log "5. the prompt declined"
e2e_start declined "${AS_USER}" --decline
if e2e_ui wait-window --title "${TITLE}" --timeout 25000 >/dev/null; then
    id=$(minutes_id)
    e2e_ui set-text --title "${TITLE}" --id "${id}" 23 >/dev/null || e2e_fail "set the minutes to 23"
    e2e_ui click --title "${TITLE}" --text OK >/dev/null || e2e_fail "press OK"
    if e2e_ui wait-window --title "Somnivex Manager" --timeout 15000 >/dev/null; then
        message=$(e2e_ui texts --title "Somnivex Manager" | tr -d '\r')
        sed 's/^/    /' <<<"${message}"
        e2e_check "the message says the settings could not be saved" \
            grep -q 'could not be saved' <<<"${message}"
        sleep 1
        e2e_shot elevated-save-declined || true
        e2e_ui click --title "Somnivex Manager" --text OK >/dev/null || true
    else
        e2e_fail "no message within 15 s"
    fi
    e2e_check "the settings window stays" e2e_window_exists "${TITLE}"
    e2e_check "with the minutes typed" test "$(e2e_ui texts --title "${TITLE}" | tr -d '\r' |
        awk -F'|' '$1 == "Edit" { print $4; exit }')" = 23
    e2e_check "the key is unchanged (17 minutes)" test "$(e2e_reg_get WaitMinutes)" = 0x11
    e2e_ui close --title "${TITLE}" >/dev/null || true
    e2e_check "the window closes" e2e_wait_end declined 20
else
    e2e_fail "no settings window within 25 s"
fi

# ---------------------------------------------------------------------------- 6
e2e_log "6. the screen saver opens the manager, for the Settings button and for no choice"
e2e_install_somnivex
e2e_reg_set SelectedScreenSaver REG_SZ ""
for args in /c:4711 /s; do
    t0=$(e2e_now_ms)
    e2e_start scr "${E2E_SCR}" "${args}"
    if e2e_ui wait-window --title "${TITLE}" --timeout 30000 >/dev/null; then
        e2e_ok "Somnivex.scr ${args} opened '${TITLE}' ($(($(e2e_now_ms) - t0)) ms)"
        e2e_check "Somnivex.scr ${args} ends by itself" e2e_wait_end scr 20
        e2e_ui close --title "${TITLE}" >/dev/null || true
        e2e_check "the window closes" e2e_ui gone --title "${TITLE}" --timeout 10000
    else
        e2e_fail "Somnivex.scr ${args} opened no settings window within 30 s"
        e2e_ui list || true
    fi
done

e2e_finish
