#!/usr/bin/env bash
# A follower keeping up with a simulated data system: quorvane-samplegen feed
# grows two generated days (a day's 4 hours of dwells in about 10 s), and
# quorvane-batch --follow writes each period's files as it completes, with
# netCDF files and plots. Usage: scripts/demo_live.sh <build-dir>
# (called by `make demo-live`).
set -euo pipefail

source "$(dirname "$0")/demo_tools.sh"

live="$root/demo-live"
rm -rf "$live"
mkdir -p "$live/out"

echo "== The data system: two days, 20:00 to 24:00, written as they are measured"
"$samplegen" feed --out "$live/in" --kind winds --days 2 --from 20:00 --to 24:00 \
  --speed 1440 --max-wait 2 >"$live/feed.log" &
feed=$!

echo "== The follower: one log line per period written (30-minute periods)"
"$batch" --follow --begin 2004-06-15 --input "$live/in" --output "$live/out" \
  --input-type ascii --site qvs --kind winds --minutes 30 --window 2 --threshold 50 \
  --netcdf --plot png --poll 1 --grace 0.1 --status "$live/status.json" &
follower=$!
trap 'kill $feed $follower 2>/dev/null || true' EXIT

wait "$feed"
# The last period of the second day is complete when its input has been
# quiet for the grace (6 s here).
sleep 10
kill -TERM "$follower"
wait "$follower" && echo "== The follower stopped with status 0"
trap - EXIT

echo
echo "== Its status file"
cat "$live/status.json"
echo
echo "== Files in $live/out"
(cd "$live/out" && ls -l)
