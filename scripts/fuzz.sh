#!/usr/bin/env bash
# Fuzzing of the readers and the settings file with libFuzzer.
#
#   scripts/fuzz.sh smoke   every target for a few seconds plus the saved
#                           regression inputs (about a minute in all; part
#                           of `make test`)
#   scripts/fuzz.sh full    every target for FUZZ_SECONDS (default 300) each
#                           (`make fuzz`)
#
# Environment: FUZZ_SECONDS (seconds per target in full mode), FUZZ_TARGETS
# (a subset, e.g. "ascii_day binary_pair"), FUZZ_BUILD (build folder,
# default build-fuzz), FUZZ_JOBS (build jobs).
#
# The fuzz build is its own CMake build with clang and -DQUORVANE_FUZZ=ON.
# Full runs grow corpora in $FUZZ_BUILD/corpus/<target>, kept between runs;
# the smoke starts from the seeds alone. Seeds are written afresh by qv-fuzz-seeds and the sample generator. A
# crash, hang, leak or sanitizer report fails the script; the input is left
# in $FUZZ_BUILD/artifacts/<target>/. Executions per run are appended to
# $FUZZ_BUILD/fuzz-stats.log.
set -euo pipefail

mode="${1:-full}"
case "$mode" in
  smoke) seconds="${FUZZ_SECONDS:-15}" ;;
  full) seconds="${FUZZ_SECONDS:-300}" ;;
  *) echo "usage: $0 [smoke|full]" >&2; exit 2 ;;
esac

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD:-$root/build-fuzz}"
jobs="${FUZZ_JOBS:-$(nproc)}"
targets=(${FUZZ_TARGETS:-ascii_day binary_pair settings_csv consensus_file})

compiler="$(command -v clang++-14 || command -v clang++ || true)"
if [ -z "$compiler" ]; then
  echo "fuzz: clang++ is not installed (scripts/setup.sh installs clang-14)" >&2
  exit 1
fi

# Several runs of this script may share the build (one per target): the
# build itself is done by one at a time.
mkdir -p "$build"
build_targets=(qv-fuzz-seeds quorvane-samplegen quorvane-batch)
for t in "${targets[@]}"; do build_targets+=("${t}_fuzzer"); done
(
  flock 9
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER="$compiler" -DQUORVANE_FUZZ=ON \
      -DQUORVANE_BUILD_UI=OFF -DQUORVANE_BUILD_TESTS=OFF >/dev/null
  fi
  log="$(mktemp)"
  if ! cmake --build "$build" -j "$jobs" --target "${build_targets[@]}" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
) 9>"$build/.fuzz-build.lock"

# ---- Seeds (in a folder of this run's own) ----
work="$(mktemp -d "$build/run.XXXXXX")"
trap 'rm -rf "$work"' EXIT
seeds="$work/seeds"
"$build/fuzz/qv-fuzz-seeds" "$seeds"
separator="--QV-NEXT-FILE--"
gen="$work/samplegen"
mkdir -p "$gen"
"$build/app/quorvane-samplegen" generate --out "$gen" --date 2004-06-15 --days 1 \
  --from 23:30 --to 24:00 --kind both --site abc --spill-minutes 6 >/dev/null
# Options byte 0x32: winds, vertical velocities when available, 60 minutes;
# 0x33 the same for temperature (see fuzz/fuzz_support.h).
{ printf '\x32'; cat "$gen/abc04167.raw"; printf '%s' "$separator"; cat "$gen/abc04168.raw"; } \
  >"$seeds/ascii/samplegen_winds"
{ printf '\x33'; cat "$gen/abc04167.rat"; printf '%s' "$separator"; cat "$gen/abc04168.rat"; } \
  >"$seeds/ascii/samplegen_temperature"
{ printf '\x32'; cat "$root/samples/qvs04169.raw"; } >"$seeds/ascii/sample_spill_winds"
{ printf '\x33'; cat "$root/samples/qvs04169.rat"; } >"$seeds/ascii/sample_spill_temperature"
# A binary day's last quarter hour and its next-day pair, from the same
# generator (written through the KRX file writer).
mkdir -p "$gen/binary"
"$build/app/quorvane-samplegen" generate --out "$gen/binary" --format binary --date 2004-05-05 \
  --days 1 --from 23:45 --to 24:00 --site abc --spill-minutes 4 >/dev/null
for options in 32 33; do
  {
    printf "\x$options"
    cat "$gen/binary/d04126a.mom"; printf '%s' "$separator"
    cat "$gen/binary/h04126a.mom"; printf '%s' "$separator"
    cat "$gen/binary/d04127a.mom"; printf '%s' "$separator"
    cat "$gen/binary/h04127a.mom"
  } >"$seeds/binary/samplegen_$options"
done
cp "$root/samples/qvs_settings.csv" "$seeds/settings_csv/samples.csv"
# Consensus data files of the bundled samples, as the batch tool writes them
# (winds and the Tv and TvC files), one with CR LF line ends.
mkdir -p "$seeds/consensus_file" "$gen/consensus"
for kind in winds temperature; do
  "$build/app/quorvane-batch" --begin 2004-06-15 --end 2004-06-15 --input "$root/samples" \
    --output "$gen/consensus" --input-type ascii --site qvs --kind "$kind" --minutes 60 \
    --window 2 --threshold 50 --rass-window 1.5 --quiet >/dev/null
done
cp "$gen/consensus"/* "$seeds/consensus_file/"
sed 's/$/\r/' "$gen/consensus/QVS04167.w1a" >"$seeds/consensus_file/crlf.w1a"

seed_dir() {
  case "$1" in
    ascii_day) echo "$seeds/ascii" ;;
    binary_pair) echo "$seeds/binary" ;;
    settings_csv) echo "$seeds/settings_csv" ;;
    consensus_file) echo "$seeds/consensus_file" ;;
  esac
}
max_len() {
  case "$1" in
    settings_csv) echo 4096 ;;
    # A real day: some 3 MB of ASCII moments, 2.5 MB for a KRX pair.
    ascii_day|binary_pair) echo 4194304 ;;
    *) echo 16384 ;;
  esac
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=0
for t in "${targets[@]}"; do
  exe="$build/fuzz/${t}_fuzzer"
  # The smoke starts from the seeds alone, so that its time stays bounded;
  # full runs grow the kept corpus.
  corpus="$build/corpus/$t"
  [ "$mode" = smoke ] && corpus="$work/corpus/$t"
  artifacts="$build/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"

  # Inputs that once failed must keep passing.
  regressions="$root/fuzz/regressions/$t"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    if ! "$exe" -close_fd_mask=3 -timeout=10 "$regressions"/* >"$work/$t-regressions.log" 2>&1; then
      echo "fuzz: $t: a saved regression input fails again:" >&2
      tail -n 40 "$work/$t-regressions.log" >&2
      failed=1
      continue
    fi
  fi

  log="$build/$t-$mode.log"
  : >"$log"
  echo "fuzz: $t for ${seconds}s"
  if "$exe" "$corpus" "$(seed_dir "$t")" \
      -dict="$root/fuzz/$t.dict" -max_len="$(max_len "$t")" -timeout=10 -rss_limit_mb=2048 \
      -max_total_time="$seconds" -close_fd_mask=3 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" >"$log" 2>&1; then
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    echo "fuzz: $t: ${runs:-?} executions, no finding"
    printf '%s %s %s %ss %s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$t" "$mode" "$seconds" \
      "${runs:-0}" >>"$build/fuzz-stats.log"
  else
    echo "fuzz: $t FAILED (input saved in $artifacts):" >&2
    grep -E 'ERROR|SUMMARY|runtime error|==[0-9]+==|fuzz:|Test unit written' "$log" | head -n 20 >&2 || true
    failed=1
  fi
done

exit "$failed"
