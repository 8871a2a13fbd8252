#!/usr/bin/env bash
# Builds the options fuzzer with clang and runs it over its corpus.
#   fuzz/run.sh [seconds=60] [extra libFuzzer flags...]
# New inputs the fuzzer finds go to build/fuzz/new-corpus (not the checked-in corpus);
# a crash leaves its reproducer as build/fuzz/crash-* .
set -euo pipefail

seconds="${1:-60}"
shift || true
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"

# clang and its fuzzer runtime come with the project's set-up.
bash "$root/scripts/setup.sh"

# Every library is instrumented, so the fuzzer is guided by the product code's coverage.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOMNIVEX_FUZZ=ON \
    -DSOMNIVEX_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer" \
    >/dev/null
cmake --build "$build" --target options_fuzzer -j"$(nproc)"

mkdir -p "$build/new-corpus"
cd "$build"
exec ./fuzz/options_fuzzer -max_total_time="$seconds" -max_len=4096 -timeout=20 \
    -print_final_stats=1 "$@" "$build/new-corpus" "$root/fuzz/corpus/options"
