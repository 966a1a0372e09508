#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehavior-
# Sanitizer) in build/fuzz and runs each for SECONDS over its corpus.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]      default: 60 seconds, every target
#
# The seed corpus in fuzz/corpus/<target>/ is only read; inputs that find new
# coverage go to build/fuzz/corpus/<target>/, which later runs start from too.
# A crash, leak or failed check leaves its input in build/fuzz/artifacts/ and
# makes the script exit non-zero after all targets have run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

seconds=${1:-60}
shift || true
[[ $seconds =~ ^[0-9]+$ ]] || { echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2; exit 2; }

ensure_native_deps
ensure_harden_deps

build=build/fuzz
# clang 19 is the first clang whose C++23 mode offers libstdc++ 12's
# std::expected (it needs __cpp_concepts >= 202002).
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang-19 -DCMAKE_CXX_COMPILER=clang++-19 \
  -DCMAKE_C_FLAGS="-O1 $sanitize -fsanitize=fuzzer-no-link" \
  -DCMAKE_CXX_FLAGS="-O1 $sanitize -fsanitize=fuzzer-no-link" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" \
  -DVOSTAL_BUILD_TESTS=OFF -DVOSTAL_BUILD_BENCH=OFF -DVOSTAL_BUILD_FUZZ=ON \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build" --target fuzz_all -j2

if [ $# -eq 0 ]; then
  targets=()
  for dir in fuzz/corpus/*/; do
    name=$(basename "$dir")
    [ -x "$build/bin/$name" ] && targets+=("$name")
  done
else
  targets=("$@")
fi
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets were built" >&2; exit 1; }

mkdir -p "$build/artifacts" "$build/logs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
symbolizer=$(command -v llvm-symbolizer-19 llvm-symbolizer | head -1 || true)
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH=$symbolizer

# Two targets at a time (the machine has two cores); each writes its own log
# and a one-line result that the summary collects in target order.
fuzz_one() {
  local t=$1 log="$build/logs/$1.log" rc=0
  mkdir -p "$build/corpus/$t"
  "$build/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -use_value_profile=1 \
    -artifact_prefix="$build/artifacts/$t-" \
    "$build/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1 || rc=$?
  local execs rate last cov ft corp result
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$last")
  if [ $rc -eq 0 ]; then
    result=ok
  else
    result="FAILED (exit $rc, see $log)"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|artifact_prefix|Test unit written)' "$log" | head -20 >&2 || true
  fi
  printf '%-30s execs %-10s exec/s %-7s cov %-6s ft %-6s corpus %-12s %s\n' \
    "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$result" >"$build/logs/$t.result"
  [ $rc -eq 0 ]
}

failed=0
running=0
for t in "${targets[@]}"; do
  echo "== $t: ${seconds}s"
  rm -f "$build/logs/$t.result"
  fuzz_one "$t" &
  running=$((running + 1))
  if [ $running -ge 2 ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ $running -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done

echo "== fuzz summary (${seconds}s per target)"
for t in "${targets[@]}"; do cat "$build/logs/$t.result" 2>/dev/null || echo "$t: no result"; done
exit $failed
