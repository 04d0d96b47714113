#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each for SECONDS
# (default 20), two at a time. Inputs that crash land in build-fuzz/crashes/.
#   scripts/run-fuzzers.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-20}
shift || true
./scripts/setup-deps.sh
if [ ! -f build-fuzz/build.ninja ]; then
  flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOSPEN_FUZZ=ON \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
fi
ALL=(fits_image usno ucac2 gsc profile_file dss_reply star_lines command_line check_files)
TARGETS=("$@")
[ $# -eq 0 ] && TARGETS=("${ALL[@]}")
cmake --build build-fuzz -j"$(nproc)" --target vospen-fuzz-seeds $(printf 'fuzz_%s ' "${TARGETS[@]}")
cd build-fuzz
rm -rf seeds && ./bin/vospen-fuzz-seeds seeds ../../shared/data/real
mkdir -p crashes logs
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1
run_one() {
  local t=$1 secs=$2 len=4096
  case $t in fits_image|gsc|dss_reply) len=24000 ;; ucac2|usno) len=8192 ;; esac
  mkdir -p "corpus/$t" "seeds/$t"
  local dirs=("corpus/$t" "seeds/$t")
  [ -d "../fuzz/regressions/$t" ] && dirs+=("../fuzz/regressions/$t")
  if ./bin/fuzz_"$t" "${dirs[@]}" -max_total_time="$secs" -max_len="$len" \
       -rss_limit_mb=2560 -timeout=20 -print_final_stats=1 -artifact_prefix="crashes/$t-" \
       >"logs/$t.log" 2>&1; then
    echo "fuzz $t: clean, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "logs/$t.log" | grep -o '[0-9]*$') runs in ${secs} s"
  else
    echo "fuzz $t: FAILED (build-fuzz/logs/$t.log)"; tail -40 "logs/$t.log"; return 1
  fi
}
export -f run_one
status=0
printf '%s\n' "${TARGETS[@]}" | xargs -P 2 -I{} bash -c 'run_one "$@"' _ {} "$SECONDS_EACH" || status=1
exit $status
