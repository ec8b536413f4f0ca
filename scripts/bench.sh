#!/usr/bin/env bash
# The benchmarks of `make bench`: the Google Benchmark micro-benchmarks, then
# one synthetic site-year end to end through quorvane-batch (and the dialog,
# where it is built), timed against `wc -w` and `cat` over the same files in
# the same run.
#
# Usage: scripts/bench.sh <build-dir>
#   BENCH_DAYS=N      days of the synthetic year (1 to 365, default 365); a
#                     smaller year makes a quick run
#   BENCH_REPEAT=N    runs of each end-to-end timing, the fastest kept (default 3)
#   BENCH_MICRO=0     skips the micro-benchmarks
#   BENCH_DIALOG=0    skips the dialog run
# The generated year is kept in <build-dir>/bench-data/site-year-N and reused;
# delete that folder to make it again. Results go to <build-dir>/bench-results.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: scripts/bench.sh <build-dir>}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
days=${BENCH_DAYS:-365}
if ! [[ "$days" =~ ^[0-9]+$ ]] || [ "$days" -lt 1 ] || [ "$days" -gt 365 ]; then
  echo "bench: BENCH_DAYS must be 1 to 365" >&2
  exit 2
fi
# Tools and number formats of the C locale, on every machine.
export LC_ALL=C

bench="$build/bench/quorvane_bench"
samplegen="$build/app/quorvane-samplegen"
for tool in "$bench" "$samplegen" "$build/app/quorvane-batch"; do
  if [ ! -x "$tool" ]; then
    echo "bench: $tool is missing; build with -DQUORVANE_BUILD_BENCH=ON first (make bench)" >&2
    exit 1
  fi
done

results="$build/bench-results"
mkdir -p "$results"

if [ "${BENCH_MICRO:-1}" != 0 ]; then
  echo "== Micro-benchmarks"
  "$bench" --benchmark_out="$results/micro.json" --benchmark_out_format=json
  echo
fi

# One site-year: five wind beams (four oblique, one vertical) and a vertical
# radar and RASS pair, a dwell every 24 s, 60 gates, as KRX pairs and as
# their ASCII twins (.raw for winds, .rat for temperature). The generator's
# arguments are the cache key.
data="$build/bench-data/site-year-$days"
gen_args=(generate --format binary --date 2003-01-01 --days "$days" --from 00:00 --to 24:00
          --gates 60 --dwell-seconds 24 --seed 1)
if [ ! -f "$data/.complete" ] || [ "$(cat "$data/.complete")" != "${gen_args[*]}" ]; then
  echo "== Generating the synthetic site-year ($days days) in $data"
  echo "   (once; a full year takes several minutes and about 2.5 GB)"
  rm -rf "$data" "$data.partial"
  mkdir -p "$data.partial"
  "$samplegen" "${gen_args[@]}" --out "$data.partial" > /dev/null
  echo "${gen_args[*]}" > "$data.partial/.complete"
  mv "$data.partial" "$data"
  echo
fi

micro_json="$results/micro.json"
[ -f "$micro_json" ] || micro_json=""
python3 "$root/scripts/bench_end_to_end.py" --build "$build" --data "$data" --days "$days" \
  --repeat "${BENCH_REPEAT:-3}" --dialog "${BENCH_DIALOG:-1}" \
  --micro "$micro_json" --out "$results/end_to_end.json"

if [ "${BENCH_FOLLOW:-1}" != 0 ]; then
  echo
  echo "== Following growing files (delay per period, CPU over a fed hour, memory over 30 days)"
  python3 "$root/scripts/bench_follow.py" --batch "$build/app/quorvane-batch" \
    --samplegen "$build/app/quorvane-samplegen" --out "$results/follow.json"
fi
