#!/usr/bin/env bash
# The binary part of the demo: processes the sample days stored as
# data-acquisition file pairs (samples/binary) and their ASCII twins, shows
# that both give the same consensus files, and compares them with the truth.
# Usage: scripts/demo_binary.sh <build-dir>   (called by scripts/demo.sh)
set -euo pipefail

source "$(dirname "$0")/demo_tools.sh"

samples="$root/samples"
pairs="$samples/binary"
out="$root/demo-output/binary"
rm -rf "$out"
mkdir -p "$out"

common=(--begin 2004-06-15 --end 2004-06-16 --minutes 30 --quiet)

echo
echo "== Binary input: the same days as data-acquisition pairs ($pairs)"
for kind in winds temperature; do
  if [ "$kind" = winds ]; then
    consensus=(--window 2 --threshold 50)
  else
    consensus=(--settings "$samples/qvs_settings.csv")
  fi
  mkdir -p "$out/$kind" "$out/$kind-twin"
  "$batch" "${common[@]}" --input "$pairs" --output "$out/$kind" \
    --input-type binary --kind "$kind" "${consensus[@]}"
  "$batch" "${common[@]}" --input "$pairs/twin" --output "$out/$kind-twin" \
    --input-type ascii --site qvs --kind "$kind" "${consensus[@]}"
  # The runs differ only in the minute of their "Created on" stamps.
  if diff -r -I 'Created on:' "$out/$kind" "$out/$kind-twin" > /dev/null; then
    echo "$kind: $(cd "$out/$kind" && ls | tr '\n' ' ')identical to the ASCII twins' files"
  else
    echo "demo: binary and ASCII $kind files differ:" >&2
    diff -r -I 'Created on:' "$out/$kind" "$out/$kind-twin" | head -n 20 >&2
    exit 1
  fi
done

echo
"$samplegen" compare --truth "$samples" --winds "$out/winds" --temperature "$out/temperature" \
  --max-wind-rms 1.0 --max-temperature-rms 0.5
