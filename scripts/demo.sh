#!/usr/bin/env bash
# Processes the bundled sample days with quorvane-batch and compares the
# recovered winds and temperatures with the known truth.
# Usage: scripts/demo.sh <build-dir>   (called by `make demo`)
set -euo pipefail

source "$(dirname "$0")/demo_tools.sh"

samples="$root/samples"
out="$root/demo-output"
rm -rf "$out"
mkdir -p "$out"

common=(--begin 2004-06-15 --end 2004-06-16 --input "$samples" --output "$out"
        --input-type ascii --site qvs --minutes 30 --netcdf --plot png)

echo "== Winds: 15-16 June 2004, 30-minute consensus, window 2 m/s, threshold 50 %"
"$batch" "${common[@]}" --kind winds --window 2 --threshold 50 \
  --save-settings "$out/winds-settings.csv"

echo
echo "== Temperature: the same days, per-beam settings from samples/qvs_settings.csv"
"$batch" "${common[@]}" --kind temperature --settings "$samples/qvs_settings.csv"

echo
echo "== Files written to $out (consensus files, netCDF files, plots)"
(cd "$out" && ls -l)
echo "Plots of the sample days:"
for plot in "$out"/*.png; do echo "  $plot"; done

first=$(cd "$out" && ls -- *.w1a | head -n 1)
echo
echo "== First period block of $first"
# The column heads end the header; the next line is the first period line,
# whose second field counts the gate lines that follow it.
awk '
  started && todo < 0 { print; todo = $2; next }
  started && todo > 0 { print; todo--; if (todo == 0) exit; next }
  started && todo == 0 { exit }
  /^QC   Height/ { print }
  /^Code \(m msl\)/ { print; started = 1; todo = -1 }
' "$out/$first"

echo
"$samplegen" compare --truth "$samples" --winds "$out" --temperature "$out" \
  --max-wind-rms 1.0 --max-temperature-rms 0.5

# The same days as binary data-acquisition pairs.
"$root/scripts/demo_binary.sh" "$build"
