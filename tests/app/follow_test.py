#!/usr/bin/env python3
"""quorvane-batch --follow against the simulated data system.

1. ASCII winds with netCDF files: while the feed grows two days, every
   period that any consensus file ever shows is byte for byte the period of
   the final file (no partial period is ever written), the status file is
   always whole JSON, the web site's index is always whole with every script
   it loads, and the finished days equal an ordinary run's files.
2. Binary temperature: the writer dies inside a record, the follower writes
   the stopped data after the grace without reporting damage, the writer is
   restarted, the follower is killed (SIGKILL) twice and started again, and
   in the end the files equal an ordinary run's; SIGTERM ends it with 0.
"""
import argparse
import json
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time

SPAN = ["--days", "2", "--from", "23:00", "--to", "24:00"]
SETTINGS = ["--minutes", "30", "--window", "2", "--threshold", "50"]
ENV = dict(os.environ, SOURCE_DATE_EPOCH="0")
FAILURES = []


def check(ok, what):
    if not ok:
        FAILURES.append(what)
        print("FAIL:", what)


def periods(path):
    """The period records of a consensus file: its header, then per period a
    line "HHMM gates changes" followed by its gate lines."""
    try:
        with open(path, "rb") as f:
            lines = f.read().split(b"\n")
    except FileNotFoundError:
        return []
    header = re.compile(rb"^\d{4} +\d+ +\d+$")
    starts = [i for i, line in enumerate(lines) if header.match(line)]
    return [b"\n".join(lines[a:b]).rstrip(b"\n")
            for a, b in zip(starts, starts[1:] + [len(lines)])]


def wait_for(predicate, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return False


def log_text(path):
    with open(path, errors="replace") as f:
        return f.read()


def ordinary_run(args, work, inputs, kind_args):
    ref = os.path.join(work, "ref")
    os.makedirs(ref)
    subprocess.run([args.batch, "--begin", "2004-06-15", "--end", "2004-06-16", "--input", inputs,
                    "--output", ref, "-q"] + kind_args + SETTINGS, env=ENV, check=True)
    return ref


def same_netcdf(a, b):
    """Equal variables and attributes, the history (command line and stamp) aside."""
    try:
        import netCDF4
        import numpy
    except ImportError:
        return True
    with netCDF4.Dataset(a) as x, netCDF4.Dataset(b) as y:
        attrs = lambda d: {k: str(d.getncattr(k)) for k in d.ncattrs() if k != "history"}
        if attrs(x) != attrs(y) or set(x.variables) != set(y.variables):
            return False
        return all(numpy.array_equal(numpy.ma.filled(x[v][:], -1), numpy.ma.filled(y[v][:], -1))
                   for v in x.variables)


def compare_with_ordinary(out, ref):
    for name in sorted(os.listdir(ref)):
        mine, theirs = os.path.join(out, name), os.path.join(ref, name)
        if name.endswith(".nc"):
            check(os.path.exists(mine) and same_netcdf(mine, theirs), f"{name} as an ordinary run's")
        else:
            with open(theirs, "rb") as t:
                check(os.path.exists(mine) and open(mine, "rb").read() == t.read(),
                      f"{name} byte for byte as an ordinary run's")


def follower(args, inputs, out, log, extra):
    return subprocess.Popen([args.batch, "--follow", "--begin", "2004-06-15", "--input", inputs,
                             "--output", out, "--poll", "0.1"] + extra + SETTINGS,
                            env=ENV, stderr=open(log, "a"))


def growing_ascii_winds(args, work):
    inputs, out, log = os.path.join(work, "in"), os.path.join(work, "out"), os.path.join(work, "log")
    status = os.path.join(work, "status.json")
    os.makedirs(out)
    feed = subprocess.Popen([args.samplegen, "feed", "--out", inputs, "--kind", "winds",
                             "--speed", "1440", "--max-wait", "0.5"] + SPAN,
                            stdout=subprocess.DEVNULL)
    kind = ["--input-type", "ascii", "--site", "qvs"]
    site = os.path.join(work, "site")
    proc = follower(args, inputs, out, log, kind + ["--netcdf", "--grace", "0.04",
                                                    "--status", status, "--web", site])
    seen = {}
    names = ["QVS04167.w1a", "QVS04168.w1a"]

    def look():
        for name in names:
            for block in periods(os.path.join(out, name)):
                seen.setdefault(name, set()).add(block)

    done = lambda: "day 2004-06-16 finished" in log_text(log)
    while feed.poll() is None or not done():
        look()
        index = os.path.join(site, "index.html")
        if os.path.exists(index):
            with open(index) as f:
                page = f.read()
            scripts = re.findall(r'<script src="([^"]+)"', page)
            check(page.endswith("</html>\n") and all(os.path.exists(os.path.join(site, s))
                                                      for s in scripts),
                  "the web index is whole, with its scripts, at every moment")
        if os.path.exists(status):
            try:
                with open(status) as f:
                    json.load(f)
            except ValueError:
                check(False, "the status file is whole JSON at every moment")
        if proc.poll() is not None or time.time() - started > 60:
            break
        time.sleep(0.02)
    look()
    proc.send_signal(signal.SIGTERM)
    check(proc.wait(20) == 0, "SIGTERM ends the follower with status 0")

    for name in names:
        final = set(periods(os.path.join(out, name)))
        check(len(seen.get(name, ())) >= 2, f"{name} seen growing period by period")
        partial = seen.get(name, set()) - final
        check(not partial, f"{name}: no partial period was ever written")
        for block in partial:
            print(block.decode(errors="replace")[:400])
    text = log_text(log)
    check(text.count(" period 2004-06-1") == 4, "one log line per period written")
    with open(status) as f:
        state = json.load(f)
    check(state["state"] == "stopped" and state["last_period_written"] == "2004-06-17T00:00:00Z",
          "the status names the last period written")
    compare_with_ordinary(out, ordinary_run(args, work, inputs, kind + ["--netcdf"]))


def stopped_binary_temperature(args, work):
    inputs, out, log = os.path.join(work, "in"), os.path.join(work, "out"), os.path.join(work, "log")
    os.makedirs(out)
    feed_args = [args.samplegen, "feed", "--out", inputs, "--format", "binary",
                 "--speed", "1440", "--max-wait", "0.3"] + SPAN
    subprocess.run(feed_args + ["--stop-at", "23:40"], stdout=subprocess.DEVNULL, check=True)
    kind = ["--kind", "temperature", "--grace", "0.02"]
    proc = follower(args, inputs, out, log, kind)
    check(wait_for(lambda: "input quiet" in log_text(log), 20),
          "a stopped data system's last period is written after the grace")
    check("cut short" not in log_text(log) and "damaged" not in log_text(log),
          "a record cut by a stopped writer is not reported")

    feed = subprocess.Popen(feed_args + ["--resume"], stdout=subprocess.DEVNULL)
    rng = random.Random(7)
    for _ in range(2):
        time.sleep(rng.uniform(0.5, 2.0))
        proc.kill()
        proc.wait()
        proc = follower(args, inputs, out, log, kind)
    feed.wait(60)
    check(wait_for(lambda: log_text(log).count("day 2004-06-16 finished") >= 1, 30),
          "both days finished after the restarts")
    proc.send_signal(signal.SIGTERM)
    check(proc.wait(20) == 0, "SIGTERM ends the follower with status 0")
    compare_with_ordinary(out, ordinary_run(args, work, inputs, ["--kind", "temperature"]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--samplegen", required=True)
    args = parser.parse_args()
    for case in (growing_ascii_winds, stopped_binary_temperature):
        with tempfile.TemporaryDirectory() as work:
            print("case:", case.__name__)
            failed = len(FAILURES)
            case(args, work)
            if len(FAILURES) > failed:
                print(log_text(os.path.join(work, "log")))
    print("FAILED" if FAILURES else "passed", len(FAILURES))
    return 1 if FAILURES else 0


started = time.time()
if __name__ == "__main__":
    sys.exit(main())
