#!/usr/bin/env bash
# Builds a release: both Windows builds (x64 and x86, Release, without the tests), one
# Setup program and one Windows Installer package per architecture and the bare
# programs, all in dist/:
#
#   dist/Somnivex-<version>-x64-setup.exe    dist/Somnivex-<version>-x86-setup.exe
#   dist/Somnivex-<version>-x64.msi          dist/Somnivex-<version>-x86.msi
#   dist/Somnivex-<version>-x64.zip          dist/Somnivex-<version>-x86.zip
#   dist/SHA256SUMS
#
# The version is the one in the VERSION file. Build folders: build/release-x64 and
# build/release-x86; logs in build/logs. Safe to run again: dist/ is rebuilt each time.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "${ROOT}"
# shellcheck source=scripts/lib.sh
source "${ROOT}/scripts/lib.sh"

JOBS="${SV_JOBS:-2}"
LOGS="${ROOT}/build/logs"
DIST="${ROOT}/dist"
VERSION="$(tr -d ' \t\r\n' <"${ROOT}/VERSION")"
[[ "${VERSION}" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
    sv_die "VERSION must read MAJOR.MINOR.PATCH, not '${VERSION}'"
ARCHES=(x64 x86)

# build ARCH: configures and builds build/release-ARCH with the MinGW-w64 toolchain.
build() {
    local arch="$1" dir="${ROOT}/build/release-$1"
    sv_log "configure ${arch} (${dir#"${ROOT}"/})"
    sv_run_logged "${LOGS}/release-${arch}-configure.log" \
        cmake -S "${ROOT}" -B "${dir}" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="${ROOT}/cmake/mingw-${arch}.cmake" -DSOMNIVEX_TESTS=OFF ||
        return 1
    sv_log "build ${arch} (-j${JOBS})"
    sv_run_logged "${LOGS}/release-${arch}-build.log" \
        cmake --build "${dir}" --config Release -j "${JOBS}" || return 1
    local f
    for f in Somnivex.scr Somniconf.exe Somnivex.html graphics/SomnivexLgeTxt.GIF \
        graphics/Brellcor.gif; do
        [[ -f "${dir}/bin/${f}" ]] || sv_die "the ${arch} build has no bin/${f}"
    done
}

# installer ARCH: dist/Somnivex-VERSION-ARCH-setup.exe from the build's bin folder.
installer() {
    local arch="$1" out="${DIST}/Somnivex-${VERSION}-$1-setup.exe"
    sv_log "installer ${arch}"
    sv_run_logged "${LOGS}/release-${arch}-installer.log" \
        makensis -V2 -WX -DARCH="${arch}" -DVERSION="${VERSION}" \
        -DBINDIR="${ROOT}/build/release-${arch}/bin" -DOUTFILE="${out}" \
        "${ROOT}/installer/Somnivex.nsi" || return 1
    [[ -s "${out}" ]] || sv_die "makensis wrote no ${out}"
}

# package ARCH: dist/Somnivex-VERSION-ARCH.msi from the same bin folder, its tables
# checked as it is built (installer/msi.sh).
package() {
    local arch="$1" out="${DIST}/Somnivex-${VERSION}-$1.msi"
    sv_log "package ${arch} ($(basename "${out}"))"
    sv_run_logged "${LOGS}/release-${arch}-msi.log" \
        bash "${ROOT}/installer/msi.sh" "${arch}" "${VERSION}" \
        "${ROOT}/build/release-${arch}/bin" "${out}" || return 1
    [[ -s "${out}" ]] || sv_die "msi.sh wrote no ${out}"
    grep -h '^msi: ' "${LOGS}/release-${arch}-msi.log" || true
}

# programs ARCH: the bare programs and the Group Policy templates, as
# dist/Somnivex-VERSION-ARCH.zip (one folder inside),
# or as that folder when nothing here can write a zip file.
programs() {
    local arch="$1" name="Somnivex-${VERSION}-$1" stage
    sv_log "programs ${arch} (${name}.zip)"
    stage="$(mktemp -d "${ROOT}/build/release-stage.XXXXXX")"
    mkdir -p "${stage}/${name}/graphics" "${stage}/${name}/policies/en-US"
    cp "${ROOT}/build/release-${arch}/bin/Somnivex.scr" \
        "${ROOT}/build/release-${arch}/bin/Somniconf.exe" \
        "${ROOT}/build/release-${arch}/bin/Somnivex.html" \
        "${ROOT}/LICENSE.txt" "${stage}/${name}/"
    cp "${ROOT}/build/release-${arch}/bin/graphics/SomnivexLgeTxt.GIF" \
        "${ROOT}/build/release-${arch}/bin/graphics/Brellcor.gif" "${stage}/${name}/graphics/"
    cp "${ROOT}/policies/Somnivex.admx" "${stage}/${name}/policies/"
    cp "${ROOT}/policies/en-US/Somnivex.adml" "${stage}/${name}/policies/en-US/"
    if command -v python3 >/dev/null; then
        (cd "${stage}" && python3 -m zipfile -c "${DIST}/${name}.zip" "${name}")
    elif command -v zip >/dev/null; then
        (cd "${stage}" && zip -qr "${DIST}/${name}.zip" "${name}")
    else
        # No way to pack it: the folder itself, checksummed file by file below.
        sv_log "no python3 or zip: ${name} stays a folder"
        mv "${stage}/${name}" "${DIST}/"
    fi
    rm -rf "${stage}"
}

# checksums: dist/SHA256SUMS, one line per file below dist/, in name order.
checksums() {
    local files=() f
    while IFS= read -r f; do
        [[ "${f}" == SHA256SUMS ]] || files+=("${f}")
    done < <(cd "${DIST}" && find . -type f -printf '%P\n' | LC_ALL=C sort)
    (cd "${DIST}" && sha256sum "${files[@]}" >"${DIST}/SHA256SUMS.tmp")
    mv "${DIST}/SHA256SUMS.tmp" "${DIST}/SHA256SUMS"
}

size_of() {
    stat -c %s "$1"
}

main() {
    local start arch
    start=$(sv_now)
    mkdir -p "${LOGS}"
    sv_log "Somnivex ${VERSION}: release build"
    bash "${ROOT}/scripts/setup.sh"
    command -v makensis >/dev/null || sv_die "makensis is not installed (run scripts/setup.sh)"
    command -v wixl >/dev/null || sv_die "wixl is not installed (run scripts/setup.sh)"

    for arch in "${ARCHES[@]}"; do
        build "${arch}" || sv_die "the ${arch} build failed"
    done

    rm -rf "${DIST}"
    mkdir -p "${DIST}"
    for arch in "${ARCHES[@]}"; do
        installer "${arch}" || sv_die "the ${arch} installer failed"
        package "${arch}" || sv_die "the ${arch} package failed"
        programs "${arch}"
    done
    checksums

    echo
    printf '%-40s %10s\n' "file" "bytes"
    for arch in "${ARCHES[@]}"; do
        printf '%-40s %10d\n' "${arch}/Somnivex.scr" \
            "$(size_of "${ROOT}/build/release-${arch}/bin/Somnivex.scr")"
        printf '%-40s %10d\n' "${arch}/Somniconf.exe" \
            "$(size_of "${ROOT}/build/release-${arch}/bin/Somniconf.exe")"
    done
    local f
    for f in "${DIST}"/*; do
        [[ -f "${f}" ]] && printf '%-40s %10d\n' "dist/${f##*/}" "$(size_of "${f}")"
    done
    echo
    (cd "${DIST}" && sha256sum -c --quiet SHA256SUMS) || sv_die "SHA256SUMS does not check"
    sv_log "release ${VERSION} in ${DIST#"${ROOT}"/}/ ($(($(sv_now) - start)) s)"
}

main "$@"
