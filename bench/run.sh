#!/usr/bin/env bash
# The performance bench, in one command: builds the programs, a minimal Win32 window
# program to compare with and the probe (build/bench-x64), starts a private Xvfb and a
# fresh Wine prefix, measures, prints one table and writes build/bench/results.json.
# See bench/README.md for what each figure means. Takes about five minutes.
#
# Settings (environment):
#   BENCH_REPS           repetitions of the cheap measurements (default 15)
#   BENCH_WAIT_MINUTES   WaitMinutes of the waiting run (default 2: the first minute of
#                        waiting is watched for wake-ups, the second ends in the countdown)
#   BENCH_COUNTDOWN_RUNS runs that end in the countdown, the waiting run and then runs of
#                        one minute (default 3)
#   BENCH_SETTINGS_REPS  rounds of the settings window with 0, 200 and 2,000 screen savers
#                        (default 7)
#   BENCH_BUILD          the build folder (default build/bench-x64)
#   BENCH_RESULTS        where the figures go (default build/bench)
#   SV_JOBS              parallel build jobs (default 2)
set -euo pipefail

BENCH_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "${BENCH_DIR}/.." && pwd)"
# shellcheck source=scripts/lib.sh
source "${ROOT}/scripts/lib.sh"
export LANG=C.UTF-8 LC_ALL=C.UTF-8

BUILD="${BENCH_BUILD:-${ROOT}/build/bench-x64}"
RESULTS="${BENCH_RESULTS:-${ROOT}/build/bench}"
# Enough runs of each figure that one run slowed by a busy moment of a shared machine
# cannot decide its median.
REPS="${BENCH_REPS:-15}"
WAIT_MINUTES="${BENCH_WAIT_MINUTES:-2}"
COUNTDOWN_RUNS="${BENCH_COUNTDOWN_RUNS:-3}"
SETTINGS_REPS="${BENCH_SETTINGS_REPS:-7}"
IDLE_SECONDS=60
TOOLS="${BENCH_DIR}/bench_tools.py"
PREFIX="${BUILD}/wine"
LOGS="${RESULTS}/logs"

# Where everything lives inside the prefix.
SCR_DIR='C:\Program Files\Somnivex'
SCR="${SCR_DIR}"'\Somnivex.scr'
MANAGER="${SCR_DIR}"'\Somniconf.exe'
KEY='HKLM\Software\Brellcor\Somnivex'
BENCH_WIN='C:\bench'
PROBE="${BENCH_WIN}"'\Probe.exe'
MINIMAL="${BENCH_WIN}"'\Minimal.exe'
# Where a run may start it from: a folder only administrators can change.
SAVER_DIR='C:\Program Files\Savers'
SAVER="${SAVER_DIR}"'\DemoSaver.scr'

started_at=$(date +%s)
command -v python3 >/dev/null || sv_die "python3 is needed for the host-side figures"

# ---------------------------------------------------------------------------- build

mkdir -p "${RESULTS}" "${LOGS}"
rm -f "${RESULTS}"/*.txt "${RESULTS}"/*.json
sv_log "configure ${BUILD#"${ROOT}"/}"
sv_run_logged "${LOGS}/configure.log" \
    cmake -S "${BENCH_DIR}" -B "${BUILD}" -DCMAKE_TOOLCHAIN_FILE="${ROOT}/cmake/mingw-x64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSOMNIVEX_TESTS=ON || exit 1
sv_log "build (-j${SV_JOBS:-2})"
sv_run_logged "${LOGS}/build.log" \
    cmake --build "${BUILD}" -j "${SV_JOBS:-2}" \
    --target Somnivex Somniconf demo_saver bench_minimal bench_probe || exit 1

# ---------------------------------------------------------------------------- prefix

trap sv_cleanup EXIT
trap 'exit 130' INT TERM
sv_start_xvfb
sv_log "display ${DISPLAY}, fresh prefix ${PREFIX#"${ROOT}"/}"
sv_new_prefix "${PREFIX}" || exit 1

# The host path of a C: path of the prefix.
unix_path() {
    local p="${1#[Cc]:}"
    printf '%s/drive_c%s' "${PREFIX}" "${p//\\//}"
}

# Windows programs run with their output in a log, never through a pipe that is waited on
# (services started by the first program of a prefix keep it open).
win() {
    wine "$@" </dev/null >>"${LOGS}/wine.out" 2>&1
}

OUT_WIN="${BENCH_WIN}"'\out'
OUT="$(unix_path "${OUT_WIN}")"

# probe NAME COMMAND ARGS...: runs the probe; its figures are appended to NAME.txt.
probe() {
    local name="$1" command="$2"
    shift 2
    win "${PROBE}" "${command}" --out "${OUT_WIN}\\${name}.txt" "$@"
}

# The last value NAME of a probe output file.
last_value() {
    [[ -f "${OUT}/$1.txt" ]] || return 0
    awk -F= -v k="$2" '$1 == k { v = $2 } END { if (v != "") print v }' "${OUT}/$1.txt"
}

reg_set() {
    win reg add "${KEY}" /v "$1" /t "$2" /d "$3" /f /reg:32
}

# demo_saver LINES...: the demo screen saver's control file.
demo_saver() {
    local ini line
    ini="$(unix_path "${SAVER}").ini"
    : >"${ini}"
    for line in "$@"; do
        printf '%s\r\n' "${line}" >>"${ini}"
    done
}

# Xvfb has no window manager: without this, Wine waits two seconds for one whenever a
# window is hidden.
win reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f

mkdir -p "$(unix_path "${SCR_DIR}")" "$(unix_path "${SAVER_DIR}")" "${OUT}"
cp "${BUILD}/bin/Somnivex.scr" "${BUILD}/bin/Somniconf.exe" "$(unix_path "${SCR_DIR}")/"
cp -r "${BUILD}/bin/graphics" "$(unix_path "${SCR_DIR}")/"
cp "${BUILD}/bench/Probe.exe" "${BUILD}/bench/Minimal.exe" "$(unix_path "${BENCH_WIN}")/"
cp "${BUILD}/fixtures/DemoSaver.scr" "$(unix_path "${SAVER_DIR}")/"
reg_set AppPath REG_SZ "${SCR_DIR}"
reg_set SelectedScreenSaver REG_SZ "${SAVER}"
reg_set WaitMinutes REG_DWORD "${WAIT_MINUTES}"

# Wine ends its desktop process shortly after the last program using it has ended and
# starts it again with the next one, which would add its start-up, at random, to the
# programs measured. A program that holds the desktop stays up for the whole bench, as
# the desktop does on Windows.
win "${PROBE}" hold &
# One run of each program first: the first start of each file reads it from disk.
sv_log "warm-up"
probe warmup window --exe "${MINIMAL}" --args 300 --class SomnivexBenchMinimal --title Minimal \
    --timeout 60000 || true
probe warmup window --exe "${SCR}" --args '/a 1234' --class SomnivexForm --title "" || true
probe warmup window --exe "${MANAGER}" --title "Somnivex - Settings" --end close || true

# ---------------------------------------------------------------------------- sizes

for f in "${BUILD}/bin/Somnivex.scr" "${BUILD}/bin/Somniconf.exe" "${BUILD}/bench/Minimal.exe"; do
    echo "$(basename "${f}") $(stat -c %s "${f}")"
done >"${RESULTS}/sizes.txt"

# ---------------------------------------------------------------------------- start-up, memory

sv_log "start-up and memory: Somnivex.scr /a and Minimal, ${REPS} runs each, alternating"
for ((i = 1; i <= REPS; i++)); do
    probe startup_somnivex window --exe "${SCR}" --args '/a 1234' --class SomnivexForm \
        --title "" || true
    probe startup_minimal window --exe "${MINIMAL}" --args 3000 --class SomnivexBenchMinimal \
        --title Minimal || true
    echo "  run ${i}: Somnivex.scr $(last_value startup_somnivex visible_ms) ms" \
        "$(last_value startup_somnivex peak_ws_kb) KiB," \
        "Minimal $(last_value startup_minimal visible_ms) ms" \
        "$(last_value startup_minimal peak_ws_kb) KiB"
done

# ---------------------------------------------------------------------------- preview

sv_log "preview: Somnivex.scr /p -> the chosen screen saver's preview started, ${REPS} runs"
demo_saver 'ignore_input=1' 'outlive_window=1'
for ((i = 1; i <= REPS; i++)); do
    probe preview preview --exe "${SCR}" --saver DemoSaver.scr || true
    echo "  run ${i}: started after $(last_value preview preview_started_ms) ms," \
        "gone $(last_value preview kill_to_saver_gone_ms) ms after Somnivex.scr was killed"
done

# ---------------------------------------------------------------------------- end delay

sv_log "end of the chosen screen saver -> end of Somnivex.scr, ${REPS} runs"
demo_saver 'run_ms=1000' 'ignore_input=1' "log=${BENCH_WIN}\\demo-end.log"
for ((i = 1; i <= REPS; i++)); do
    probe end_delay end-delay --exe "${SCR}" --log "${BENCH_WIN}\\demo-end.log" \
        --saver DemoSaver.scr || true
    echo "  run ${i}: $(last_value end_delay end_to_scr_gone_ms) ms" \
        "(saver gone after $(last_value end_delay end_to_saver_gone_ms) ms)"
done

# ---------------------------------------------------------------------------- waiting

sv_log "waiting run (WaitMinutes ${WAIT_MINUTES}): ${IDLE_SECONDS} s of wake-ups, then the countdown"
demo_saver 'ignore_input=1' "log=${BENCH_WIN}\\demo-wait.log"
rm -f "${OUT}/waiting"
probe wait_run wait-run --exe "${SCR}" --log "${BENCH_WIN}\\demo-wait.log" --saver DemoSaver.scr \
    --wait-s $((WAIT_MINUTES * 60)) --ready "${OUT_WIN}\\waiting" --timeout 30000 &
wait_job=$!
for ((i = 0; i < 400; i++)); do
    [[ -f "${OUT}/waiting" ]] && break
    sleep 0.1
done
if [[ -f "${OUT}/waiting" ]]; then
    # The minimal program idles beside it, as the baseline of what Wine itself wakes.
    probe idle_minimal window --exe "${MINIMAL}" --args $(((IDLE_SECONDS + 15) * 1000)) \
        --class SomnivexBenchMinimal --title Minimal --memory-ms 1000 --timeout 120000 &
    minimal_job=$!
    scr_pid=$(python3 "${TOOLS}" pid "${PREFIX}" Somnivex.scr 10 || true)
    min_pid=$(python3 "${TOOLS}" pid "${PREFIX}" Minimal.exe 20 || true)
    if [[ -n "${scr_pid}" && -n "${min_pid}" ]]; then
        # Both settle: the display is gone, the minimal window is up.
        sleep 3
        python3 "${TOOLS}" sample "${IDLE_SECONDS}" "${RESULTS}/idle.json" \
            somnivex="${scr_pid}" minimal="${min_pid}"
        python3 - "${RESULTS}/idle.json" <<'EOF'
import json, sys
for name, r in json.load(open(sys.argv[1])).items():
    print(f"  {name}: {r['wakeups_per_min']:.1f} wake-ups/min, {r['voluntary_per_min']:.1f} "
          f"voluntary switches/min, {r['threads']} thread(s)")
EOF
    else
        echo "  could not find the Linux processes (Somnivex.scr: '${scr_pid}', Minimal: '${min_pid}')"
    fi
    wait "${minimal_job}" || true
else
    echo "  the waiting run did not get past its start-up display"
fi
wait "${wait_job}" || true
echo "  countdown $(last_value wait_run countdown_late_ms) ms after start + ${WAIT_MINUTES} min" \
    "(start-up display at $(last_value wait_run splash_ms) ms)"
# More runs to the countdown, a minute each.
reg_set WaitMinutes REG_DWORD 1
for ((i = 2; i <= COUNTDOWN_RUNS; i++)); do
    probe wait_run wait-run --exe "${SCR}" --log "${BENCH_WIN}\\demo-wait.log" \
        --saver DemoSaver.scr --wait-s 60 --timeout 30000 || true
    echo "  countdown $(last_value wait_run countdown_late_ms) ms after start + 1 min"
done

# ---------------------------------------------------------------------------- settings window

SYSTEM_DIR="$(unix_path 'C:\windows\system32')"
PARKED="$(unix_path 'C:\parked')"
mkdir -p "${PARKED}"
# Hard links: the same bytes under 2,000 names, each a file of its own to Windows, the
# first 200 named Saver0...., the rest Saver1..... They move into the system folder for
# the runs that list them, so that each round measures the three counts in turn.
for ((n = 1; n <= 2000; n++)); do
    ln -f "${BUILD}/fixtures/DemoSaver.scr" "${PARKED}/Saver$((n <= 200 ? 0 : 1))$(printf %04d ${n}).scr"
done
sv_log "settings window with 0, 200 and 2000 screen savers, ${SETTINGS_REPS} rounds"
for ((i = 1; i <= SETTINGS_REPS; i++)); do
    for count in 0 200 2000; do
        ((count == 0)) || mv -t "${SYSTEM_DIR}" "${PARKED}"/Saver$((count == 200 ? 0 : 1))*.scr
        probe "settings_${count}" window --exe "${MANAGER}" --title "Somnivex - Settings" \
            --end close --poll-ms 2 --timeout 60000 || true
        echo "  round ${i}, ${count}: $(last_value "settings_${count}" visible_ms) ms"
    done
    mv -t "${PARKED}" "${SYSTEM_DIR}"/Saver[01][0-9][0-9][0-9][0-9].scr
done
rm -rf "${PARKED}"

# ---------------------------------------------------------------------------- table

cp "${OUT}"/*.txt "${RESULTS}/" 2>/dev/null || true
echo
python3 "${TOOLS}" report "${RESULTS}"
echo
sv_log "written ${RESULTS#"${ROOT}"/}/results.json; took $(($(date +%s) - started_at)) s"
