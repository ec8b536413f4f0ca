#!/usr/bin/env bash
# One line of a site list (sites.example) as one restartable job: the
# quorvane-batch runs of one site and date range. Records in STATE/jobs/
# the job's command lines (NAME.cmd), its output (NAME.log) and its exit
# status (NAME.status, written last: a job without one did not finish), and
# exits with that status: the first run's status that is not 0, else 0.
# Every output file is written whole, so a job run again over the same days
# simply replaces them.
#
# Usage: site_job.sh [--dry-run | --name] STATE LINE [BATCH_OPTION...]
#   --dry-run  print the commands, run and record nothing
#   --name     print the job's name and nothing else
# Lines sharing an output folder run one after another (a lock per folder
# under STATE/locks), as quorvane-batch holds the folder for its run.
# QUORVANE_BATCH names the program; else quorvane-batch on PATH, else the
# build tree's.
set -uo pipefail

mode=run
case "${1:-}" in
  --dry-run) mode=dry; shift ;;
  --name) mode=name; shift ;;
esac
if [ $# -lt 2 ]; then
  echo "usage: site_job.sh [--dry-run | --name] STATE LINE [BATCH_OPTION...]" >&2
  exit 2
fi
state=$1 line=$2
shift 2
extra=("$@")

read -r input output site begin end settings type kind rest <<<"$line"
type=${type:-binary}
kind=${kind:-winds}
name=$(printf '%s_%s_%s_%s' "$site" "$begin" "$end" "$kind" | tr -c 'A-Za-z0-9._-' '_')
if [ "$mode" = name ]; then
  echo "$name"
  exit 0
fi

problem=""
if [ -z "$settings" ] || [ -n "$rest" ]; then
  problem="a line holds INPUT OUTPUT SITE BEGIN END SETTINGS [TYPE [KIND]]"
elif [[ ! $type =~ ^(ascii|binary)$ ]]; then
  problem="TYPE is ascii or binary, not '$type'"
elif [[ ! $kind =~ ^(winds|temperature|both)$ ]]; then
  problem="KIND is winds, temperature or both, not '$kind'"
fi

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
batch=${QUORVANE_BATCH:-$(command -v quorvane-batch || echo "$(cd "$here/../.." && pwd)/build/app/quorvane-batch")}
kinds=("$kind")
[ "$kind" = both ] && kinds=(winds temperature)
commands=()
for k in "${kinds[@]}"; do
  cmd=("$batch" --begin "$begin" --end "$end" --input "$input" --output "$output"
       --input-type "$type" --site "$site" --kind "$k")
  [ "$settings" != - ] && cmd+=(--settings "$settings")
  cmd+=("${extra[@]}" --quiet)
  commands+=("$(printf '%q ' "${cmd[@]}")")
done

if [ "$mode" = dry ]; then
  [ -n "$problem" ] && echo "# $name: $problem" && exit 2
  printf '%s\n' "${commands[@]}"
  exit 0
fi

jobs="$state/jobs"
mkdir -p "$jobs" "$state/locks"
rm -f "$jobs/$name.status"
printf '%s\n' "${commands[@]}" >"$jobs/$name.cmd"
: >"$jobs/$name.log"
finish() {
  echo "$1" >"$jobs/$name.status.part" && mv "$jobs/$name.status.part" "$jobs/$name.status"
  exit "$1"
}
if [ -n "$problem" ]; then
  echo "site list: $problem: $line" >>"$jobs/$name.log"
  finish 2
fi

mkdir -p "$output" 2>>"$jobs/$name.log"
lock="$state/locks/$(realpath -m "$output" | sha1sum | cut -c1-16)"
exec 9>"$lock"
flock 9
status=0
for command in "${commands[@]}"; do
  eval "$command" >>"$jobs/$name.log" 2>&1
  result=$?
  [ "$status" -eq 0 ] && status=$result
done
finish "$status"
