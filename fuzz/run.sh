#!/usr/bin/env bash
# Builds a fuzzer with clang and runs it over its corpus.
#   fuzz/run.sh [seconds=60] [options|version|all=all] [extra libFuzzer flags...]
# "options" is the fuzzer of the registry contents the programs read (corpus
# fuzz/corpus/options), "version" the one of the files whose version resources the
# settings manager reads (fuzz/corpus/version); "all" runs one after the other, each for
# the seconds given. New inputs a fuzzer finds go to build/fuzz/new-corpus-NAME (not the
# checked-in corpus); a crash leaves its reproducer as build/fuzz/crash-* .
set -euo pipefail

seconds="${1:-60}"
shift || true
which="all"
if [[ $# -gt 0 && "$1" =~ ^(options|version|all)$ ]]; then
    which="$1"
    shift
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"
if [[ "${which}" == all ]]; then fuzzers=(options version); else fuzzers=("${which}"); fi

# clang and its fuzzer runtime come with the project's set-up.
bash "$root/scripts/setup.sh"

# Every library is instrumented, so a fuzzer is guided by the product code's coverage.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOMNIVEX_FUZZ=ON \
    -DSOMNIVEX_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer" \
    >/dev/null
targets=()
for name in "${fuzzers[@]}"; do targets+=(--target "${name}_fuzzer"); done
cmake --build "$build" "${targets[@]}" -j"$(nproc)"

cd "$build"
for name in "${fuzzers[@]}"; do
    mkdir -p "$build/new-corpus-${name}"
    echo "== ${name} fuzzer, ${seconds} s"
    # A version input is a whole file: room for headers, code and a resource section
    # larger than one read-ahead of the reader.
    max_len=4096
    [[ "${name}" == version ]] && max_len=65536
    ./fuzz/"${name}_fuzzer" -max_total_time="$seconds" -max_len="${max_len}" -timeout=20 \
        -print_final_stats=1 "$@" "$build/new-corpus-${name}" "$root/fuzz/corpus/${name}"
done
