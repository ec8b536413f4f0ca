#!/usr/bin/env python3
"""The pandas reader of docs/formats.md, run as printed on a day made from the
bundled samples: its table must hold what the consensus files print and what
the day's netCDF files hold (the same values, data codes and QC 8 gates as
NaN), and keep the numbers a QC 8 wind line still carries out of u and v
and a code on a valid line out of its column.

Usage: formats_doc_test.py --batch PATH --source DIR
Exit status 0 passed, 1 failed, 77 skipped (pandas or netCDF4 missing).
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

try:
    import netCDF4
    import numpy as np
    import pandas as pd
except ImportError as missing:  # pragma: no cover - depends on the machine
    print(f"SKIPPED: pandas, numpy and netCDF4 are needed ({missing})")
    sys.exit(77)

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def documented_reader(source):
    text = open(os.path.join(source, "docs", "formats.md"), encoding="utf-8").read()
    blocks = re.findall(r"```python\n(.*?)```", text, re.S)
    check(len(blocks) == 1, f"docs/formats.md has {len(blocks)} python blocks, not one")
    scope = {}
    exec(compile(blocks[0], "docs/formats.md", "exec"), scope)
    return scope["read_consensus"]


def same(a, b):
    return bool(np.allclose(np.asarray(a, float), np.asarray(b, float), rtol=0, atol=1e-4,
                            equal_nan=True))


def cells(name, table, nc):
    """Each row's (time, gate) index in the netCDF grid; the row's period
    start must be that time."""
    seconds = (table.time - pd.Timestamp("1970-01-01")).dt.total_seconds().to_numpy()
    times = np.asarray(nc["time"][:])
    t = np.minimum(np.searchsorted(times, seconds), len(times) - 1)
    check(bool(np.array_equal(times[t], seconds)), f"{name}: period starts")
    return t, table.groupby("time").cumcount().to_numpy()


def check_winds(name, table, nc, text):
    t, g = cells(name, table, nc)
    gate_lines = [line for line in text.splitlines()
                  if len(line) == 76 and re.match(r" ?\d+ +\d", line)]
    check(len(table) == len(gate_lines), f"{name}: {len(table)} rows, {len(gate_lines)} lines")
    check(list(table.height) == [float(line[2:9]) for line in gate_lines], f"{name}: heights")
    check(list(table.qc) == list(nc["qc_wind"][:][t, g]), f"{name}: QC codes")
    for column, var in (("speed", "wind_speed"), ("direction", "wind_from_direction"),
                        ("u", "eastward_wind"), ("v", "northward_wind"),
                        ("w", "upward_air_velocity"), ("snr_u", "snr_u"),
                        ("n_w", "n_samples_w")):
        check(same(table[column], nc[var][:].filled(np.nan)[t, g]), f"{name}: {column}")
    # The numbers a QC 8 line prints in u are not taken.
    failed = [i for i, line in enumerate(gate_lines) if line.startswith(" 8")]
    check(len(failed) > 0 and all(float(gate_lines[i][25:33]) > -900 for i in failed),
          f"{name}: QC 8 lines with numbers in u")
    check(bool(table.u.iloc[failed].isna().all()), f"{name}: u of QC 8 gates")


def check_code_on_valid_line(read_consensus, path):
    """Other writers print a code on a valid line (-999: w not reported)."""
    lines = open(path).read().split("\n")
    first = next(i for i, line in enumerate(lines) if re.match(r" 0 +\d", line))
    lines[first] = lines[first][:41] + "%8.2f" % -999 + lines[first][49:]
    edited = path + ".edited.w1a"
    open(edited, "w").write("\n".join(lines))
    row = read_consensus(edited).iloc[0]
    check(np.isnan(row.w) and row.u == float(lines[first][25:33]), "a code on a valid line")


def check_temperature(name, table, nc, digit):
    t, g = cells(name, table, nc)
    var = "virtual_temperature" if digit == "1" else "virtual_temperature_corrected"
    kelvin = nc[var][:].filled(np.nan)[t, g]
    check(bool(np.allclose(table.t + 273.15, kelvin, atol=1e-3, equal_nan=True)),
          f"{name}: temperatures")
    check(list(table.n) == list(nc["n_samples"][:][t, g]), f"{name}: counts")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    read_consensus = documented_reader(args.source)
    with tempfile.TemporaryDirectory(prefix="quorvane-formats-") as out:
        common = ["--begin", "2004-06-15", "--end", "2004-06-15", "--input",
                  os.path.join(args.source, "samples"), "--output", out, "--input-type", "ascii",
                  "--site", "qvs", "--minutes", "30", "--window", "2", "--threshold", "50",
                  "--netcdf", "--quiet"]
        subprocess.run([args.batch, *common, "--kind", "winds"], check=True)
        subprocess.run([args.batch, *common, "--kind", "temperature", "--rass-window", "1.5"],
                       check=True)
        with netCDF4.Dataset(os.path.join(out, "QVS_20040615_winds_m1.nc")) as nc:
            nc.set_auto_mask(True)
            path = os.path.join(out, "QVS04167.w1a")
            check_winds("QVS04167.w1a", read_consensus(path), nc, open(path).read())
            check_code_on_valid_line(read_consensus, path)
        with netCDF4.Dataset(os.path.join(out, "QVS_20040615_temperature.nc")) as nc:
            for digit in "12":
                name = f"QVS04167.t{digit}a"
                check_temperature(name, read_consensus(os.path.join(out, name)), nc, digit)
    if failures:
        print("FAILED:\n  " + "\n  ".join(failures))
        return 1
    print("passed: the documented reader agrees with the files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
