#!/usr/bin/env bash
# Builds everything and runs every test, headless; then the whole suite again built with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/); then each fuzz harness from its
# committed corpus for a minute (build-fuzz/, clang's libFuzzer, see scripts/fuzz.sh).
# FUZZ_REPLAY_SECONDS sets that minute.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

bash scripts/build.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"$(nproc)"

echo "== sanitized build and tests"
BUILD_DIR=${ASAN_BUILD_DIR:-build-asan} bash scripts/build.sh -DWIL_SANITIZE=ON -DWIL_BUILD_BENCH=OFF
ctest --test-dir "${ASAN_BUILD_DIR:-build-asan}" --output-on-failure -j"$(nproc)"

echo "== fuzz corpus replay"
bash scripts/fuzz.sh replay "${FUZZ_REPLAY_SECONDS:-60}"
