#!/usr/bin/env bash
# Runs every test tier and ends with one line "N passed, M failed":
#
#   1. linux        the portable core: unit tests and contract tests against the fakes;
#                   the Group Policy templates checked against the programs
#   2. windows-x64  cross build; contract tests against Win32 under Wine and Xvfb
#   3. imports      the DLLs both x64 programs import are all Windows' own
#   4. windows-x86  cross build, compiled only (32-bit programs cannot run here)
#   5. e2e          every executable tests/e2e/*.sh against the x64 build
#   6. fuzz         a short run of each fuzzer (clang, libFuzzer) over its corpus
#
# All tiers run even when one fails; the exit status is non-zero when any did.
# Build logs go to build/logs; the Wine prefix of tier 2 is build/wine/test.
#
# An end-to-end script passes when it exits with 0. It runs with the X display in
# DISPLAY and these variables (absolute paths):
#   SOMNIVEX_ROOT       the source tree
#   SOMNIVEX_LIB        scripts/lib.sh, to source for sv_new_prefix, sv_screenshot, ...
#   SOMNIVEX_BIN        the x64 build folder (build/windows-x64)
#   SOMNIVEX_PROGRAMS   the built programs and their pictures (build/windows-x64/bin)
#   SOMNIVEX_FIXTURES   the helper programs (build/windows-x64/fixtures)
#   SOMNIVEX_SHOTS      the folder for screenshots (build/shots); name them after the script
#   SOMNIVEX_WINE_BASE  an empty folder of its own, for its Wine prefix(es):
#                       sv_new_prefix "$SOMNIVEX_WINE_BASE/prefix"
# Its output goes to build/logs/e2e/NAME.log; its folder is removed when it passes.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "${ROOT}"
# shellcheck source=scripts/lib.sh
source "${ROOT}/scripts/lib.sh"
trap sv_cleanup EXIT
trap 'exit 130' INT TERM

JOBS=2
export SV_JOBS="${JOBS}"
LOGS="${ROOT}/build/logs"
# Longest a single ctest entry may run (the Wine one runs a whole executable).
TEST_TIMEOUT=900
# Longest an end-to-end script may run.
E2E_TIMEOUT=900

TIER_NAMES=()
TIER_OK=()
TIER_PASSED=()
TIER_FAILED=()
TIER_SECONDS=()
TIER_NOTES=()

record_tier() { # name ok(0/1) passed failed seconds note
    TIER_NAMES+=("$1")
    TIER_OK+=("$2")
    TIER_PASSED+=("$3")
    TIER_FAILED+=("$4")
    TIER_SECONDS+=("$5")
    TIER_NOTES+=("$6")
}

banner() {
    printf '\n==== %s ====\n' "$*"
}

# ctest_counts LOG: prints "passed failed" from ctest's summary line, or nothing.
ctest_counts() {
    sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$1" |
        tail -n 1 | { read -r failed total && echo "$((total - failed)) ${failed}"; } || true
}

# wine_counts LOG: prints "passed failed" for a verbose ctest log. An entry that ran a
# GoogleTest executable counts its tests ("[  PASSED  ] N tests.", "[  FAILED  ] N tests,
# listed below"); an entry that ctest lists as failed without a failed test of its own (a
# crash, a timeout) adds one failure; any other entry counts as one test. Entries that
# did not run count neither way.
wine_counts() {
    awk '
        { sub(/\r$/, "") }
        /^The following tests FAILED:/ { section = "failed"; next }
        /^The following tests did not run:/ { section = "notrun"; next }
        section != "" {
            if ($0 ~ /^[ \t]+[0-9]+ - /) {
                t = $0; sub(/^[ \t]+/, "", t); sub(/ .*/, "", t)
                if (section == "failed") bad[t] = 1; else notrun[t] = 1
                next
            }
            section = ""
        }
        /^[0-9]+: / {
            n = $0; sub(/:.*/, "", n)
            line = $0; sub(/^[0-9]+: /, "", line)
            if (line ~ /^\[  PASSED  \] [0-9]+ tests?\./) {
                split(line, f, " "); gp[n] += f[4]; gtest[n] = 1
            } else if (line ~ /^\[  FAILED  \] [0-9]+ tests?, listed below/) {
                split(line, f, " "); gf[n] += f[4]; gtest[n] = 1
            }
            next
        }
        /^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / {
            t = $0; sub(/^.*Test +#/, "", t); sub(/:.*/, "", t)
            seen[t] = 1
        }
        END {
            p = 0; m = 0
            for (t in seen) {
                if (t in notrun) continue
                if (t in gtest) {
                    p += gp[t]; m += gf[t]
                    if ((t in bad) && gf[t] == 0) m += 1
                } else if (t in bad) {
                    m += 1
                } else {
                    p += 1
                }
            }
            print p, m
        }
    ' "$1"
}

# ---------------------------------------------------------------------------- tiers

tier_linux() {
    banner "linux: unit and contract tests against the fakes"
    local start ok=1 passed=0 failed=0 note="" counts log="${LOGS}/linux-ctest.log"
    start=$(sv_now)
    if ! sv_configure_and_build linux; then
        ok=0 failed=1 note="build failed"
    else
        sv_log "ctest linux"
        if ! ctest --preset linux -j "${JOBS}" --timeout "${TEST_TIMEOUT}" --output-log "${log}"; then
            ok=0
        fi
        counts=$(ctest_counts "${log}")
        if [[ -n "${counts}" ]]; then
            read -r passed failed <<<"${counts}"
        elif grep -q 'No tests were found' "${log}"; then
            note="no tests"
        else
            failed=1 note="ctest gave no summary"
        fi
        ((failed == 0)) || ok=0
        if ((ok == 0 && failed == 0)); then failed=1 note="ctest failed"; fi
    fi
    record_tier linux "${ok}" "${passed}" "${failed}" "$(($(sv_now) - start))" "${note}"
}

X64_BUILT=0

tier_windows_x64() {
    banner "windows-x64: contract tests against Win32 under Wine"
    local start ok=1 passed=0 failed=0 note="" counts log="${LOGS}/windows-x64-ctest.log"
    start=$(sv_now)
    if ! sv_configure_and_build windows-x64; then
        record_tier windows-x64 0 0 1 "$(($(sv_now) - start))" "build failed"
        return
    fi
    X64_BUILT=1
    if [[ -z "${SV_XVFB_PID}" ]] && ! sv_start_xvfb; then
        record_tier windows-x64 0 0 1 "$(($(sv_now) - start))" "no X display"
        return
    fi
    sv_log "fresh Wine prefix build/wine/test (DISPLAY=${DISPLAY})"
    if ! sv_new_prefix "${ROOT}/build/wine/test"; then
        record_tier windows-x64 0 0 1 "$(($(sv_now) - start))" "no Wine prefix"
        return
    fi
    sv_log "ctest windows-x64"
    # ctest writes its own log: no pipe here, as a program started under Wine may keep
    # its output open for as long as the wineserver runs.
    if ! GTEST_COLOR=no ctest --preset windows-x64 --timeout "${TEST_TIMEOUT}" \
        --output-log "${log}" </dev/null; then
        ok=0
    fi
    sv_stop_prefix "${ROOT}/build/wine/test"
    counts=$(wine_counts "${log}")
    read -r passed failed <<<"${counts}"
    if grep -q 'No tests were found' "${log}"; then note="no tests"; fi
    ((failed == 0)) || ok=0
    if ((ok == 0 && failed == 0)); then failed=1 note="ctest failed"; fi
    record_tier windows-x64 "${ok}" "${passed}" "${failed}" "$(($(sv_now) - start))" "${note}"
}

# The DLLs the programs may import. Windows loads a "known DLL" from the system folder
# whatever lies beside a program; comctl32 comes from the side-by-side common controls
# that both manifests ask for. Any other import would be looked for in the program's own
# folder first, before the program could restrict the search: it must be found at run
# time instead (LoadLibraryExW with LOAD_LIBRARY_SEARCH_SYSTEM32).
ALLOWED_IMPORTS=(advapi32 clbcatq combase comctl32 comdlg32 coml2 gdi32 gdiplus imagehlp imm32
    kernel32 msctf msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi
    shcore shell32 shlwapi user32 wldap32 ws2_32)

tier_imports() {
    banner "imports: both x64 programs import system DLLs only"
    local start passed=0 failed=0 program dll dlls objdump=objdump
    start=$(sv_now)
    if ((X64_BUILT == 0)); then
        record_tier imports 0 0 1 "$(($(sv_now) - start))" "x64 build failed, not checked"
        return
    fi
    command -v x86_64-w64-mingw32-objdump >/dev/null && objdump=x86_64-w64-mingw32-objdump
    for program in Somnivex.scr Somniconf.exe; do
        local bad=()
        dlls=$("${objdump}" -p "${ROOT}/build/windows-x64/bin/${program}" |
            sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u)
        for dll in ${dlls}; do
            if [[ " ${ALLOWED_IMPORTS[*]} " != *" ${dll%.dll} "* ]]; then
                bad+=("${dll}")
            elif [[ "${dll}" == comctl32.dll ]] &&
                ! grep -q 'Microsoft.Windows.Common-Controls' "${ROOT}"/resources/*.manifest; then
                bad+=("${dll} (no side-by-side binding in the manifests)")
            fi
        done
        echo "  ${program}: ${dlls//$'\n'/ }"
        if [[ -z "${dlls}" ]]; then
            echo "FAIL ${program}: no imports listed"
            failed=$((failed + 1))
        elif ((${#bad[@]} > 0)); then
            echo "FAIL ${program} imports ${bad[*]}"
            failed=$((failed + 1))
        else
            passed=$((passed + 1))
        fi
    done
    record_tier imports "$((failed == 0))" "${passed}" "${failed}" "$(($(sv_now) - start))" ""
}

tier_windows_x86() {
    banner "windows-x86: compiled only (32-bit programs cannot run on this machine)"
    local start
    start=$(sv_now)
    if sv_configure_and_build windows-x86; then
        record_tier windows-x86 1 0 0 "$(($(sv_now) - start))" "compiled only, not run"
    else
        record_tier windows-x86 0 0 1 "$(($(sv_now) - start))" "build failed"
    fi
}

tier_e2e() {
    banner "e2e: the programs under Wine, driven from outside"
    local start ok=1 passed=0 failed=0 note="" script name log rc
    start=$(sv_now)
    local scripts=()
    shopt -s nullglob
    for script in "${ROOT}"/tests/e2e/*.sh; do
        if [[ -x "${script}" ]]; then
            scripts+=("${script}")
        else
            sv_log "not executable, skipped: ${script#"${ROOT}"/}"
        fi
    done
    shopt -u nullglob

    if ((${#scripts[@]} == 0)); then
        sv_log "no end-to-end scripts"
        record_tier e2e 1 0 0 "$(($(sv_now) - start))" "no scripts yet"
        return
    fi
    if ((X64_BUILT == 0)); then
        sv_log "the windows-x64 build failed: ${#scripts[@]} script(s) not run"
        record_tier e2e 0 0 "${#scripts[@]}" "$(($(sv_now) - start))" "x64 build failed, not run"
        return
    fi
    if [[ -z "${SV_XVFB_PID}" ]] && ! sv_start_xvfb; then
        record_tier e2e 0 0 "${#scripts[@]}" "$(($(sv_now) - start))" "no X display, not run"
        return
    fi
    mkdir -p "${ROOT}/build/shots" "${LOGS}/e2e"
    rm -rf "${ROOT}/build/wine/e2e"

    for script in "${scripts[@]}"; do
        name="$(basename "${script}" .sh)"
        log="${LOGS}/e2e/${name}.log"
        local base="${ROOT}/build/wine/e2e/${name}"
        mkdir -p "${base}"
        sv_log "e2e ${name}"
        rc=0
        env SOMNIVEX_ROOT="${ROOT}" \
            SOMNIVEX_LIB="${ROOT}/scripts/lib.sh" \
            SOMNIVEX_BIN="${ROOT}/build/windows-x64" \
            SOMNIVEX_PROGRAMS="${ROOT}/build/windows-x64/bin" \
            SOMNIVEX_FIXTURES="${ROOT}/build/windows-x64/fixtures" \
            SOMNIVEX_SHOTS="${ROOT}/build/shots" \
            SOMNIVEX_WINE_BASE="${base}" \
            DISPLAY="${DISPLAY}" \
            timeout -k 30 "${E2E_TIMEOUT}" "${script}" </dev/null >"${log}" 2>&1 || rc=$?
        # Whatever the script left running in its prefixes goes now.
        local prefix
        for prefix in "${base}"/*/; do
            [[ -d "${prefix}drive_c" ]] || continue
            WINEPREFIX="${prefix%/}" wineserver -k </dev/null >/dev/null 2>&1 || true
        done
        if ((rc == 0)); then
            passed=$((passed + 1))
            echo "PASS ${name}"
            rm -rf "${base}"
        else
            failed=$((failed + 1))
            if ((rc == 124)); then
                echo "FAIL ${name} (timed out after ${E2E_TIMEOUT} s; log ${log#"${ROOT}"/})"
            else
                echo "FAIL ${name} (exit ${rc}; log ${log#"${ROOT}"/})"
            fi
            tail -n 40 "${log}" | sed 's/^/    /'
        fi
    done
    ((failed == 0)) || ok=0
    record_tier e2e "${ok}" "${passed}" "${failed}" "$(($(sv_now) - start))" "${note}"
}

# Seconds each fuzzer runs in every test run; their corpora are also replayed by the unit
# tests.
FUZZ_SECONDS="${SOMNIVEX_FUZZ_SECONDS:-30}"

tier_fuzz() {
    banner "fuzz: ${FUZZ_SECONDS} s of each fuzzer"
    local start name log passed=0 failed=0 notes=()
    start=$(sv_now)
    for name in options version; do
        log="${LOGS}/fuzz-${name}.log"
        if bash "${ROOT}/fuzz/run.sh" "${FUZZ_SECONDS}" "${name}" </dev/null >"${log}" 2>&1; then
            echo "  ${name}:"
            grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done [0-9]+ runs)' \
                "${log}" | sed 's/^/    /' || true
            passed=$((passed + 1))
        else
            echo "  ${name}: FAILED"
            tail -n 40 "${log}" | sed 's/^/    /'
            failed=$((failed + 1))
            notes+=("see ${log#"${ROOT}"/}")
        fi
    done
    record_tier fuzz "$((failed == 0))" "${passed}" "${failed}" "$(($(sv_now) - start))" \
        "${notes[*]:-no crash}"
}

# ---------------------------------------------------------------------------- main

main() {
    local start total_passed=0 total_failed=0 any_failed=0 i status
    start=$(sv_now)
    mkdir -p "${LOGS}"

    banner "setup"
    bash "${ROOT}/scripts/setup.sh"

    tier_linux
    tier_windows_x64
    tier_imports
    tier_windows_x86
    tier_e2e
    sv_cleanup
    tier_fuzz

    banner "summary"
    for i in "${!TIER_NAMES[@]}"; do
        if ((TIER_OK[i] == 1)); then status=ok; else status=FAILED any_failed=1; fi
        printf '%-12s %-7s %4d passed, %4d failed  %5d s  %s\n' "${TIER_NAMES[i]}" \
            "${status}" "${TIER_PASSED[i]}" "${TIER_FAILED[i]}" "${TIER_SECONDS[i]}" \
            "${TIER_NOTES[i]}"
        total_passed=$((total_passed + TIER_PASSED[i]))
        total_failed=$((total_failed + TIER_FAILED[i]))
    done
    echo "total time $(($(sv_now) - start)) s"
    echo "${total_passed} passed, ${total_failed} failed"
    return "${any_failed}"
}

main "$@"
