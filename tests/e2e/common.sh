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
# Where a run may start a screen saver or launcher from: only administrators can change
# Program Files. (C:\e2e, which any user could, holds the helper programs only.)
E2E_SAVERS_DIR='C:\Program Files\Savers'
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

# e2e_private_display [SCREEN [FIRST]]: starts another Xvfb (SCREEN, default 1280x1024x24)
# on a free display from :FIRST (default 150) on, for a part of a script that runs beside
# another one and must not share its screen. Sets E2E_NEW_DISPLAY. Call it from the
# script's own shell, not from a subshell.
e2e_private_display() {
    local screen="${1:-1280x1024x24}" first="${2:-150}" n waited pid
    for ((n = first; n < first + 100; n++)); do
        [[ -e "/tmp/.X${n}-lock" || -e "/tmp/.X11-unix/X${n}" ]] && continue
        Xvfb ":${n}" -screen 0 "${screen}" -nolisten tcp </dev/null >/dev/null 2>&1 &
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

# e2e_installed_files: E2E_INSTALLED, the files an installer puts in the program folder
# (paths below it, with "/") and the build's file each must equal.
e2e_installed_files() {
    declare -gA E2E_INSTALLED=(
        ['Somniconf.exe']="${SOMNIVEX_PROGRAMS}/Somniconf.exe"
        ['Somnivex.scr']="${SOMNIVEX_PROGRAMS}/Somnivex.scr"
        ['Somnivex.html']="${SOMNIVEX_PROGRAMS}/Somnivex.html"
        ['graphics/SomnivexLgeTxt.GIF']="${SOMNIVEX_PROGRAMS}/graphics/SomnivexLgeTxt.GIF"
        ['graphics/Brellcor.gif']="${SOMNIVEX_PROGRAMS}/graphics/Brellcor.gif"
        ['LICENSE.txt']="${SOMNIVEX_ROOT}/LICENSE.txt"
        ['policies/Somnivex.admx']="${SOMNIVEX_ROOT}/policies/Somnivex.admx"
        ['policies/en-US/Somnivex.adml']="${SOMNIVEX_ROOT}/policies/en-US/Somnivex.adml"
    )
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

# e2e_reg_typed KEY NAME [VIEW]: prints "TYPE|data" of a value ("REG_DWORD|0x1e") as reg
# query shows it, in the registry view VIEW (/reg:32, /reg:64, or none); false when the
# value does not exist. A query that fails without saying the value is missing (a reg
# started while the machine is busy) is asked again.
e2e_reg_typed() {
    local key="$1" name="$2" out="${E2E_WORK}/reg.$BASHPID.out" try
    local view=("${@:3}")
    for try in 1 2 3; do
        if wine reg query "${key}" /v "${name}" "${view[@]}" </dev/null >"${out}" 2>&1; then
            tr -d '\r' <"${out}" | awk -v name="${name}" '
                tolower($1) == tolower(name) && $2 ~ /^REG_/ {
                    data = $0
                    sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]*/, "", data)
                    print $2 "|" data
                    found = 1
                }
                END { exit found ? 0 : 1 }' && return 0
        elif grep -qiE 'unable to find|not find|cannot find' "${out}"; then
            return 1
        fi
        ((try < 3)) && sleep 0.5
    done
    return 1
}

# e2e_reg_value KEY NAME [VIEW]: the data alone ("0x1e" for numbers), as e2e_reg_typed.
e2e_reg_value() {
    local typed
    typed=$(e2e_reg_typed "$@") || return 1
    printf '%s\n' "${typed#*|}"
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

# ---------------------------------------------------------------------------- watchers

# A window that shows for a few seconds is timed and read by one long-lived UI driver
# (its `watch` command) started before the window can appear: on a loaded machine a
# driver started afterwards may come up after the window has gone, and the start-up of
# each driver would be added to any time measured from the script.

# e2e_watch TAG WINDOW... [--timeout MS]: starts the watcher and returns once it looks.
e2e_watch() {
    local tag="$1"
    shift
    e2e_start "${tag}" "${E2E_UI}" watch "$@"
    e2e_wait_line "${E2E_WORK}/${tag}.out" '^watching$' 60
}

# e2e_watch_seen TAG SECONDS: waits until the watcher has seen its window and prints the
# window's line (as wait-window prints it); false when it was not seen in time.
e2e_watch_seen() {
    e2e_wait_line "${E2E_WORK}/$1.out" '^hwnd=' "$2" || return 1
    tr -d '\r' <"${E2E_WORK}/$1.out" | grep -m1 '^hwnd='
}

# e2e_watch_seen_ms TAG: the epoch milliseconds at which the watcher saw the window.
e2e_watch_seen_ms() {
    tr -d '\r' <"${E2E_WORK}/$1.out" | sed -n 's/^seen=\([0-9]*\)$/\1/p' | head -n 1
}

# e2e_watch_texts TAG: the window's controls as the watcher read them when it appeared,
# one "class|id|visible|text" a line.
e2e_watch_texts() {
    tr -d '\r' <"${E2E_WORK}/$1.out" | grep -E '^[^|= ]+\|-?[0-9]+\|[01]\|' || true
}

# e2e_watch_shown TAG SECONDS: waits until the window has gone and prints how long it was
# on screen, in ms; false when it is still there.
e2e_watch_shown() {
    e2e_wait_line "${E2E_WORK}/$1.out" '^shown=[0-9]+ ' "$2" || return 1
    tr -d '\r' <"${E2E_WORK}/$1.out" | sed -n 's/^shown=\([0-9]*\) .*/\1/p' | head -n 1
}

# ---------------------------------------------------------------------------- runs

# e2e_run_prefix NAME: everything one of a script's screen-saver runs starts from: a work
# folder of its own, the fresh prefix NAME, Somnivex.scr installed and its folder recorded
# as AppPath. Sets E2E_WORK and LOGS (the host folder of C:\e2e, where the helper programs
# write their logs).
e2e_run_prefix() {
    E2E_WORK="${E2E_BASE}/work-$1"
    mkdir -p "${E2E_WORK}"
    e2e_prefix "$1"
    e2e_install_somnivex
    e2e_reg_set AppPath REG_SZ "${E2E_SCR_DIR}"
    LOGS="$(e2e_unix_path "${E2E_TOOLS_DIR}")"
}

# e2e_start_witness: the witness window (C:\e2e\Witness.exe, logging to witness.log in
# LOGS), ready to record an end of the session.
e2e_start_witness() {
    e2e_install_fixture Witness.exe "${E2E_TOOLS_DIR}"
    e2e_start witness 'C:\e2e\Witness.exe' 'C:\e2e\witness.log'
    e2e_wait_line "${LOGS}/witness.log" '^ready$' 20 || e2e_fail "the witness window did not start"
}

# e2e_no_session_end: true when no end-of-session message has reached the witness.
e2e_no_session_end() {
    test -z "$(tr -d '\r' <"${LOGS}/witness.log" | grep -E '^(query)?endsession' || true)"
}

E2E_WATCHES=0

# e2e_start_run [TAG]: starts "Somnivex.scr /s" as TAG (default run), its events kept as
# e2e_start_traced keeps them, and waits for its splash, seen by a watcher that looks
# before the start. Sets T0 and T_SPLASH (the epoch ms of the start and of the splash;
# T_SPLASH is T0 when no splash was seen) and SPLASH_WATCH (the watcher's tag).
e2e_start_run() {
    local tag="${1:-run}"
    E2E_WATCHES=$((E2E_WATCHES + 1))
    SPLASH_WATCH="splash${E2E_WATCHES}"
    e2e_watch "${SPLASH_WATCH}" --class SomnivexForm --title "" --timeout 20000 ||
        e2e_fail "the window watcher did not start"
    T0=$(e2e_now_ms)
    e2e_start_traced "${tag}" "${E2E_SCR}" /s
    if e2e_watch_seen "${SPLASH_WATCH}" 25 >/dev/null; then
        T_SPLASH=$(e2e_watch_seen_ms "${SPLASH_WATCH}")
        echo "  splash on screen $((T_SPLASH - T0)) ms after the start"
    else
        T_SPLASH=${T0}
        e2e_fail "no splash window within 25 s"
    fi
}

# e2e_wait_countdown SECONDS: waits for the countdown window, seen by a watcher started
# now. Sets T_COUNTDOWN (the epoch ms it was seen, or now when it was not),
# COUNTDOWN_FOUND (its wait-window line) and COUNTDOWN_WATCH (the watcher's tag); false
# when it did not appear in time.
e2e_wait_countdown() {
    COUNTDOWN_FOUND=""
    E2E_WATCHES=$((E2E_WATCHES + 1))
    COUNTDOWN_WATCH="countdown${E2E_WATCHES}"
    e2e_watch "${COUNTDOWN_WATCH}" --class SomnivexForm --title Somnivex \
        --timeout "$(($1 * 1000))" || e2e_fail "the window watcher did not start"
    if COUNTDOWN_FOUND=$(e2e_watch_seen "${COUNTDOWN_WATCH}" "$(($1 + 5))"); then
        T_COUNTDOWN=$(e2e_watch_seen_ms "${COUNTDOWN_WATCH}")
        return 0
    fi
    T_COUNTDOWN=$(e2e_now_ms)
    return 1
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
# string as Wine quotes it ("C:\\Windows\\DemoSaver.scr"), separated by tabs.
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
