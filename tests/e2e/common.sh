# shellcheck shell=bash
# The variables set here are read by the scripts that source this file.
# shellcheck disable=SC2034
# Shared helpers of the end-to-end scripts. Source it after `set -euo pipefail`; do not
# run it. Every script:
#
#   source "$(dirname "$0")/common.sh"
#   e2e_setup NAME                 paths, display, clean-up on exit
#   e2e_prefix DIRNAME             a fresh Wine prefix below the script's Wine folder
#   ... e2e_install_somnivex, e2e_reg_set, e2e_start, e2e_ui, e2e_check ...
#   e2e_finish                     prints "PASS NAME" or "FAIL NAME" and exits
#
# Inputs (from scripts/test.sh; defaults for a run by hand):
#   SOMNIVEX_BIN        the x64 build folder (default build/windows-x64)
#   SOMNIVEX_PROGRAMS   its programs and pictures (default $SOMNIVEX_BIN/bin)
#   SOMNIVEX_FIXTURES   the helper programs (default $SOMNIVEX_BIN/fixtures)
#   SOMNIVEX_SHOTS      where screenshots go (default build/shots)
#   SOMNIVEX_WINE_BASE  a folder for the script's prefixes (default a new folder in /tmp)
#   DISPLAY             an X display (an Xvfb is started when there is none)
#
# Windows programs run in the background through e2e_start, each with its output in a
# file: a program started under Wine may hand its output to services that outlive it, so
# no script ever reads a Wine program through a pipe it waits on.

E2E_COMMON_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
SOMNIVEX_ROOT="${SOMNIVEX_ROOT:-$(cd "${E2E_COMMON_DIR}/../.." && pwd)}"
# shellcheck source=scripts/lib.sh
source "${SOMNIVEX_LIB:-${SOMNIVEX_ROOT}/scripts/lib.sh}"

# Command lines and registry values carry non-Latin letters: Wine converts them with
# the locale's character set.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# Where the programs live inside each prefix.
E2E_SCR_DIR='C:\Program Files\Somnivex'
E2E_SCR="${E2E_SCR_DIR}"'\Somnivex.scr'
E2E_KEY='HKLM\Software\Brellcor\Somnivex'
E2E_HANDLES_KEY='HKLM\Software\Brellcor\Window Handles'
E2E_TOOLS_DIR='C:\e2e'
E2E_UI="${E2E_TOOLS_DIR}"'\UiDriver.exe'

E2E_NAME=""
E2E_FAILURES=0
E2E_OWN_BASE=0
E2E_XVFB_PIDS=()

e2e_log() {
    printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*"
}

e2e_now_ms() {
    date +%s%3N
}

# e2e_setup NAME: resolves the inputs, makes sure there is a display, installs the
# clean-up. Sets E2E_BASE (the prefixes' folder) and E2E_WORK (scratch files).
e2e_setup() {
    E2E_NAME="$1"
    SOMNIVEX_BIN="${SOMNIVEX_BIN:-${SOMNIVEX_ROOT}/build/windows-x64}"
    SOMNIVEX_PROGRAMS="${SOMNIVEX_PROGRAMS:-${SOMNIVEX_BIN}/bin}"
    SOMNIVEX_FIXTURES="${SOMNIVEX_FIXTURES:-${SOMNIVEX_BIN}/fixtures}"
    SOMNIVEX_SHOTS="${SOMNIVEX_SHOTS:-${SOMNIVEX_ROOT}/build/shots}"
    if [[ -n "${SOMNIVEX_WINE_BASE:-}" ]]; then
        E2E_BASE="${SOMNIVEX_WINE_BASE}"
    else
        E2E_BASE="$(mktemp -d "/tmp/somnivex-e2e-${E2E_NAME}.XXXXXX")"
        E2E_OWN_BASE=1
    fi
    mkdir -p "${E2E_BASE}" "${SOMNIVEX_SHOTS}"
    E2E_WORK="${E2E_BASE}/work"
    mkdir -p "${E2E_WORK}"
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM

    local missing=0 f
    for f in "${SOMNIVEX_PROGRAMS}/Somnivex.scr" "${SOMNIVEX_FIXTURES}/DemoSaver.scr" \
        "${SOMNIVEX_FIXTURES}/Kelvane.exe" "${SOMNIVEX_FIXTURES}/Witness.exe" \
        "${SOMNIVEX_FIXTURES}/UiDriver.exe"; do
        if [[ ! -f "${f}" ]]; then
            echo "missing build output: ${f}"
            missing=1
        fi
    done
    if ((missing)); then
        echo "FAIL ${E2E_NAME} (build the windows-x64 preset first)"
        exit 1
    fi
    sv_ensure_display
    e2e_log "${E2E_NAME}: display ${DISPLAY}, prefixes in ${E2E_BASE}"
}

# Ends every wineserver of the script's prefixes (and so every program in them) and the
# displays the script started.
e2e_cleanup() {
    local prefix pid
    for prefix in "${E2E_BASE:-/nonexistent}"/*/; do
        [[ -d "${prefix}drive_c" ]] || continue
        WINEPREFIX="${prefix%/}" wineserver -k </dev/null >/dev/null 2>&1 || true
    done
    # The script's own background jobs (waiters, parallel runs) have nothing left to wait for.
    for pid in $(jobs -p); do
        kill "${pid}" 2>/dev/null || true
    done
    for pid in "${E2E_XVFB_PIDS[@]}"; do
        kill "${pid}" 2>/dev/null || true
        wait "${pid}" 2>/dev/null || true
    done
    E2E_XVFB_PIDS=()
    sv_cleanup
    if ((E2E_OWN_BASE)) && ((E2E_FAILURES == 0)); then
        rm -rf "${E2E_BASE}"
    fi
}

# e2e_private_display: starts another Xvfb (1280x1024) on a free display from :150 on,
# for a part of a script that runs beside another one and must not share its screen.
# Sets E2E_NEW_DISPLAY. Call it from the script's own shell, not from a subshell.
e2e_private_display() {
    local n waited pid
    for ((n = 150; n < 250; n++)); do
        [[ -e "/tmp/.X${n}-lock" || -e "/tmp/.X11-unix/X${n}" ]] && continue
        Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        pid=$!
        for ((waited = 0; waited < 100; waited++)); do
            if [[ -S "/tmp/.X11-unix/X${n}" ]]; then
                E2E_XVFB_PIDS+=("${pid}")
                E2E_NEW_DISPLAY=":${n}"
                return 0
            fi
            kill -0 "${pid}" 2>/dev/null || break
            sleep 0.1
        done
        kill "${pid}" 2>/dev/null || true
    done
    echo "could not start a private Xvfb" >&2
    return 1
}

# ---------------------------------------------------------------------------- checks

# e2e_ok TEXT / e2e_fail TEXT: one line per check; failures are counted.
e2e_ok() {
    echo "  ok: $*"
}

e2e_fail() {
    echo "  FAILED: $*"
    E2E_FAILURES=$((E2E_FAILURES + 1))
}

# e2e_check TEXT command...: runs the command as the check.
e2e_check() {
    local what="$1"
    shift
    if "$@"; then e2e_ok "${what}"; else e2e_fail "${what}"; fi
}

# e2e_finish: the verdict line and the exit status.
e2e_finish() {
    if ((E2E_FAILURES == 0)); then
        echo "PASS ${E2E_NAME}"
        exit 0
    fi
    echo "FAIL ${E2E_NAME} (${E2E_FAILURES} failed check(s))"
    exit 1
}

# ---------------------------------------------------------------------------- prefix

# e2e_prefix DIRNAME: a fresh prefix "$E2E_BASE/DIRNAME", exported as WINEPREFIX, with
# the UI driver in C:\e2e and the desktop already started.
e2e_prefix() {
    local dir="${E2E_BASE}/$1"
    sv_new_prefix "${dir}" || return 1
    mkdir -p "$(e2e_unix_path "${E2E_TOOLS_DIR}")"
    cp "${SOMNIVEX_FIXTURES}/UiDriver.exe" "$(e2e_unix_path "${E2E_TOOLS_DIR}")/"
    # Xvfb has no window manager. A window that Wine leaves to one waits two seconds for
    # an answer whenever it is hidden, which would blur every timing measured here; Wine
    # then places its windows itself, as Windows does.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        </dev/null >"${E2E_WORK}/reg.out" 2>&1 || return 1
    # The first window-related start in a prefix brings up Wine's desktop; do it now so
    # that no timing below pays for it.
    e2e_ui list >/dev/null || true
}

# e2e_unix_path 'C:\a\b': the host path of a file on drive C of the current prefix.
e2e_unix_path() {
    local p="$1"
    p="${p#[Cc]:}"
    p="${p//\\//}"
    printf '%s/drive_c%s' "${WINEPREFIX}" "${p}"
}

# e2e_install_somnivex: Somnivex.scr and its pictures into C:\Program Files\Somnivex.
e2e_install_somnivex() {
    local dir
    dir="$(e2e_unix_path "${E2E_SCR_DIR}")"
    mkdir -p "${dir}"
    cp "${SOMNIVEX_PROGRAMS}/Somnivex.scr" "${dir}/"
    cp -r "${SOMNIVEX_PROGRAMS}/graphics" "${dir}/"
}

# e2e_install_fixture FILE 'C:\folder' [NEWNAME]: copies a helper program into the prefix.
e2e_install_fixture() {
    local file="$1" windir="$2" name="${3:-$1}" dir
    dir="$(e2e_unix_path "${windir}")"
    mkdir -p "${dir}"
    cp "${SOMNIVEX_FIXTURES}/${file}" "${dir}/${name}"
}

# e2e_demo_saver 'C:\folder' LINES...: installs the demo screen saver with its control
# file (one "name=value" per argument).
e2e_demo_saver() {
    local windir="$1" dir line
    shift
    e2e_install_fixture DemoSaver.scr "${windir}"
    dir="$(e2e_unix_path "${windir}")"
    : >"${dir}/DemoSaver.scr.ini"
    for line in "$@"; do
        printf '%s\r\n' "${line}" >>"${dir}/DemoSaver.scr.ini"
    done
}

# ---------------------------------------------------------------------------- registry

# e2e_reg_set NAME TYPE DATA [KEY]: writes a value in the 32-bit view (the one the
# programs use). KEY defaults to the options key.
e2e_reg_set() {
    local name="$1" type="$2" data="$3" key="${4:-${E2E_KEY}}"
    wine reg add "${key}" /v "${name}" /t "${type}" /d "${data}" /f /reg:32 \
        </dev/null >"${E2E_WORK}/reg.out" 2>&1
}

# e2e_reg_value KEY NAME [VIEW]: prints a value's data ("0x1e" for numbers) as reg query
# shows it, in the registry view VIEW (/reg:32, /reg:64, or none); false when the value
# does not exist.
e2e_reg_value() {
    local key="$1" name="$2" out="${E2E_WORK}/reg.$BASHPID.out"
    local view=("${@:3}")
    wine reg query "${key}" /v "${name}" "${view[@]}" </dev/null >"${out}" 2>&1 || return 1
    tr -d '\r' <"${out}" | awk -v name="${name}" '
        tolower($1) == tolower(name) && $2 ~ /^REG_/ {
            line = $0
            sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]*/, "", line)
            print line
            found = 1
        }
        END { exit found ? 0 : 1 }'
}

# e2e_reg_get NAME [KEY]: a settings value, in the 32-bit view the programs use.
e2e_reg_get() {
    e2e_reg_value "${2:-${E2E_KEY}}" "$1" /reg:32
}

# e2e_reg_dump KEY: prints the whole key (for the log).
e2e_reg_dump() {
    local out="${E2E_WORK}/reg.$BASHPID.out"
    wine reg query "$1" /s /reg:32 </dev/null >"${out}" 2>&1 || true
    tr -d '\r' <"${out}" | sed 's/^/    /'
}

e2e_reg_key_exists() {
    wine reg query "$1" /reg:32 </dev/null >/dev/null 2>&1
}

# ---------------------------------------------------------------------------- programs

# e2e_start TAG PROGRAM ARGS...: starts a Windows program in the background; when it
# ends, the file "$E2E_WORK/TAG.exit" receives "<exit status> <epoch ms>".
e2e_start() {
    local tag="$1"
    shift
    rm -f "${E2E_WORK}/${tag}.exit"
    (
        rc=0
        wine "$@" </dev/null >"${E2E_WORK}/${tag}.out" 2>&1 || rc=$?
        echo "${rc} $(date +%s%3N)" >"${E2E_WORK}/${tag}.exit"
    ) &
}

# e2e_ended TAG: true once the program started as TAG has ended.
e2e_ended() {
    [[ -f "${E2E_WORK}/$1.exit" ]]
}

# e2e_end_ms TAG: the epoch milliseconds at which it ended.
e2e_end_ms() {
    awk '{ print $2 }' "${E2E_WORK}/$1.exit"
}

# e2e_wait_end TAG SECONDS: waits until the program has ended; false on time-out.
e2e_wait_end() {
    local tag="$1" deadline
    deadline=$(($(e2e_now_ms) + $2 * 1000))
    while ! e2e_ended "${tag}"; do
        (($(e2e_now_ms) < deadline)) || return 1
        sleep 0.1
    done
}

# e2e_ui ARGS...: runs the UI driver (see tests/fixtures/ui_driver.cpp); prints what it
# printed and returns its status.
e2e_ui() {
    local out="${E2E_WORK}/ui.$BASHPID.out" rc=0
    wine "${E2E_UI}" "$@" </dev/null >"${out}" 2>"${out}.err" || rc=$?
    cat "${out}"
    return "${rc}"
}

# ---------------------------------------------------------------------------- event log

# Wine keeps no event log: its ReportEventW prints each event on debug channels instead
# (the format is described in eventlog.awk). A program started with
# e2e_start_traced prints them into TAG.out, and so do the programs it starts.
E2E_EVENTLOG_DEBUG='-all,+eventlog,fixme+advapi'

# e2e_start_traced TAG PROGRAM ARGS...: e2e_start, with the events it writes kept.
e2e_start_traced() {
    WINEDEBUG="${E2E_EVENTLOG_DEBUG}" e2e_start "$@"
}

# e2e_events TAG: the events written so far by the program started as TAG, one a line in
# the order written: id, type ("information", "warning", "error") and each insertion
# string as Wine quotes it ("C:\\Savers\\DemoSaver.scr"), separated by tabs.
e2e_events() {
    [[ -f "${E2E_WORK}/$1.out" ]] || return 0
    awk -f "${E2E_COMMON_DIR}/eventlog.awk" "${E2E_WORK}/$1.out"
}

# e2e_event_ids TAG: the ids only, on one line ("1000 1030 1040").
e2e_event_ids() {
    e2e_events "$1" | cut -f1 | tr '\n' ' ' | sed 's/ $//'
}

# e2e_event TAG ID: the first event with that id, as e2e_events prints it; false when
# there is none.
e2e_event() {
    e2e_events "$1" | awk -F'\t' -v id="$2" '$1 == id && !found { print; found = 1 } END { exit !found }'
}

# e2e_wine_quoted TEXT: TEXT as Wine prints an insertion string of printable ASCII,
# for comparing with what e2e_events prints.
e2e_wine_quoted() {
    local text="${1//\\/\\\\}"
    printf '"%s"' "${text//\"/\\\"}"
}

# e2e_wait_event TAG ID SECONDS: waits until the program has written event ID.
e2e_wait_event() {
    local deadline
    deadline=$(($(e2e_now_ms) + $3 * 1000))
    until e2e_event "$1" "$2" >/dev/null; do
        (($(e2e_now_ms) < deadline)) || return 1
        sleep 0.2
    done
}

# e2e_window_exists TITLE: true when a visible window with that caption is there now.
e2e_window_exists() {
    e2e_ui wait-window --title "$1" --timeout 500 >/dev/null
}

# e2e_wait_line FILE REGEX SECONDS: waits until a line of FILE matches the extended
# regular expression; false on time-out.
e2e_wait_line() {
    local file="$1" regex="$2" deadline
    deadline=$(($(e2e_now_ms) + $3 * 1000))
    until [[ -f "${file}" ]] && tr -d '\r' <"${file}" | grep -qE -- "${regex}"; do
        (($(e2e_now_ms) < deadline)) || return 1
        sleep 0.2
    done
}

# e2e_has_line FILE REGEX: true when a line of FILE matches now.
e2e_has_line() {
    [[ -f "$1" ]] && tr -d '\r' <"$1" | grep -qE -- "$2"
}

# e2e_show_file TITLE FILE: copies a log into the script's output.
e2e_show_file() {
    echo "  --- $1"
    if [[ -f "$2" ]]; then tr -d '\r' <"$2" | sed 's/^/    /'; else echo "    (no file)"; fi
}

# ---------------------------------------------------------------------------- screen

# e2e_shot NAME: the whole screen of DISPLAY as $SOMNIVEX_SHOTS/NAME.png. xwd can lose a
# race with a window that is just being destroyed, so it is tried again, and import is
# the last resort.
e2e_shot() {
    local file="${SOMNIVEX_SHOTS}/$1.png"
    mkdir -p "${SOMNIVEX_SHOTS}"
    for _ in 1 2 3; do
        if xwd -root -silent -display "${DISPLAY}" 2>/dev/null |
            convert xwd:- "${file}" 2>/dev/null; then
            e2e_log "screenshot ${file}"
            return 0
        fi
        sleep 0.2
    done
    if import -display "${DISPLAY}" -window root "${file}" </dev/null >/dev/null 2>&1; then
        e2e_log "screenshot ${file}"
        return 0
    fi
    echo "  (no screenshot ${file})"
    return 1
}

# e2e_run_parallel STARTED JOB:DISPLAY...: runs the functions run_JOB DISPLAY side by side,
# each with its output in a log, then prints every log in the order given and counts each
# failed job. STARTED is the script's start in ms, for the timings.
e2e_run_parallel() {
    local started="$1" spec job rc
    shift
    declare -A pids=()
    for spec in "$@"; do
        job="${spec%%:*}"
        ("run_${job}" "${spec#*:}") >"${E2E_BASE}/${job}.log" 2>&1 &
        pids[${job}]=$!
        e2e_log "run ${job} started on ${spec#*:}"
    done
    for spec in "$@"; do
        job="${spec%%:*}"
        rc=0
        wait "${pids[${job}]}" || rc=$?
        echo
        echo "==== run ${job} ($(($(e2e_now_ms) - started)) ms into the script)"
        cat "${E2E_BASE}/${job}.log"
        if ((rc != 0)); then
            E2E_FAILURES=$((E2E_FAILURES + 1))
            echo "run ${job}: FAILED"
        else
            echo "run ${job}: passed"
        fi
    done
    echo "  total $(($(e2e_now_ms) - started)) ms"
}
