#!/usr/bin/env bash
# Builds and runs the tests of one configuration, or of all of them in turn.
#   main   the normal build: program, tools, benchmarks, every test (labels unit, e2e, and server:
#          the whole program on private sound servers that scripts/sound-server.sh and
#          scripts/pipewire-server.sh start; the PipeWire it runs is fetched first, over the network
#          unless already in its cache)
#   asan   clang with AddressSanitizer and UndefinedBehaviorSanitizer (label asan)
#   tsan   ThreadSanitizer on the Qt-free test programs (label tsan)
#   fuzz   libFuzzer targets, each run for a few seconds (label fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
what=${1:-all}

# Every configuration here treats warnings as errors; ./run.sh's release build does not.
configure() {  # dir, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DSOLVANE_WERROR=ON "$@" >/dev/null
}

run_main() {
  # The server tests' PipeWire comes from the distribution's package archive: fetched first, so a
  # machine that cannot reach it stops here with what it needs, not in the middle of the tests.
  scripts/pipewire-server.sh fetch
  configure build/main -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build/main -j "$jobs"
  ctest --test-dir build/main -j "$jobs" --output-on-failure --timeout 600
}

run_asan() {
  configure build/asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DSOLVANE_SANITIZE=ON -DSOLVANE_BENCH=OFF
  cmake --build build/asan -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp \
    ctest --test-dir build/asan -L asan -j "$jobs" --output-on-failure --timeout 900
}

run_tsan() {
  configure build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DSOLVANE_TSAN=ON
  cmake --build build/tsan -j "$jobs"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build/tsan -L tsan -j "$jobs" --output-on-failure --timeout 900
}

run_fuzz() {
  configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DSOLVANE_FUZZ=ON
  cmake --build build/fuzz -j "$jobs"
  ctest --test-dir build/fuzz -L fuzz -j "$jobs" --output-on-failure --timeout 900
}

case "$what" in
  main) run_main ;;
  asan) run_asan ;;
  tsan) run_tsan ;;
  fuzz) run_fuzz ;;
  all) run_main; run_asan; run_tsan; run_fuzz ;;
  *) echo "usage: $0 [main|asan|tsan|fuzz|all]" >&2; exit 2 ;;
esac
