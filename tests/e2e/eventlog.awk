# The events a program wrote, read from what Wine 8 prints with
# WINEDEBUG=-all,+eventlog,fixme+advapi (Wine keeps no event log of its own). For each
# ReportEventW call it prints, on the calling thread (the prefix is "tid:", or
# "pid:tid:" with +pid):
#
#   0124:fixme:advapi:ReportEventW (00000000CAFE4242,0x0004,0x0000,0x000003e8,<sid>,0x0003,0x00000000,<strings>,0000000000000000): stub
#   0124:trace:eventlog:ReportEventW L"C:\\windows\\system32\\Bubbles.scr"
#   0124:trace:eventlog:ReportEventW L"30"
#   0124:trace:eventlog:ReportEventW L"shut down"
#
# that is the handle, the type (0x0001 error, 0x0002 warning, 0x0004 information), the
# category, the event id in hex, the user SID, the number of strings, the data size and
# two pointers; then one line per insertion string, on the channel class of the type:
# "trace:" for information, "warn:" for warnings, "err:" for errors ("err:" lines also
# appear without +eventlog). Each string is in Wine's quoted form: \\ \" \r \n \t, any
# other character outside ASCII 32..126 as a backslash and four hex digits (é is
# \00e9), and a string longer than about 290 characters is cut, with ... after the
# closing quote.
#
# Output: one line per event, in the order written: the id in decimal, the type
# ("information", "warning", "error"), and each string as Wine quoted it (without the
# L), separated by tabs. A line of the type's channel that does not match the type
# adds "(wrong channel)" in place of the string.

function hex(text, value, i) {
    text = tolower(text)
    sub(/^0x/, "", text)
    value = 0
    for (i = 1; i <= length(text); i++)
        value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
    return value
}

function type_name(code) {
    if (code == 1) return "error"
    if (code == 2) return "warning"
    if (code == 4) return "information"
    return "type" code
}

function class_of(type) {
    if (type == "error") return "err"
    if (type == "warning") return "warn"
    return "trace"
}

{ sub(/\r$/, "") }

/^([0-9a-f]+:)+fixme:advapi:ReportEventW \(/ {
    at = index($0, "fixme:advapi:ReportEventW (")
    prefix = substr($0, 1, at - 1)
    split(substr($0, at + length("fixme:advapi:ReportEventW (")), field, ",")
    events++
    type[events] = type_name(hex(field[2]))
    line[events] = hex(field[4]) "\t" type[events]
    current[prefix] = events
    next
}

/^([0-9a-f]+:)+(trace|warn|err):eventlog:ReportEventW L"/ {
    at = index($0, ":eventlog:ReportEventW L\"")
    head = substr($0, 1, at - 1)
    class = head
    sub(/^([0-9a-f]+:)+/, "", class)
    prefix = substr(head, 1, length(head) - length(class))
    n = current[prefix]
    if (n == 0) next
    text = substr($0, at + length(":eventlog:ReportEventW L"))
    line[n] = line[n] "\t" (class == class_of(type[n]) ? text : "(wrong channel)")
}

END {
    for (n = 1; n <= events; n++) print line[n]
}
