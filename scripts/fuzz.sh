#!/usr/bin/env bash
# Runs every fuzz target in turn for SECONDS each (default 60).
#
# Builds build-fuzz/ with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer; each target starts from its seeds
# (build-fuzz/fuzz-seeds/<target>), its regression corpus
# (tests/fuzz/corpus/<target>) and the inputs earlier runs found
# (build-fuzz/corpus/<target>, kept between runs). An input that crashes, leaks,
# hangs or breaks a check is copied into tests/fuzz/corpus/<target>/ so that
# the replay test of the normal build runs it from then on.
#
# Prints executions, coverage and findings per target; exits 1 on a finding.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi
dir=build-fuzz
targets=(image_ops wav_import sonvox_wav unit_transfer levelcut journal handover_line settings_values decoder_replies)

export CC="${CC:-clang-14}" CXX="${CXX:-clang++-14}"
case "$CXX" in *clang*) ;; *) echo "scripts/fuzz.sh: CXX must be clang (got $CXX)" >&2; exit 2 ;; esac
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$PWD"
fi
echo "== configure $dir"
mkdir -p "$dir"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORMID_FUZZ=ON \
  -DCMAKE_C_COMPILER="$CC" -DCMAKE_CXX_COMPILER="$CXX" >"$dir/configure.log" 2>&1 \
  || { cat "$dir/configure.log"; exit 2; }
echo "== build"
cmake --build "$dir" -j 2 --target fuzz_all || exit 2

# Each fuzzer keeps its files in a per-process folder under TMPDIR. They all
# get one folder of this run, removed at the end (a crashing fuzzer cannot
# clean up after itself); a memory file system spares the disk the syncs of
# every image save and WAV export.
base="${TMPDIR:-/tmp}"
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  base=/dev/shm
fi
run_tmp="$(mktemp -d "$base/ormid-fuzz-run.XXXXXX")" || exit 2
trap 'rm -rf "$run_tmp"' EXIT
export TMPDIR="$run_tmp"
export ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
found=0
summary=()
for t in "${targets[@]}"; do
  work="$dir/corpus/$t"
  artifacts="$dir/artifacts/$t"
  log="$dir/logs/$t.log"
  mkdir -p "$work" "$artifacts" "$dir/logs" "tests/fuzz/corpus/$t"
  rm -f "$artifacts"/*
  case "$t" in
    image_ops | unit_transfer) maxlen=4096 ;;
    journal | handover_line) maxlen=8192 ;;
    *) maxlen=65536 ;;
  esac
  echo "== $t: ${seconds}s"
  "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=30 -rss_limit_mb=3072 \
    -max_len="$maxlen" -artifact_prefix="$artifacts/" \
    "$work" "tests/fuzz/corpus/$t" "$dir/fuzz-seeds/$t" >"$log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  corpus=$(find "$work" -type f | wc -l)
  findings=0
  for f in "$artifacts"/*; do
    [ -f "$f" ] || continue
    findings=$((findings + 1))
    cp "$f" "tests/fuzz/corpus/$t/$(basename "$f")"
    echo "   finding: tests/fuzz/corpus/$t/$(basename "$f")"
  done
  if [ "$rc" -ne 0 ] && [ "$findings" -eq 0 ]; then
    findings=1   # stopped without saving an input: see the log
    echo "   the fuzzer ended with code $rc without an input; see $log"
  fi
  [ "$findings" -gt 0 ] && { found=1; grep -m5 -E 'ERROR|check failed|runtime error|SUMMARY' "$log" | sed 's/^/   /'; }
  line=$(printf '%-14s executions %10s (%s/s)  cov %6s  ft %6s  corpus %5s  findings %d' \
    "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$corpus" "$findings")
  echo "   $line"
  summary+=("$line")
done

echo "== summary (${seconds}s per target; logs in $dir/logs)"
printf '%s\n' "${summary[@]}"
if [ "$found" -ne 0 ]; then
  echo "scripts/fuzz.sh: findings were saved in tests/fuzz/corpus/; the replay test runs them" >&2
  exit 1
fi
echo "scripts/fuzz.sh: no findings"
