#!/usr/bin/env python3
"""Following growing files, measured against the simulated data system.

- delay: from a poll that finds a period complete to that period's files
  whole (the follower logs it per period), with netCDF files and plots; the
  delay from the completing dwell is at most this plus the poll interval;
- CPU: the follower's CPU time over an hour of data fed in real time at 60x
  (a minute of wall time per simulated hour), with a 10-s poll;
- memory: the follower's resident size after each of 30 followed days.
"""
import argparse
import json
import os
import re
import signal
import subprocess
import tempfile
import time

SETTINGS = ["--input-type", "ascii", "--site", "qvs", "--kind", "winds", "--minutes", "30",
            "--window", "2", "--threshold", "50"]


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def start(args, work, feed_args, follow_args):
    inputs, out, log = (os.path.join(work, n) for n in ("in", "out", "log"))
    os.makedirs(out, exist_ok=True)
    feed = subprocess.Popen([args.samplegen, "feed", "--out", inputs] + feed_args,
                            stdout=subprocess.DEVNULL)
    follower = subprocess.Popen([args.batch, "--follow", "--begin", "2004-06-15", "--input",
                                 inputs, "--output", out] + SETTINGS + follow_args,
                                stderr=open(log, "w"))
    return feed, follower, log


def stop(follower):
    follower.send_signal(signal.SIGTERM)
    follower.wait(60)


def delays(args):
    with tempfile.TemporaryDirectory() as work:
        feed, follower, log = start(args, work, ["--days", "2", "--from", "18:00", "--to", "24:00",
                                                 "--speed", "1440", "--max-wait", "1"],
                                    ["--poll", "1", "--grace", "0.1", "--netcdf", "--plot", "png"])
        feed.wait()
        time.sleep(8)
        stop(follower)
        seconds = [float(s) for s in re.findall(r"files? in ([0-9.]+) s\)", open(log).read())]
    return {"periods": len(seconds), "max_s": max(seconds), "mean_s": sum(seconds) / len(seconds),
            "poll_s": 1.0}


def cpu(args):
    with tempfile.TemporaryDirectory() as work:
        feed, follower, _ = start(args, work, ["--days", "1", "--from", "12:00", "--to", "13:00",
                                               "--speed", "60"], ["--poll", "10"])
        began = time.time()
        feed.wait()
        wall = time.time() - began
        used = cpu_seconds(follower.pid)
        stop(follower)
    return {"wall_s": round(wall, 1), "cpu_s": used, "share_of_a_core": used / wall}


def memory(args):
    with tempfile.TemporaryDirectory() as work:
        feed, follower, log = start(args, work, ["--days", "30", "--from", "20:00", "--to",
                                                 "24:00", "--speed", "100000", "--max-wait",
                                                 "0.02"], ["--poll", "0.05", "--grace", "0.02"])
        samples, seen = [], 0
        while feed.poll() is None or seen < 30:
            finished = open(log).read().count(" finished:")
            if finished > seen:
                seen = finished
                samples.append(rss_kib(follower.pid))
            if follower.poll() is not None:
                break
            time.sleep(0.02)
        stop(follower)
    return {"days": len(samples), "rss_kib_first": samples[0], "rss_kib_day_10": samples[9],
            "rss_kib_last": samples[-1]}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--samplegen", required=True)
    parser.add_argument("--out")
    args = parser.parse_args()
    results = {"delay": delays(args), "cpu": cpu(args), "memory": memory(args)}
    print(json.dumps(results, indent=2))
    if args.out:
        with open(args.out, "w") as f:
            json.dump(results, f, indent=2)


if __name__ == "__main__":
    main()
