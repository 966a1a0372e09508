#!/usr/bin/env bash
# Measures vostal-swap in a Release build and prints a Markdown table of
# figure, measured value, goal and ratio, followed by the machine it ran on.
# It is never part of the tests: nothing here passes or fails on a number.
#
#   scripts/bench.sh            # 5 runs of each measurement
#   VOSTAL_BENCH_REPS=9 scripts/bench.sh
#
# Build directory: build/bench (VOSTAL_BENCH_BUILD overrides it). Scratch
# files, among them a 1 GiB staged file, live in a temporary directory that is
# removed at the end whatever happens (VOSTAL_BENCH_TMP picks its parent).
#
# Values are the median of the runs, with the best run in brackets: the
# machine may be shared, and the best run shows what the code can do while
# the median shows what a run usually gets.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
source scripts/lib/deps.sh

REPS=${VOSTAL_BENCH_REPS:-5}
BUILD=${VOSTAL_BENCH_BUILD:-$ROOT/build/bench}
BIN=$BUILD/bin
SETTLE_MS=800          # the wait after the parent is found gone
HANDOVER_BUDGET_MS=60  # goal for the hand-over, beside one tasklist poll
RSS_GOAL_MIB=16
THROUGHPUT_GOAL=0.9    # times the faster of openssl and sha256sum

ensure_native_deps
ensure_bench_deps

# --- build -------------------------------------------------------------------
mkdir -p "$BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$BUILD/bench-configure.log" 2>&1 ||
  { cat "$BUILD/bench-configure.log" >&2; exit 1; }
targets=(vostal-swap tasklist bench_clock bench_sha256_file bench_make_manifest bench_probe)
if cmake --build "$BUILD" --target help | grep '^bench_verify_manifest:' >/dev/null; then
  targets+=(bench_verify_manifest)
fi
cmake --build "$BUILD" --target "${targets[@]}" -j2 >"$BUILD/bench-build.log" 2>&1 ||
  { cat "$BUILD/bench-build.log" >&2; exit 1; }

WORK=$(mktemp -d "${VOSTAL_BENCH_TMP:-${TMPDIR:-/tmp}}/vostal-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# --- helpers -----------------------------------------------------------------
log() { echo "bench: $*" >&2; }

# key=value field of a line: field "median_ns" "min_ns=1 median_ns=2"
field() { tr ' ' '\n' <<<"$2" | sed -n "s/^$1=//p"; }

# Median and minimum of numbers on standard input, one per line: "MEDIAN MIN".
median_min() { sort -g | awk '{v[NR]=$1} END{print v[int((NR+1)/2)], v[1]}'; }

# Float arithmetic: calc '1/3'.
calc() { awk "BEGIN{printf \"%.6g\\n\", $1}"; }
fmt() { awk -v v="$1" -v d="${2:-1}" 'BEGIN{printf "%.*f", d, v}'; }
ms() { fmt "$(calc "$1 / 1e6")" "${2:-1}"; }  # ns -> ms text

# The id of a process that has already gone (and been reaped).
dead_pid() { sh -c 'echo $$'; }

# A file of exactly $2 bytes that runs as bench_probe: the probe, then random
# bytes, which the loader never looks at. Written in 1 MiB blocks, as a
# downloader with a decent buffer would: the size of the writes decides the
# size of the page-cache folios, and on Linux 6.x a file written 4 KiB at a
# time costs every reader about 3 ms more per 100 MiB to copy out.
make_staged() {
  local out=$1 size=$2 probe_size
  probe_size=$(stat -c %s "$BIN/bench_probe")
  { cat "$BIN/bench_probe"; head -c $((size - probe_size)) /dev/urandom; } |
    dd of="$out" bs=1M iflag=fullblock status=none
  [ "$(stat -c %s "$out")" = "$size" ] || { log "could not write $out"; exit 1; }
  chmod +x "$out"
  cat "$out" >/dev/null  # in the page cache for every contender alike
}

# Lays out one run in directory $1 for the staged master file $2 and its
# manifest $3: a small installed program, the staged file hard-linked (so the
# swap's renames never copy it and its pages stay cached) and the manifest.
prepare_run() {
  local dir=$1 master=$2 manifest=$3
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$BIN/bench_probe" "$dir/app"
  ln "$master" "$dir/app.new"
  cp "$manifest" "$dir/app.manifest"
}

# One whole run of vostal-swap through bench_clock (extra leading words wrap
# the program, e.g. /usr/bin/time). Prints bench_clock's line; fails if the
# run did not end with the relaunched probe.
whole_run() {
  local dir=$1; shift
  local line
  line=$("$BIN/bench_clock" handover "$dir/stderr.log" "$@" \
    "$BIN/vostal-swap" "$dir/app" "$dir/app.new" "$(dead_pid)" "$dir/app.manifest") || {
    log "vostal-swap run failed: $line"; cat "$dir/stderr.log" >&2; return 1; }
  if [ "$(field status "$line")" != 0 ] || ! grep -q '^\[updater\] launched$' "$dir/stderr.log"; then
    log "vostal-swap run did not complete: $line"; cat "$dir/stderr.log" >&2; return 1
  fi
  echo "$line"
}

ROWS=()
row() { ROWS+=("| $1 | $2 | $3 | $4 |"); }

# --- 1. verifying a 1 GiB staged file ----------------------------------------
GIB=$((1024 * 1024 * 1024))
log "1 GiB staged file: writing it"
make_staged "$WORK/staged-1g" "$GIB"
read -r reference _ < <(sha256sum "$WORK/staged-1g")

log "1 GiB: sha256sum, openssl dgst -sha256, sha256_file ($REPS runs each, interleaved)"
: >"$WORK/t-sha256sum"; : >"$WORK/t-openssl"; : >"$WORK/t-vostal"
for ((i = 0; i < REPS; i++)); do
  field median_ns "$("$BIN/bench_clock" spawn 1 "$(command -v sha256sum)" "$WORK/staged-1g")" >>"$WORK/t-sha256sum"
  field median_ns "$("$BIN/bench_clock" spawn 1 "$(command -v openssl)" dgst -sha256 "$WORK/staged-1g")" >>"$WORK/t-openssl"
  out=$("$BIN/bench_sha256_file" "$WORK/staged-1g" 1)
  awk '/^seconds/{printf "%.0f\n", $2 * 1e9}' <<<"$out" >>"$WORK/t-vostal"
done
# Every contender must have hashed the same bytes to the same digest.
[ "$(awk '/^sha256/{print $2}' <<<"$out")" = "$reference" ] || { log "sha256_file digest differs"; exit 1; }
[ "$(openssl dgst -sha256 -r "$WORK/staged-1g" | cut -d' ' -f1)" = "$reference" ] || { log "openssl digest differs"; exit 1; }

mibps() { calc "1024 / ($1 / 1e9)"; }  # 1 GiB in N ns -> MiB/s
read -r sum_med sum_min < <(median_min <"$WORK/t-sha256sum")
read -r ossl_med ossl_min < <(median_min <"$WORK/t-openssl")
read -r vost_med vost_min < <(median_min <"$WORK/t-vostal")
faster_med=$(calc "($sum_med < $ossl_med) ? $sum_med : $ossl_med")
faster_min=$(calc "($sum_min < $ossl_min) ? $sum_min : $ossl_min")
faster_name=$([ "$(calc "$ossl_med <= $sum_med")" = 1 ] && echo "openssl dgst" || echo "sha256sum")
row "SHA-256 of 1 GiB: vostal-swap's sha256_file" \
  "$(fmt "$(mibps "$vost_med")" 0) MiB/s ($(fmt "$(mibps "$vost_min")" 0))" \
  "≥ $THROUGHPUT_GOAL × $faster_name" \
  "$(fmt "$(calc "$faster_med / $vost_med")" 2) ($(fmt "$(calc "$faster_min / $vost_min")" 2))"
row "SHA-256 of 1 GiB: openssl dgst -sha256" "$(fmt "$(mibps "$ossl_med")" 0) MiB/s ($(fmt "$(mibps "$ossl_min")" 0))" "" ""
row "SHA-256 of 1 GiB: sha256sum" "$(fmt "$(mibps "$sum_med")" 0) MiB/s ($(fmt "$(mibps "$sum_min")" 0))" "" ""

log "1 GiB: whole vostal-swap runs under /usr/bin/time -v"
make_manifest() { "$BIN/bench_make_manifest" "$1" "$ROOT/keys/dev" "$2"; }
make_manifest "$reference" "$WORK/manifest-1g"
: >"$WORK/rss"; : >"$WORK/t-whole-1g"
for ((i = 0; i < REPS; i++)); do
  prepare_run "$WORK/run" "$WORK/staged-1g" "$WORK/manifest-1g"
  line=$(whole_run "$WORK/run" /usr/bin/time -v -o "$WORK/run/time.txt")
  sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$WORK/run/time.txt" >>"$WORK/rss"
  field first_line_ns "$line" >>"$WORK/t-whole-1g"
done
rm -rf "$WORK/run"
read -r rss_med rss_min < <(median_min <"$WORK/rss")
read -r whole_med whole_min < <(median_min <"$WORK/t-whole-1g")
row "Peak RSS of the whole vostal-swap run, 1 GiB staged" \
  "$(fmt "$(calc "$rss_med / 1024")" 1) MiB ($(fmt "$(calc "$rss_min / 1024")" 1))" \
  "< $RSS_GOAL_MIB MiB" "$(fmt "$(calc "$rss_med / 1024 / $RSS_GOAL_MIB")" 2)"
row "Whole vostal-swap run, 1 GiB: start → relaunched program's first line, minus ${SETTLE_MS} ms" \
  "$(ms "$(calc "$whole_med - $SETTLE_MS * 1e6")") ms ($(ms "$(calc "$whole_min - $SETTLE_MS * 1e6")"))" "" ""
rm -f "$WORK/staged-1g"  # the 1 GiB file goes as soon as it is not needed

# --- 2. the hand-over, parent already gone, 100 MiB ----------------------------
log "tasklist poll: 20 process starts"
poll=$("$BIN/bench_clock" spawn 20 "$BIN/tasklist" /NH /FO CSV /FI "PID eq $(dead_pid)")
poll_med=$(field median_ns "$poll"); poll_min=$(field min_ns "$poll")

log "start-up: vostal-swap refusing its command line, the relaunch probe (200 starts each)"
startup=$("$BIN/bench_clock" spawn 200 "$BIN/vostal-swap")
[ "$(field status "$startup")" = 1 ] || { log "a refused command line did not exit with 1: $startup"; exit 1; }
probe_start=$("$BIN/bench_clock" spawn 200 "$BIN/bench_probe")

log "100 MiB hand-over: $REPS whole runs"
make_staged "$WORK/staged-100m" $((100 * 1024 * 1024))
read -r digest_100m _ < <(sha256sum "$WORK/staged-100m")
make_manifest "$digest_100m" "$WORK/manifest-100m"
: >"$WORK/t-handover"; : >"$WORK/t-hash-100m"
for ((i = 0; i < REPS; i++)); do
  prepare_run "$WORK/run" "$WORK/staged-100m" "$WORK/manifest-100m"
  line=$(whole_run "$WORK/run")
  calc "$(field first_line_ns "$line") - $SETTLE_MS * 1e6" >>"$WORK/t-handover"
  "$BIN/bench_sha256_file" "$WORK/staged-100m" 1 | awk '/^seconds/{printf "%.0f\n", $2 * 1e9}' >>"$WORK/t-hash-100m"
done
rm -rf "$WORK/run" "$WORK/staged-100m"
read -r hand_med hand_min < <(median_min <"$WORK/t-handover")
read -r hash100_med hash100_min < <(median_min <"$WORK/t-hash-100m")
budget_med=$(calc "$HANDOVER_BUDGET_MS * 1e6 + $poll_med")
row "Hand-over, 100 MiB, parent gone: start → relaunched program's first line, minus ${SETTLE_MS} ms" \
  "$(ms "$hand_med") ms ($(ms "$hand_min"))" \
  "< $HANDOVER_BUDGET_MS ms + one poll = $(ms "$budget_med") ms" \
  "$(fmt "$(calc "$hand_med / $budget_med")" 2)"
row "… of which SHA-256 of the 100 MiB file (sha256_file alone)" "$(ms "$hash100_med") ms ($(ms "$hash100_min"))" "" ""
row "One tasklist poll (a process start, measured alone)" "$(ms "$poll_med" 2) ms ($(ms "$poll_min" 2))" "reported" ""
start_med=$(field median_ns "$startup"); probe_med=$(field median_ns "$probe_start")
row "… vostal-swap's own start and exit; the relaunched probe's start and exit (measured alone)" \
  "$(ms "$start_med" 2) ms; $(ms "$probe_med" 2) ms" "" ""
row "… the rest: manifest, libcrypto set-up, renames, launch, timer slack (medians subtracted)" \
  "$(ms "$(calc "$hand_med - $hash100_med - $poll_med - $start_med - $probe_med")") ms" "" ""

# --- 3. decoding and the policy against the bare signature checks ------------
if [ -x "$BIN/bench_verify_manifest" ]; then
  log "bench_verify_manifest"
  "$BIN/bench_verify_manifest" --benchmark_format=csv --benchmark_repetitions="$REPS" \
    --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true \
    2>/dev/null >"$WORK/verify.csv"
  # name,iterations,real_time,cpu_time,time_unit,...: the CPU time, in
  # microseconds, is the least disturbed by other work on the machine.
  stat_of() { awk -F, -v n="\"$1_$2\"" '$1 == n {print $4}' "$WORK/verify.csv"; }
  policy=$(stat_of BM_DecodeAndVerifyManifest median)
  raw=$(stat_of BM_LibsodiumVerificationsOnly median)
  decode=$(stat_of BM_DecodeOnly median)
  row "decode_signed_manifest + verify_manifest, largest accepted manifest (11 Ed25519 checks of 16 KiB; CPU time)" \
    "$(fmt "$policy" 1) µs" "" ""
  row "… the same 11 checks straight through libsodium" "$(fmt "$raw" 1) µs" "" ""
  row "… policy and decoding overhead over the raw checks" \
    "$(fmt "$(calc "$policy - $raw")" 1) µs ($(fmt "$(calc "($policy - $raw) / $raw * 100")" 1) %)" \
    "reported" "$(fmt "$(calc "$policy / $raw")" 3)"
  row "… decoding alone (file and body)" "$(fmt "$decode" 2) µs" "" ""
else
  row "verify_manifest benchmark" "not built" "" ""
fi

# --- 4. size and start-up ------------------------------------------------------
kib() { fmt "$(calc "$1 / 1024")" 0; }
size=$(stat -c %s "$BIN/vostal-swap")
strip -o "$WORK/vostal-swap.stripped" "$BIN/vostal-swap"
row "Size of vostal-swap (Linux, Release)" "$(kib "$size") KiB ($(kib "$(stat -c %s "$WORK/vostal-swap.stripped")") KiB stripped)" "reported" ""
exe=$ROOT/build/windows/bin/vostal-swap.exe
if [ -f "$exe" ]; then
  exe_size=$(stat -c %s "$exe")
  stripped=""
  if command -v x86_64-w64-mingw32-strip >/dev/null; then
    x86_64-w64-mingw32-strip -o "$WORK/vostal-swap.exe" "$exe"
    stripped=" ($(kib "$(stat -c %s "$WORK/vostal-swap.exe")") KiB stripped)"
  fi
  row "Size of vostal-swap.exe (mingw-w64, build/windows)" "$(kib "$exe_size") KiB$stripped" "reported" ""
else
  row "Size of vostal-swap.exe" "not built (build/windows)" "" ""
fi
row "Start-up of vostal-swap for a refused command line (start → exit 1)" \
  "$(ms "$(field median_ns "$startup")" 2) ms ($(ms "$(field min_ns "$startup")" 2))" "reported" ""

# --- the table and the machine -------------------------------------------------
echo "| figure | measured: median of $REPS (best) | goal | ratio |"
echo "|---|---|---|---|"
printf '%s\n' "${ROWS[@]}"
echo
echo "Ratios: throughput as the faster contender's time over ours (≥ $THROUGHPUT_GOAL meets the goal);"
echo "memory and hand-over as measured over goal (< 1 meets it); the policy as its time over the raw checks."
echo
mem_gib=$(awk '/^MemTotal:/{printf "%.1f", $2 / 1024 / 1024}' /proc/meminfo)
echo "Machine: $(lscpu | sed -n 's/^Model name:\s*//p'), $(nproc) cores, $mem_gib GiB memory," \
  "$(. /etc/os-release && echo "$PRETTY_NAME"), kernel $(uname -r);" \
  "$(c++ --version | head -1), $(openssl version | cut -d' ' -f1-2), $(sha256sum --version | head -1);" \
  "commit $(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo unknown)."
