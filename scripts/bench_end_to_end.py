#!/usr/bin/env python3
"""End-to-end benchmark of a synthetic site-year (called by scripts/bench.sh).

Times quorvane-batch over the year for winds and temperature from the ASCII
files and from the KRX pairs, and in the same run `wc -w` over the ASCII
files and `cat` over the pairs (warm page cache: every file is read once
first, and every command runs once before it is timed). Then the peak memory
of one day, the dialog against the batch tool over the same days, and the
micro-benchmark figures that have targets. Prints one table with each ratio
and its target; exits 1 when a target is missed.
"""

import argparse
import datetime
import filecmp
import glob
import json
import os
import shutil
import subprocess
import sys
import time

FIRST_DAY = datetime.date(2003, 1, 1)
EPOCH = "1087389296"  # the "Created on" stamp of every run, so files compare
CONSENSUS = ["--minutes", "30", "--window", "2", "--threshold", "50",
             "--rass-window", "1.5", "--rass-threshold", "50"]
MIB = 1024 * 1024


def run_once(cmd, env, capture):
    """Exit status, wall seconds, standard output and error of one run. The
    output goes to the null device unless `capture`: a pipe would make the
    reading of it part of the time."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                            stderr=subprocess.PIPE, env=env)
    out, err = proc.communicate()
    return proc.returncode, time.perf_counter() - start, out or b"", err


def measure(cmd, repeat, env=None, prepare=None, warm=True, capture=False):
    """Fastest of `repeat` runs (after one untimed run when `warm`)."""
    env = dict(os.environ if env is None else env)
    best = None
    for i in range(repeat + (1 if warm else 0)):
        if prepare:
            prepare()
        # The CPU time of the reaped child: the growth of the children's times.
        before = os.times()
        code, wall, out, err = run_once(cmd, env, capture)
        after = os.times()
        if code != 0:
            sys.stderr.write(err.decode(errors="replace"))
            raise SystemExit(f"bench: {' '.join(cmd[:2])} ... failed with status {code}")
        if warm and i == 0:
            continue
        sample = {
            "wall": wall,
            "cpu": (after.children_user - before.children_user)
            + (after.children_system - before.children_system),
            "stdout": out.decode(errors="replace"),
        }
        if best is None or sample["wall"] < best["wall"]:
            best = sample
    return best


def peak_rss_kib(cmd, env):
    """Peak resident memory of one run of cmd, in KiB (GNU time's %M when
    present, else the kernel's high-water mark of the child)."""
    if os.path.exists("/usr/bin/time"):
        out = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)
        return int(out.stderr.decode().strip().splitlines()[-1])
    pid = os.fork()
    if pid == 0:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.dup2(devnull, 2)
        os.execvpe(cmd[0], cmd, env)
    _, status, usage = os.wait4(pid, 0)
    if status != 0:
        raise SystemExit(f"bench: {cmd[0]} failed")
    return usage.ru_maxrss


def total_bytes(paths):
    return sum(os.path.getsize(p) for p in paths)


def same_tree(a, b):
    names_a = sorted(os.listdir(a))
    if names_a != sorted(os.listdir(b)) or not names_a:
        return False
    match, mismatch, errors = filecmp.cmpfiles(a, b, names_a, shallow=False)
    return not mismatch and not errors


def fresh(folder):
    def prepare():
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    return prepare


def micro_figures(path):
    if not path or not os.path.exists(path):
        return {}
    with open(path) as f:
        runs = {b["name"]: b for b in json.load(f)["benchmarks"]}
    figures = {}
    fast, scan = runs.get("BM_GateConsensus/240"), runs.get("BM_GateConsensusScan/240")
    if fast and scan:
        figures["consensus_240_speedup"] = scan["cpu_time"] / fast["cpu_time"]
        figures["consensus_240_ns"] = fast["cpu_time"]
    alloc = [b for n, b in runs.items() if n.startswith("BM_AccumulateRecordAllocations")]
    if alloc:
        figures["allocating_dwells"] = sum(
            b.get("allocating_dwells", 0) + (1 if b.get("error_occurred") else 0) for b in alloc)
    for name, key in [("BM_ReadAsciiWinds", "read_ascii_winds_mbps"),
                      ("BM_ReadAsciiTemperature", "read_ascii_temperature_mbps"),
                      ("BM_ReadBinaryWinds", "read_binary_winds_mbps"),
                      ("BM_ReadBinaryTemperature", "read_binary_temperature_mbps")]:
        if name in runs and "bytes_per_second" in runs[name]:
            figures[key] = runs[name]["bytes_per_second"] / 1e6
    bufr = runs.get("BM_BufrWindDaySite/min_time:1.000")
    floor = runs.get("BM_BufrWindDaySiteEcCodesFloor/min_time:1.000")
    if bufr and floor:
        figures["bufr_day_ms"] = bufr["cpu_time"]
        figures["bufr_floor_ms"] = floor["cpu_time"]
    day = runs.get("BM_AccumulateRecordDay/30")
    if day and "items_per_second" in day:
        figures["accumulate_ns_per_dwell"] = 1e9 / day["items_per_second"]
    return figures


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--days", type=int, required=True)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--dialog", default="1")
    ap.add_argument("--micro", default="")
    ap.add_argument("--out", required=True)
    a = ap.parse_args()

    batch = os.path.join(a.build, "app", "quorvane-batch")
    dialog = os.path.join(a.build, "bench", "quorvane-dialog-bench")
    work = os.path.join(a.build, "bench-results", "out")
    twin = os.path.join(a.data, "twin")
    raw = sorted(glob.glob(os.path.join(twin, "*.raw")))
    rat = sorted(glob.glob(os.path.join(twin, "*.rat")))
    pairs = sorted(glob.glob(os.path.join(a.data, "d*.mom")) + glob.glob(os.path.join(a.data, "h*.mom")))
    last = FIRST_DAY + datetime.timedelta(days=a.days - 1)
    begin, end = FIRST_DAY.isoformat(), last.isoformat()
    env = dict(os.environ, SOURCE_DATE_EPOCH=EPOCH, LC_ALL="C")

    # Warm the page cache with every file once.
    for files in (raw, rat, pairs):
        subprocess.run(["cat"] + files, stdout=subprocess.DEVNULL, check=True)

    print(f"== Site-year end to end: {a.days} days from {begin}, five beams and RASS, "
          f"a dwell every 24 s, 60 gates; fastest of {a.repeat} runs")
    print(f"   ASCII .raw {total_bytes(raw) / MIB:.0f} MiB, .rat {total_bytes(rat) / MIB:.0f} MiB, "
          f"KRX pairs {total_bytes(pairs) / MIB:.0f} MiB")

    r = {"days": a.days, "bytes": {"raw": total_bytes(raw), "rat": total_bytes(rat),
                                   "pairs": total_bytes(pairs)}}
    r["wc_raw"] = measure(["wc", "-w"] + raw, a.repeat, env)
    r["wc_rat"] = measure(["wc", "-w"] + rat, a.repeat, env)
    r["cat_pairs"] = measure(["cat"] + pairs, a.repeat, env)

    def batch_cmd(kind, input_type, folder, days_end=end, output=None):
        output = output or os.path.join(work, f"{input_type}-{kind}")
        cmd = [batch, "--begin", begin, "--end", days_end, "--kind", kind,
               "--input-type", input_type, "--input", folder, "--output", output,
               "--quiet"] + CONSENSUS
        if input_type == "ascii":
            cmd += ["--site", "qvs"]
        return cmd

    runs = [("ascii", "winds", twin, "wc_raw"), ("binary", "winds", a.data, "cat_pairs"),
            ("ascii", "temperature", twin, "wc_rat"), ("binary", "temperature", a.data, "cat_pairs")]
    for input_type, kind, folder, _ in runs:
        r[f"{input_type}_{kind}"] = measure(batch_cmd(kind, input_type, folder), a.repeat, env,
                                            prepare=fresh(os.path.join(work, f"{input_type}-{kind}")))
    # The optional outputs over the binary winds: netCDF files beside the
    # consensus files, and the continuity check.
    # The web site goes into a folder inside the run's output folder.
    extras = [("netcdf", ["--netcdf"]), ("continuity", ["--continuity"]), ("bufr", ["--bufr"]),
              ("web", ["--web", os.path.join(work, "binary-winds-web", "site")])]
    for name, flags in extras:
        out = os.path.join(work, f"binary-winds-{name}")
        r[f"binary_winds_{name}"] = measure(batch_cmd("winds", "binary", a.data, output=out) + flags,
                                            a.repeat, env, prepare=fresh(out))
    nc_dir = os.path.join(work, "binary-winds-netcdf")
    r["bytes"]["netcdf"] = total_bytes([os.path.join(nc_dir, n) for n in os.listdir(nc_dir)
                                        if n.endswith(".nc")])
    r["bytes"]["winds_files"] = total_bytes([os.path.join(nc_dir, n) for n in os.listdir(nc_dir)
                                             if not n.endswith(".nc")])
    same_winds = same_tree(os.path.join(work, "ascii-winds"), os.path.join(work, "binary-winds"))
    same_temperature = same_tree(os.path.join(work, "ascii-temperature"),
                                 os.path.join(work, "binary-temperature"))

    # Peak memory of one synthetic day.
    r["day_rss_kib"] = {}
    memory_out = os.path.join(work, "memory")
    for input_type, kind, folder, _ in runs:
        fresh(memory_out)()
        r["day_rss_kib"][f"{input_type}_{kind}"] = peak_rss_kib(
            batch_cmd(kind, input_type, folder, begin, memory_out), env)
    fresh(memory_out)()
    r["year_rss_kib"] = peak_rss_kib(batch_cmd("winds", "binary", a.data, end, memory_out), env)

    # The readers of day files over the year's winds (consensus and netCDF
    # files side by side, as a run leaves them): peak memory of a month's
    # files and of the year's, which a day-at-a-time reader keeps alike.
    convert = os.path.join(a.build, "app", "quorvane-convert")
    plot = os.path.join(a.build, "app", "quorvane-plot")
    r["reader_rss_kib"] = {}
    for days_label, names in [("month", sorted(os.listdir(nc_dir))[:60]),
                              ("year", None)]:
        inputs = ([os.path.join(nc_dir, n) for n in names if not n.endswith(".nc")]
                  if names else [nc_dir])
        for tool, extra in [("convert", ["--out"]), ("plot", ["--out"])]:
            out = os.path.join(work, f"reader-{tool}")
            fresh(out)()
            cmd = [convert if tool == "convert" else plot] + inputs + extra + [out]
            r["reader_rss_kib"][f"{tool}_{days_label}"] = peak_rss_kib(cmd, env)

    # The dialog over the same days, from Process to "Done.".
    dialog_rows = []
    if a.dialog != "0" and os.path.exists(dialog):
        denv = dict(env, QT_QPA_PLATFORM="offscreen")
        for input_type, kind, folder in [("ascii", "winds", twin), ("binary", "winds", a.data)]:
            out = os.path.join(work, f"dialog-{input_type}-{kind}")
            cmd = [dialog, "--begin", begin, "--end", end, "--input", folder, "--output", out,
                   "--input-type", input_type, "--kind", kind] + CONSENSUS
            if input_type == "ascii":
                cmd += ["--site", "qvs"]
            best = measure(cmd, a.repeat, denv, prepare=fresh(out), warm=False, capture=True)
            seconds = float(best["stdout"].strip().splitlines()[-1])
            same = same_tree(out, os.path.join(work, f"{input_type}-{kind}"))
            dialog_rows.append((input_type, kind, seconds, same))
            r[f"dialog_{input_type}_{kind}"] = {"wall": seconds, "same_files": same}

    micro = micro_figures(a.micro)
    r["micro"] = micro

    # ---- Report ---------------------------------------------------------
    checks = []

    def check(label, value, limit, fmt, better="lower"):
        ok = value <= limit if better == "lower" else value >= limit
        checks.append(ok)
        sign = "<=" if better == "lower" else ">="
        return f"{fmt.format(value):>10}  target {sign} {fmt.format(limit):<8} {'ok' if ok else 'MISSED'}"

    print()
    print(f"{'':34}{'wall s':>9}{'CPU s':>9}{'MB/s':>9}   ratio to baseline")
    for name, key, nbytes in [("wc -w over the .raw files", "wc_raw", "raw"),
                              ("wc -w over the .rat files", "wc_rat", "rat"),
                              ("cat over the KRX pairs", "cat_pairs", "pairs")]:
        m = r[key]
        print(f"{name:34}{m['wall']:9.2f}{m['cpu']:9.2f}{r['bytes'][nbytes] / 1e6 / m['wall']:9.0f}")
    for input_type, kind, _, base in runs:
        m = r[f"{input_type}_{kind}"]
        nbytes = r["bytes"]["pairs" if input_type == "binary" else ("raw" if kind == "winds" else "rat")]
        limit = 10.0 if input_type == "binary" else 4.0
        label = f"batch, {'binary' if input_type == 'binary' else 'ASCII'} {kind}"
        ratio = m["wall"] / r[base]["wall"]
        base_name = "cat" if base == "cat_pairs" else "wc -w"
        print(f"{label:34}{m['wall']:9.2f}{m['cpu']:9.2f}{nbytes / 1e6 / m['wall']:9.0f}   "
              f"x {base_name}{check('', ratio, limit, '{:.2f}')}"
              f"  (CPU x {m['cpu'] / max(r[base]['cpu'], 1e-9):.2f})")
    print(f"{'ASCII and binary give the same files':34}   winds {'yes' if same_winds else 'NO'}, "
          f"temperature {'yes' if same_temperature else 'NO'}")
    checks += [same_winds, same_temperature]

    print()
    for input_type, kind, seconds, same in dialog_rows:
        batch_wall = r[f"{input_type}_{kind}"]["wall"]
        print(f"{'dialog, ' + input_type + ' ' + kind:34}{seconds:9.2f}{'':18}   "
              f"x batch{check('', seconds / batch_wall, 1.10, '{:.3f}')}  same files: "
              f"{'yes' if same else 'NO'}")
        checks.append(same)
    if not dialog_rows:
        print("dialog: not built or skipped")

    print()
    base_wall = r["binary_winds"]["wall"]
    for name, limit in [("netcdf", 1.30), ("continuity", 1.10), ("bufr", 1.30), ("web", 1.20)]:
        wall = r[f"binary_winds_{name}"]["wall"]
        print(f"{'binary winds with --' + name + ' / without':44}"
              f"{check('', wall / base_wall, limit, '{:.2f}')}  ({wall:.2f} s)")
    print(f"{'netCDF files / consensus files of the year':44}"
          f"{check('', r['bytes']['netcdf'] / max(1, r['bytes']['winds_files']), 1.0, '{:.2f}')}"
          f"  ({r['bytes']['netcdf'] / MIB:.1f} MiB / {r['bytes']['winds_files'] / MIB:.1f} MiB)")

    print()
    for key, kib in r["day_rss_kib"].items():
        print(f"{'peak memory, one day, ' + key.replace('_', ' '):44}"
              f"{check('', kib / 1024, 64.0, '{:.1f}')} MiB")
    print(f"{'peak memory, the whole year, binary winds':44}{r['year_rss_kib'] / 1024:10.1f} MiB")
    for tool in ["convert", "plot"]:
        month = r["reader_rss_kib"][f"{tool}_month"] / 1024
        year = r["reader_rss_kib"][f"{tool}_year"] / 1024
        print(f"{'peak memory, quorvane-' + tool + ' over the year':44}"
              f"{check('', year, 100.0, '{:.1f}')} MiB  (a month: {month:.1f} MiB)")

    if micro:
        print()
        if "consensus_240_speedup" in micro:
            print(f"{'one gate consensus, 240 samples, scan/fast':44}"
                  f"{check('', micro['consensus_240_speedup'], 10.0, '{:.1f}', better='higher')}"
                  f"  ({micro['consensus_240_ns'] / 1000:.2f} us)")
        if "allocating_dwells" in micro:
            print(f"{'dwells that allocate in AccumulateRecord':44}"
                  f"{check('', micro['allocating_dwells'], 0, '{:.0f}')}")
        if "bufr_day_ms" in micro:
            print(f"{'one BUFR wind day / ecCodes encoding alone':44}"
                  f"{check('', micro['bufr_day_ms'] / micro['bufr_floor_ms'], 1.10, '{:.2f}')}"
                  f"  ({micro['bufr_day_ms']:.2f} ms / {micro['bufr_floor_ms']:.2f} ms)")
        for key in ["read_ascii_winds_mbps", "read_ascii_temperature_mbps",
                    "read_binary_winds_mbps", "read_binary_temperature_mbps"]:
            if key in micro:
                print(f"{'reader, one day into the store: ' + key[5:-5].replace('_', ' '):44}"
                      f"{micro[key]:10.0f} MB/s")

    with open(a.out, "w") as f:
        json.dump(r, f, indent=1, default=str)
    print()
    if all(checks):
        print("bench: every target holds")
        return 0
    print("bench: a target was missed")
    return 1


if __name__ == "__main__":
    sys.exit(main())
