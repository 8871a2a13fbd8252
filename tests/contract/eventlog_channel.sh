#!/usr/bin/env bash
# The Win32 event sink under Wine 8, which keeps no event log: its ReportEventW prints
# each event on debug channels (WINEDEBUG=-all,+eventlog,fixme+advapi; the format is
# described in tests/e2e/eventlog.awk, which reads it). The probe writes one event of
# every kind through the sink and ends at once; what Wine printed must be exactly what
# the probe asked for: the ids, the types, every insertion string, in order, nothing
# lost to the end of the program. Beside that, the shape Wine prints is checked line by
# line, as the end-to-end tests rely on it.
#
#   eventlog_channel.sh PROBE.exe      (WINEPREFIX set, as ctest runs it)
set -euo pipefail

probe="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

WINEDEBUG='-all,+eventlog,fixme+advapi' wine "${probe}" </dev/null >"${work}/asked" 2>"${work}/channel" ||
    fail "the probe ended with status $?"
tr -d '\r' <"${work}/asked" >"${work}/asked.txt"
awk -f "${here}/../e2e/eventlog.awk" "${work}/channel" >"${work}/written.txt"
grep '^probe:' "${work}/channel" || true
echo "asked for $(wc -l <"${work}/asked.txt") events, Wine printed $(wc -l <"${work}/written.txt")"

# Everything but the last event word for word; the last one's string is longer than
# Wine prints: it shows the beginning, and "..." after the closing quote.
asked_last=$(tail -n 1 "${work}/asked.txt")
written_last=$(tail -n 1 "${work}/written.txt")
if ! diff <(sed '$d' "${work}/asked.txt") <(sed '$d' "${work}/written.txt"); then
    fail "Wine's record differs from what was asked for (< asked, > printed)"
fi
shown="${written_last%\"...}"
if [[ "${shown}" == "${written_last}" ]]; then
    fail "the long string is shown whole or without the mark: ${written_last:0:80}..."
elif [[ "${asked_last}" != "${shown}"* || ${#shown} -lt 200 ]]; then
    fail "the long string's beginning differs: ${shown:0:80}..."
fi

# The shape of the lines, exactly as the first event of each type prints them.
hex16='[0-9A-F]{16}'
check_shape() { # description regex
    if grep -qE -- "$2" "${work}/channel"; then echo "ok: $1"; else fail "$1"; fi
}
check_shape "an information event: fixme line with type 0x0004, id 0x000003e8, a user SID, 3 strings" \
    "^[0-9a-f]+:fixme:advapi:ReportEventW \\(${hex16},0x0004,0x0000,0x000003e8,${hex16},0x0003,0x00000000,${hex16},0{16}\\): stub\$"
check_shape "... its strings on trace:eventlog, non-ASCII as four hex digits" \
    '^[0-9a-f]+:trace:eventlog:ReportEventW L"C:\\\\Users\\\\Zo\\00eb\\\\\\0421\\043e\\043d \\6771 \\d83d\\de34\.scr"$'
check_shape "a warning: type 0x0002, id 0x000007e4 (2020), strings on warn:eventlog" \
    "^[0-9a-f]+:fixme:advapi:ReportEventW \\(${hex16},0x0002,0x0000,0x000007e4,"
check_shape "... e.g. its error number" '^[0-9a-f]+:warn:eventlog:ReportEventW L"2"$'
check_shape "an error: type 0x0001, id 0x00000bc2 (3010), strings on err:eventlog" \
    "^[0-9a-f]+:fixme:advapi:ReportEventW \\(${hex16},0x0001,0x0000,0x00000bc2,"
check_shape "... e.g. its error text" '^[0-9a-f]+:err:eventlog:ReportEventW L"Access is denied\."$'
check_shape "a line break inside a string stays in the line as \\r\\n" \
    '^[0-9a-f]+:trace:eventlog:ReportEventW L"SelectedScreenSaver: .*\\r\\nWaitMinutes: 30 -> 10"$'

if ((failures > 0)); then
    echo "--- Wine's output"
    cat "${work}/channel"
    echo "FAIL eventlog_channel (${failures})"
    exit 1
fi
echo "PASS eventlog_channel"
