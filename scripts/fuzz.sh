#!/usr/bin/env bash
# The fuzz harnesses (fuzz/): built with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ (or $FUZZ_BUILD_DIR).
#
#   scripts/fuzz.sh build
#   scripts/fuzz.sh replay [SECONDS]        every harness from its committed corpus and its
#                                           regression inputs for SECONDS (60) each; the repository
#                                           is not changed
#   scripts/fuzz.sh run HARNESS SECONDS [LIBFUZZER OPTIONS...]
#                                           fuzzes for real (one process; libFuzzer options
#                                           such as -jobs=N go through); new inputs are merged,
#                                           minimized, into fuzz/corpus/HARNESS; findings land in
#                                           build-fuzz/findings/HARNESS/
# Harnesses: library, picturefolder, journal (rollback journal playback), swap (swap marker
# recovery).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
harnesses=(library picturefolder journal swap)

# The committed inputs of a harness: its corpus and, once it has any, its regression inputs.
inputs() { echo "fuzz/corpus/$1"; [ ! -d "fuzz/regressions/$1" ] || echo "fuzz/regressions/$1"; }

# Largest input each harness is given: a library of a few dozen small records; the folder an
# interrupted edit of a small library leaves; a placement file.
max_len() { case "$1" in library) echo 8192 ;; journal|swap) echo 4096 ;; *) echo 256 ;; esac; }

# One input must finish in seconds; allocating a gigabyte at once is a finding in itself.
common_options=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1)

# A smaller quarantine than ASan's 256 MB keeps a long run's memory flat (use after free is still
# caught within the last 64 MB freed).
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64}

build() {
  bash scripts/setup.sh clang-14 libclang-rt-14-dev
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
        -DWIL_FUZZ=ON -DWIL_BUILD_TESTS=OFF -DWIL_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build_dir" -j"$(nproc)" --target "${harnesses[@]/#/fuzz_}"
}

replay() {
  local seconds=${1:-60} h work
  for h in "${harnesses[@]}"; do
    work=$(mktemp -d)
    echo "== fuzz_$h: corpus replay, then fuzzing for ${seconds}s"
    # New inputs go to the scratch folder (the first one named); the committed ones are only read.
    if ! "$build_dir/fuzz/fuzz_$h" "${common_options[@]}" -max_len="$(max_len "$h")" \
         -max_total_time="$seconds" -artifact_prefix="$work/" "$work" $(inputs "$h") \
         >"$work/log" 2>&1; then
      tail -n 60 "$work/log"
      echo "fuzz_$h failed; the input that did it is kept in $work"
      return 1
    fi
    grep -E '^(stat::|Done)' "$work/log" || true
    rm -rf "$work"
  done
}

run() {
  local h=$1 seconds=$2
  shift 2
  local work="$build_dir/work/$h" findings="$build_dir/findings/$h"
  mkdir -p "$work" "$findings"
  # A long run records no allocation stacks and does not fill fresh blocks: every bad access is
  # still caught, memory stays flat and inputs run about 40% faster. A finding is replayed with
  # the full stacks (fuzz_HARNESS FILE).
  ASAN_OPTIONS=${RUN_ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=0:max_malloc_fill_size=0} \
  "$build_dir/fuzz/fuzz_$h" "${common_options[@]}" -max_len="$(max_len "$h")" \
      -max_total_time="$seconds" -artifact_prefix="$findings/" "$@" \
      "$work" $(inputs "$h") || true
  # Only inputs that add coverage to the committed corpus are kept, minimized.
  "$build_dir/fuzz/fuzz_$h" -merge=1 -max_len="$(max_len "$h")" "fuzz/corpus/$h" "$work"
  ls "$findings"
}

case "${1:-}" in
  build) build ;;
  replay) build; replay "${2:-60}" ;;
  run) [ $# -ge 3 ] || { echo "usage: scripts/fuzz.sh run HARNESS SECONDS [OPTIONS...]" >&2; exit 2; }
       build; shift; run "$@" ;;
  *) echo "usage: scripts/fuzz.sh build | replay [SECONDS] | run HARNESS SECONDS [OPTIONS...]" >&2
     exit 2 ;;
esac
