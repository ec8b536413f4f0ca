#!/usr/bin/env python3
"""The archive reprocessing recipe (scripts/reprocess/) on three generated
sites: the one-machine run writes what quorvane-batch writes, records each
job and lists the site that failed (its input folder missing); run again
after the folder is back, only that site is redone (joblog) and a third run
redoes nothing. The Slurm array script parses, prints its commands in a dry
run and runs one task.

Usage: reprocess_test.py --batch PATH --samplegen PATH --source DIR
Exit status 0 passed, 1 failed, 77 skipped (GNU parallel missing).
"""
import argparse
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile

failures = []
SITES = ("aaa", "bbb", "ccc")
KINDS = {"aaa": "both", "bbb": "winds", "ccc": "temperature"}
BATCH = ["--minutes", "30", "--netcdf"]


def check(condition, what):
    if not condition:
        failures.append(what)


def run(command, env, cwd):
    return subprocess.run(command, env=env, cwd=cwd, capture_output=True, text=True,
                          timeout=120)


def joblog(work, name="sites.state/joblog"):
    """(sequence number, exit status) of every joblog entry, in order."""
    path = os.path.join(work, name)
    if not os.path.exists(path):
        return []
    with open(path) as log:
        return [(int(f[0]), int(f[6])) for f in (line.split("\t") for line in log.readlines()[1:])]


def outputs(folder):
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--samplegen", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    args.batch, args.samplegen, args.source = map(os.path.abspath,
                                                  (args.batch, args.samplegen, args.source))
    if shutil.which("parallel") is None:
        print("SKIPPED: GNU parallel is not installed (scripts/setup.sh installs it)")
        return 77
    scripts = os.path.join(args.source, "scripts", "reprocess")
    settings = os.path.join(args.source, "samples", "qvs_settings.csv")
    env = dict(os.environ, QUORVANE_BATCH=args.batch, SOURCE_DATE_EPOCH="1700000000")
    env.pop("SLURM_ARRAY_TASK_ID", None)
    with tempfile.TemporaryDirectory(prefix="quorvane-reprocess-") as work:
        with open(os.path.join(work, "sites.txt"), "w") as sites:
            sites.write("# three generated sites\n\n")
            for site in SITES:
                subprocess.run([args.samplegen, "generate", "--out", f"in/{site}", "--days", "2",
                                "--from", "22:00", "--to", "24:00", "--site", site,
                                "--station", site.upper()], cwd=work, check=True,
                               stdout=subprocess.DEVNULL)
                sites.write(f"in/{site} out/{site} {site} 2004-06-15 2004-06-16 {settings} "
                            f"ascii {KINDS[site]}\n")
        os.rename(os.path.join(work, "in", "ccc"), os.path.join(work, "in", "ccc.away"))
        reprocess = [os.path.join(scripts, "reprocess.sh"), "--jobs", "2", "sites.txt", "--",
                     *BATCH]

        first = run(reprocess, env, work)
        check(first.returncode == 1, f"first run: status {first.returncode} {first.stderr}")
        failed = [line for line in first.stdout.splitlines() if line.startswith("FAILED")]
        check(len(failed) == 1 and " in/ccc " in failed[0] and "exit status 4" in failed[0],
              f"first run lists the failed site: {first.stdout}")
        check(sorted(joblog(work)) == [(1, 0), (2, 0), (3, 4)], f"joblog {joblog(work)}")
        jobs = os.path.join(work, "sites.state", "jobs")
        record = open(os.path.join(jobs, "aaa_2004-06-15_2004-06-16_both.cmd")).read()
        check(record.count("--site aaa") == 2 and "--kind temperature" in record,
              f"recorded command lines: {record}")
        check(open(os.path.join(jobs, "aaa_2004-06-15_2004-06-16_both.status")).read() == "0\n",
              "recorded status")
        check(len(outputs(os.path.join(work, "out", "aaa"))) == 10, "aaa: both kinds written")
        # The recipe's files are those of quorvane-batch run by hand.
        by_hand = os.path.join(work, "by-hand")
        subprocess.run([args.batch, "--begin", "2004-06-15", "--end", "2004-06-16", "--input",
                        "in/bbb", "--output", by_hand, "--input-type", "ascii", "--site", "bbb",
                        "--kind", "winds", "--settings", settings, *BATCH, "--quiet"],
                       cwd=work, env=env, check=True)
        names = outputs(by_hand)
        check(names == outputs(os.path.join(work, "out", "bbb")) and len(names) == 4,
              f"bbb files {names}")
        for name in names:
            if not name.endswith(".nc"):  # netCDF history holds the command line
                check(filecmp.cmp(os.path.join(by_hand, name),
                                  os.path.join(work, "out", "bbb", name), shallow=False),
                      f"bbb: {name} as quorvane-batch writes it")

        kept = os.stat(os.path.join(work, "out", "aaa", "AAA04167.w1a")).st_mtime_ns
        os.rename(os.path.join(work, "in", "ccc.away"), os.path.join(work, "in", "ccc"))
        second = run(reprocess, env, work)
        check(second.returncode == 0 and "3 jobs, 3 done, 0 failed" in second.stdout,
              f"second run: {second.returncode} {second.stdout} {second.stderr}")
        check(joblog(work)[3:] == [(3, 0)], f"only ccc redone: {joblog(work)}")
        check(os.stat(os.path.join(work, "out", "aaa", "AAA04167.w1a")).st_mtime_ns == kept,
              "aaa's files untouched by the rerun")
        check(len(outputs(os.path.join(work, "out", "ccc"))) == 6, "ccc written")
        third = run(reprocess, env, work)
        check(third.returncode == 0 and len(joblog(work)) == 4, "a third run redoes nothing")

        sbatch = os.path.join(scripts, "reprocess.sbatch")
        check(run(["bash", "-n", sbatch], env, work).returncode == 0, "sbatch script parses")
        slurm = [sbatch, "--per-task", "2", "--state", "slurm.state", "sites.txt", "--", *BATCH]
        plan = run([sbatch, "--dry-run", *slurm[1:]], env, work)
        check(plan.returncode == 0 and plan.stdout.startswith("sbatch --array=0-1%2 ") and
              plan.stdout.count("--kind ") == 4 and not os.path.exists(
                  os.path.join(work, "slurm.state")), f"dry run plan: {plan.stdout}")
        task = dict(env, SLURM_ARRAY_TASK_ID="1", SLURM_CPUS_PER_TASK="2")
        one = run([sbatch, "--dry-run", *slurm[1:]], task, work)
        commands = [line for line in one.stdout.splitlines() if not line.startswith("#")]
        check(one.returncode == 0 and len(commands) == 1 and "--site ccc" in commands[0] and
              commands[0].startswith(args.batch), f"dry run of task 1: {one.stdout}")
        ran = run(slurm, task, work)
        check(ran.returncode == 0 and joblog(work, "slurm.state/joblog.3-4") == [(1, 0)],
              f"task 1 run: {ran.returncode} {ran.stdout} {ran.stderr}")
    if failures:
        print("FAILED:\n  " + "\n  ".join(failures))
        return 1
    print("passed: reprocessing recipe")
    return 0


if __name__ == "__main__":
    sys.exit(main())
