#!/usr/bin/env bash
# Builds and checks Somnivex's Windows Installer package on Linux, from Somnivex.wxs
# beside this script, with msitools:
#
#   bash installer/msi.sh ARCH VERSION BINDIR OUTFILE
#
# ARCH is x64 or x86, VERSION reads MAJOR.MINOR.PATCH (the VERSION file's, or a lower one
# for an upgrade test), BINDIR is the build's bin folder (Somnivex.scr, Somniconf.exe,
# Somnivex.html, graphics\); the policy templates and the licence come from the source
# tree. The product code follows from the architecture and the version, so each version
# has its own and a rebuild of the same version keeps it.
#
# wixl writes most of the package; msibuild then adds what wixl has no element or
# attribute for (see edit_tables), and check_package reads the tables back for the
# mistakes Windows' validator (ICE) would report, as far as they can be seen without it.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "${HERE}/.." && pwd)"
# The one upgrade code of every version and edition, as Somnivex.wxs gives it.
UPGRADE_CODE="{$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "${HERE}/Somnivex.wxs")}"

die() {
    echo "msi: $*" >&2
    exit 1
}

# product_code ARCH VERSION: a name-based GUID (SHA-1, version 5 layout) of the upgrade
# code, the architecture and the version.
product_code() {
    local h
    h=$(printf '%s/%s/%s' "${UPGRADE_CODE}" "$1" "$2" | sha1sum | cut -c1-32)
    h="${h:0:12}5${h:13:3}$(printf '%x' $((0x${h:16:1} & 0x3 | 0x8)))${h:17:15}"
    h="${h^^}"
    printf '{%s-%s-%s-%s-%s}\n' "${h:0:8}" "${h:8:4}" "${h:12:4}" "${h:16:4}" "${h:20:12}"
}

# pe_version FILE: the file version of a Windows program (its VS_FIXEDFILEINFO), as
# Windows Installer compares it: "1.0.0.0".
pe_version() {
    local at w
    at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -n 1 | cut -d: -f1)
    [[ -n "${at}" ]] || return 1
    # dwFileVersionMS then LS, each a pair of little-endian words: minor, major, 4th, 3rd.
    read -r -a w < <(od -An -tu2 -j $((at + 8)) -N 8 "$1")
    printf '%d.%d.%d.%d\n' "${w[1]}" "${w[0]}" "${w[3]}" "${w[2]}"
}

QUERIES=()

# sql QUERY: one more change for edit_tables to make.
sql() {
    QUERIES+=(-q "$1")
}

# edit_tables MSI BINDIR VERSION: what wixl 0.101 cannot author.
edit_tables() {
    local msi="$1" bindir="$2" file version guid
    # Programs carry a version: Windows Installer then compares versions, not hashes, and
    # a hash row for a versioned file is an error.
    for file in Somniconf.exe:Somniconf.exe ProgramScr:Somnivex.scr SystemScr:Somnivex.scr; do
        version=$(pe_version "${bindir}/${file#*:}") || die "${file#*:} has no version resource"
        sql "UPDATE File SET Version='${version}', Language='1033' WHERE File='${file%%:*}'"
        sql "DELETE FROM MsiFileHash WHERE File_='${file%%:*}'"
    done
    # The shortcut's key path in the installation's own hive (HKLM here, as ALLUSERS=1):
    # wixl has no root -1.
    sql "UPDATE Registry SET Root=-1 WHERE Registry='StartMenuKey'"
    # Removing the event source removes its whole key, as Setup does.
    sql "INSERT INTO Registry (Registry, Root, \`Key\`, Name, Component_) VALUES \
        ('EventSourceKey', 2, 'SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Somnivex', '-', 'SystemScr')"
    # wixl puts component conditions into the LaunchCondition table.
    sql "UPDATE Component SET Condition='NOT SOMNIVEX_LOGDIR OR SOMNIVEX_LOGDIR ~= SOMNIVEX_OLDLOG' \
        WHERE Component='SettingsLogDir'"
    # The folder of the installed version: the directory of the manager's key path, found
    # through its component (a ComponentSearch, which wixl lacks).
    guid=$(msiinfo export "${msi}" Component | awk -F'\t' '$1 == "Manager" { print $2 }')
    [[ -n "${guid}" ]] || die "no Manager component"
    sql "CREATE TABLE CompLocator (Signature_ CHAR(72) NOT NULL, ComponentId CHAR(38) NOT NULL, \
        \`Type\` SHORT PRIMARY KEY Signature_)"
    sql "INSERT INTO CompLocator (Signature_, ComponentId, \`Type\`) VALUES ('FindPreviousFolder', '${guid}', 1)"
    sql "INSERT INTO AppSearch (Property, Signature_) VALUES ('SOMNIVEX_PREVIOUSFOLDER', 'FindPreviousFolder')"
    # The same version of the other edition is replaced too (its product code differs; the
    # same package again is a maintenance run, where FindRelatedProducts does not run).
    sql "DELETE FROM Upgrade WHERE ActionProperty='WIX_UPGRADE_DETECTED'"
    sql "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Attributes, ActionProperty) \
        VALUES ('${UPGRADE_CODE}', '', '$3', 513, 'WIX_UPGRADE_DETECTED')"
    # Properties given on the command line of a managed installation reach the service only
    # when listed here.
    sql "UPDATE Property SET Value='WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;INSTALLFOLDER;\
SOMNIVEX_PREVIOUSFOLDER;SOMNIVEX_LOGDIR;SOMNIVEX_OLDLOG;SOMNIVEX_SETUP64;SOMNIVEX_SETUP32' \
        WHERE Property='SecureCustomProperties'"
    msibuild "${msi}" "${QUERIES[@]}" || die "msibuild could not change the tables"
}

# ---------------------------------------------------------------------------- checks

# rows TABLE: the rows of a dumped table, tab-separated, without the three header lines.
rows() {
    tail -n +4 "${DUMP}/$1.idt"
}

# load_tables: the Property table in PROPERTY and both install sequences in SEQUENCE
# ("InstallExecuteSequence/CostFinalize" -> 1000).
declare -A PROPERTY SEQUENCE
load_tables() {
    local table name value number
    PROPERTY=() SEQUENCE=()
    while IFS=$'\t' read -r name value; do
        PROPERTY[${name}]=${value}
    done < <(rows Property)
    for table in InstallExecuteSequence InstallUISequence; do
        # (read would fold the empty conditions' tabs together)
        while read -r name number; do
            SEQUENCE[${table}/${name}]=${number}
        done < <(rows "${table}" | awk -F'\t' '{ print $1, $3 }')
    done
}

FAILED=0
# mawk has no bitwise functions.
BIT='function bit(x, b) { return int(x / b) % 2 }'

# expect WHAT PROBLEMS: a check passes when PROBLEMS (one a line) is empty.
expect() {
    if [[ -z "$2" ]]; then
        echo "  ok    $1"
    else
        echo "  FAIL  $1:"
        sed 's/^/          /' <<<"$2"
        FAILED=$((FAILED + 1))
    fi
}

# in_order TABLE ACTION...: the actions are sequenced in this order.
in_order() {
    local table="$1" previous="" n last=-1 bad=""
    shift
    for action in "$@"; do
        n=${SEQUENCE[${table}/${action}]:-}
        if [[ -z "${n}" ]]; then
            bad+="${action} is not in ${table}"$'\n'
        elif ((n <= last)); then
            bad+="${action} (${n}) does not come after ${previous} (${last})"$'\n'
        else
            last=${n} previous=${action}
        fi
    done
    printf '%s' "${bad}"
}

# check_package MSI ARCH VERSION: prints one line per check; false when any failed.
check_package() {
    local msi="$1" arch="$2" version="$3" files listed
    DUMP="$(mktemp -d)"
    trap 'rm -rf "${DUMP}"' RETURN
    # (msidump writes the binary columns below its working folder, whatever -d says)
    (cd "${DUMP}" && msidump -t -d . "${msi}" >/dev/null) || die "msidump cannot read ${msi}"
    sed -i 's/\r$//' "${DUMP}"/*.idt
    load_tables
    FAILED=0
    echo "checks of ${msi##*/}:"

    local template=Intel
    [[ "${arch}" == x64 ]] && template=x64
    expect "summary: template ${template};1033, Windows Installer 5.0, compressed, per machine" \
        "$(rows _SummaryInformation | awk -F'\t' -v t="${template};1033" '
            $1 == 7 && $2 != t { print "template " $2 }
            $1 == 14 && $2 < 500 { print "page count " $2 }
            $1 == 15 && $2 != 2 { print "word count " $2 " (2: compressed, elevated)" }')"

    files=$(rows File | wc -l)
    listed=$(msiextract --list "${msi}" | wc -l)
    expect "the cabinet holds the ${files} files of the File table" \
        "$( ((files == listed)) || echo "msiextract lists ${listed}")"

    expect "properties: per machine, the fixed upgrade code, this version and product code" \
        "$(for pv in "ALLUSERS=1" "UpgradeCode=${UPGRADE_CODE}" "ProductVersion=${version}" \
            "ProductCode=$(product_code "${arch}" "${version}")" "ARPNOMODIFY=1" \
            "ARPNOREPAIR=1" "Manufacturer=Brellcor" "MSIRESTARTMANAGERCONTROL=Disable"; do
            [[ "${PROPERTY[${pv%%=*}]:-}" == "${pv#*=}" ]] || echo "${pv%%=*} is '${PROPERTY[${pv%%=*}]:-}'"
        done)"

    # ICE-style: a key path of its own component, upper-case unique GUIDs, at most one file
    # per component and that file its key path, so that Windows replaces, repairs and counts
    # each file on its own.
    expect "components: a key path each, one file each, upper-case unique GUIDs" \
        "$(awk -F'\t' "${BIT}"'
            FILENAME ~ /File.idt$/ && FNR > 3 { files[$2]++; fileOf[$1] = $2; next }
            FILENAME ~ /Registry.idt$/ && FNR > 3 { regOf[$1] = $6; next }
            FILENAME ~ /Component.idt$/ && FNR > 3 { comp[$1] = $0 }
            END {
                for (c in comp) {
                    split(comp[c], f, "\t")
                    if (f[6] == "") { print c ": no key path"; continue }
                    if (bit(f[4], 4)) { if (regOf[f[6]] != c) print c ": key path " f[6] " is not its registry value" }
                    else if (fileOf[f[6]] != c) print c ": key path " f[6] " is not its file"
                    if (files[c] > 1) print c ": " files[c] " files"
                    if (f[2] != "" && (f[2] != toupper(f[2]) || seen[f[2]]++)) print c ": GUID " f[2]
                    if (f[2] == "" && files[c] > 0) print c ": files in a component without GUID"
                }
            }' "${DUMP}/File.idt" "${DUMP}/Registry.idt" "${DUMP}/Component.idt")"

    expect "programs carry their file version and no hash" \
        "$(awk -F'\t' '
            FILENAME ~ /MsiFileHash.idt$/ && FNR > 3 { hashed[$1] = 1; next }
            FILENAME ~ /File.idt$/ && FNR > 3 {
                name = tolower($3); sub(/^.*\|/, "", name)
                pe = name ~ /\.(exe|scr|dll)$/
                if (pe && ($5 !~ /^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$/ || $6 == "")) print $1 ": version \"" $5 "\""
                if (pe && hashed[$1]) print $1 ": hashed"
                if (!pe && !hashed[$1]) print $1 ": unversioned without a hash"
            }' "${DUMP}/MsiFileHash.idt" "${DUMP}/File.idt")"

    # ICE80-style: 64-bit components in the 64-bit folders; the only 32-bit ones of the x64
    # package hold the settings, which the programs read in the 32-bit view.
    expect "each component has the architecture of its folder (${arch})" \
        "$(awk -F'\t' -v arch="${arch}" "${BIT}"'
            FILENAME ~ /Directory.idt$/ && FNR > 3 { parent[$1] = $2; next }
            FILENAME ~ /Registry.idt$/ && FNR > 3 { reg[$6] = 1; next }
            FILENAME ~ /Component.idt$/ && FNR > 3 {
                top = $3
                while (parent[top] != "" && parent[top] != "TARGETDIR") top = parent[top]
                win64 = bit($4, 256)
                if (arch == "x86" && (win64 || top ~ /64Folder$/)) print $1 " (" top ", " $4 ")"
                if (arch == "x64" && top ~ /^(ProgramFilesFolder|SystemFolder)$/) print $1 " in " top
                if (arch == "x64" && !win64 && !($3 == "TARGETDIR" && reg[$1] && $2 == "")) print $1 ": 32-bit"
            }' "${DUMP}/Directory.idt" "${DUMP}/Registry.idt" "${DUMP}/Component.idt")"

    # The Start-menu shortcut is per-machine or per-user data as the installation is: its
    # component is keyed in the same hive (ICE43, ICE57).
    expect "the shortcut's component is keyed by a registry value of root -1" \
        "$(awk -F'\t' '
            FILENAME ~ /Registry.idt$/ && FNR > 3 { root[$1] = $2; next }
            FILENAME ~ /Component.idt$/ && FNR > 3 { key[$1] = $6; dir[$1] = $3; next }
            FILENAME ~ /Shortcut.idt$/ && FNR > 3 {
                if (root[key[$4]] != "-1") print $1 ": key path " key[$4]
                if (dir[$4] != $2) print $1 ": not in the folder of its component"
            }' "${DUMP}/Registry.idt" "${DUMP}/Component.idt" "${DUMP}/Shortcut.idt")"

    expect "custom actions only set properties; no binaries" \
        "$(rows CustomAction | awk -F'\t' '$2 % 64 != 51 { print $1 ": type " $2 }'
        rows Binary | awk -F'\t' '{ print "binary " $1 }')"

    expect "sequence: related products, searches, folder, conditions, costs, then the old version goes" \
        "$(in_order InstallExecuteSequence FindRelatedProducts AppSearch KeepPreviousFolder \
            SetOldLog LaunchConditions CostFinalize SetInstallLocation InstallValidate \
            RemoveExistingProducts InstallInitialize
            in_order InstallUISequence FindRelatedProducts AppSearch KeepPreviousFolder SetOldLog LaunchConditions CostFinalize)"

    local secure
    secure=";${PROPERTY[SecureCustomProperties]:-};"
    expect "upgrade: older and same versions removed, newer ones refused, properties secure" \
        "$(rows Upgrade | awk -F'\t' -v v="${version}" -v code="${UPGRADE_CODE}" -v s="${secure}" "${BIT}"'
            $1 != code { print "upgrade code " $1 }
            $7 == "WIX_UPGRADE_DETECTED" && !($3 == v && bit($5, 512) && !bit($5, 2)) { print "remove row: " $0 }
            $7 == "WIX_DOWNGRADE_DETECTED" && !($2 == v && !bit($5, 256) && bit($5, 2)) { print "detect row: " $0 }
            index(s, ";" $7 ";") == 0 { print $7 " is not secure" }
            { n[$7]++ }
            END { if (n["WIX_UPGRADE_DETECTED"] != 1 || n["WIX_DOWNGRADE_DETECTED"] != 1 || NR != 2) print NR " rows" }'
        for p in INSTALLFOLDER SOMNIVEX_PREVIOUSFOLDER; do
            [[ "${secure}" == *";${p};"* ]] || echo "${p} is not secure"
        done)"

    ((FAILED == 0))
}

# ---------------------------------------------------------------------------- main

main() {
    (($# == 4)) || die "usage: msi.sh ARCH VERSION BINDIR OUTFILE"
    local arch="$1" version="$2" bindir out work code
    [[ "${arch}" == x64 || "${arch}" == x86 ]] || die "ARCH must be x64 or x86, not '${arch}'"
    [[ "${version}" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
        die "VERSION must read MAJOR.MINOR.PATCH, not '${version}'"
    bindir="$(cd "$3" && pwd)" || die "no folder $3"
    out="$(realpath -m "$4")"
    mkdir -p "$(dirname "${out}")"
    [[ "${UPGRADE_CODE}" =~ ^\{[0-9A-F-]{36}\}$ ]] || die "Somnivex.wxs gives no upgrade code"
    command -v wixl >/dev/null && command -v msibuild >/dev/null ||
        die "wixl and msitools are not installed (run scripts/setup.sh)"
    code=$(product_code "${arch}" "${version}")
    work="${out}.tmp"
    rm -f "${work}"
    # wixl finds sources only relative to its working folder: from the root, every
    # absolute path is one.
    (cd / && wixl -a "${arch}" -D Arch="${arch}" -D Version="${version}" \
        -D ProductCode="${code}" -D BinDir="${bindir#/}" -D SrcDir="${ROOT#/}" \
        -o "${work}" "${HERE#/}/Somnivex.wxs") 2>&1 | grep -v 'builder.vala:[0-9]*: unimplemented' || true
    [[ -s "${work}" ]] || die "wixl wrote no package"
    edit_tables "${work}" "${bindir}" "${version}"
    check_package "${work}" "${arch}" "${version}" || die "${FAILED} check(s) failed"
    mv "${work}" "${out}"
    echo "msi: ${out} (${arch}, version ${version}, product code ${code})"
}

main "$@"
