#!/usr/bin/env bash
# Reprocesses an archive on one machine: GNU parallel runs one job per line
# of a site list (site_job.sh), N at a time. The joblog lets a rerun redo
# only what failed or never finished (--resume-failed); at the end every
# job of the list that has not succeeded is listed with its log.
#
# Usage: reprocess.sh [--jobs N] [--state DIR] [--lines FIRST-LAST] [--dry-run]
#                     SITE_LIST [-- BATCH_OPTION...]
#        reprocess.sh --count SITE_LIST
#   --jobs N       jobs at a time (default: the number of cores)
#   --state DIR    joblog and job records (default: SITE_LIST's name + .state)
#   --lines F-L    only the list's F-th to L-th site lines (counted from 1,
#                  comments and blank lines not counted); its own joblog
#   --dry-run      print the commands, run nothing
#   --count        print the number of site lines
# BATCH_OPTION: options every quorvane-batch run gets, e.g. --minutes 30.
# Exit status: 0 every job of the list (or lines) succeeded, 1 otherwise,
# 2 invalid arguments.
#
# Keep the site list as it is between a run and its reruns (append new
# lines at its end): the joblog knows jobs by their place in the list.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
usage() {
  sed -n '/^# Usage:/,/^# 2 invalid/p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

jobs=$(nproc)
state="" range="" dry=0 count=0 list=""
while [ $# -gt 0 ]; do
  case "$1" in
    --jobs) jobs=${2:?}; shift 2 ;;
    --state) state=${2:?}; shift 2 ;;
    --lines) range=${2:?}; shift 2 ;;
    --dry-run) dry=1; shift ;;
    --count) count=1; shift ;;
    --) shift; break ;;
    -*) usage ;;
    *) [ -n "$list" ] && usage; list=$1; shift ;;
  esac
done
batch_options=("$@")
[ -n "$list" ] && [ -r "$list" ] || { echo "reprocess: no readable site list '$list'" >&2; usage; }

# The site lines: every line that is not blank or a comment.
mapfile -t lines < <(grep -v -E '^[[:space:]]*(#|$)' "$list")
if [ "$count" -eq 1 ]; then
  echo "${#lines[@]}"
  exit 0
fi
first=1 last=${#lines[@]} joblog_name=joblog
if [ -n "$range" ]; then
  [[ $range =~ ^([0-9]+)-([0-9]+)$ ]] || usage
  first=${BASH_REMATCH[1]} last=${BASH_REMATCH[2]}
  [ "$first" -ge 1 ] || usage
  [ "$last" -gt ${#lines[@]} ] && last=${#lines[@]}
  joblog_name="joblog.$range"
fi
selected=()
[ "$first" -le "$last" ] && selected=("${lines[@]:first-1:last-first+1}")
if [ ${#selected[@]} -eq 0 ]; then
  echo "reprocess: no site lines in $list${range:+ (lines $range)}"
  exit 0
fi
state=${state:-${list%.*}.state}
joblog="$state/$joblog_name"
run=(parallel --will-cite --jobs "$jobs" --joblog "$joblog" --resume-failed
     -q "$here/site_job.sh" "$state" {} "${batch_options[@]}")

if [ "$dry" -eq 1 ]; then
  echo "# lines $first-$last of $list: $(printf '%q ' "${run[@]}") < (those lines)"
  status=0
  for line in "${selected[@]}"; do
    "$here/site_job.sh" --dry-run "$state" "$line" "${batch_options[@]}" || status=1
  done
  exit $status
fi

command -v parallel >/dev/null || { echo "reprocess: GNU parallel is not installed" >&2; exit 2; }
mkdir -p "$state"
printf '%s\n' "${selected[@]}" | "${run[@]}"

# Every job of these lines that has not succeeded, by its recorded status.
done_jobs=0 failed=()
for line in "${selected[@]}"; do
  name=$("$here/site_job.sh" --name "$state" "$line")
  status=$(cat "$state/jobs/$name.status" 2>/dev/null || echo "none: not finished")
  if [ "$status" = 0 ]; then
    done_jobs=$((done_jobs + 1))
  else
    failed+=("exit status $status: $line
  log $state/jobs/$name.log, ending:
$(tail -n 3 "$state/jobs/$name.log" 2>/dev/null | sed 's/^/    /')")
  fi
done
echo "reprocess: ${#selected[@]} jobs, $done_jobs done, ${#failed[@]} failed (joblog $joblog)"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'FAILED %s\n' "${failed[@]}"
  echo "Correct the cause and run the same command again: only these jobs run again."
  exit 1
fi
exit 0
