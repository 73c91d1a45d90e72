#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test; then runs the in-process tests once more
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
jobs=$(nproc)

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" -j "$jobs"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVIL_SANITIZE=ON
cmake --build "$root/build-asan" -j "$jobs"
ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs" -LE nosan

# libFuzzer targets (clang-16): a short run of each; longer runs are made by hand.
CC=clang-16 CXX=clang++-16 cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVIL_FUZZ=ON
cmake --build "$root/build-fuzz" -j "$jobs" --target fuzzers
ctest --test-dir "$root/build-fuzz" --output-on-failure -j "$jobs" -L fuzz --no-tests=ignore
