#!/usr/bin/env python3
"""WMO BUFR reports of Quorvane decoded by ecCodes itself: the bundled sample
days processed by quorvane-batch --bufr (winds, and temperature as TvC and
as Tv), every message compared with the consensus data file's printed
values; a consensus file with flagged and failed gates written in converted
through quorvane-convert --bufr; the converter's files against the batch
tool's (bufr_compare); a damaged ecCodes definitions folder.

Usage: bufr_reports_test.py --batch PATH --convert PATH --samples DIR
Exit status 0 passed, 1 failed, 77 skipped (python3-eccodes or bufr_compare
missing).
"""
import argparse
import datetime
import glob
import os
import shutil
import subprocess
import sys
import tempfile
from decimal import ROUND_HALF_UP, Decimal

try:
    import eccodes
except ImportError as missing:  # pragma: no cover - depends on the machine
    print(f"SKIPPED: python3-eccodes is needed ({missing})")
    sys.exit(77)
if not shutil.which("bufr_compare"):  # pragma: no cover
    print("SKIPPED: bufr_compare (libeccodes-tools) is needed")
    sys.exit(77)

MISSING_LONG = eccodes.CODES_MISSING_LONG
MISSING_DOUBLE = eccodes.CODES_MISSING_DOUBLE
DATA_CODES = {Decimal(c) for c in ("-940", "-950", "-960", "-980", "-999")}
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


# ---- The consensus data file as printed -----------------------------------

def read_consensus(path):
    """Header values and periods [(key, [gate fields as printed])]."""
    with open(path) as f:
        lines = f.read().splitlines()
    header = {}
    for line in lines:
        if line.startswith("Date:"):
            month, day, year = line.split()[1].split("/")
            header["date"] = datetime.date(2000 + int(year), int(month), int(day))
        elif line.startswith("Avg. Int. (min):"):
            header["minutes"] = int(line.split()[3])
        elif line.startswith("Elev. (m msl):"):
            header["elevation"] = int(line.split()[3])
        elif line.startswith("Lat (dec deg):"):
            header["lat"], header["lon"] = line.split()[3], line.split()[7]
        elif line.startswith("Pulse Len. (m):"):
            header["spacing"] = int(line.split()[-1])
    start = next(i for i, l in enumerate(lines) if l.startswith("Code (m msl)")) + 1
    periods = []
    i = start
    while i < len(lines):
        fields = lines[i].split()
        if len(fields) == 3:
            key, count = fields[0], int(fields[1])
            gates = [lines[i + 1 + g].split() for g in range(count)]
            periods.append((key, gates))
            i += 1 + count
        else:
            i += 1
    return header, periods


def coded(printed, step, offset="0"):
    """A printed value as BUFR codes it: on `step`, half away from zero."""
    return float((Decimal(printed) + Decimal(offset)).quantize(Decimal(step),
                                                               rounding=ROUND_HALF_UP))


def is_code(printed):
    return Decimal(printed) in DATA_CODES


def valid_values(qc):
    return qc in ("0", "1", "3", "7")


# ---- Decoding -------------------------------------------------------------

def messages(path):
    out = []
    with open(path, "rb") as f:
        while True:
            h = eccodes.codes_bufr_new_from_file(f)
            if h is None:
                break
            eccodes.codes_set(h, "unpack", 1)
            m = {k: eccodes.codes_get(h, k) for k in (
                "edition", "masterTableNumber", "bufrHeaderCentre", "dataCategory",
                "internationalDataSubCategory", "masterTablesVersionNumber", "numberOfSubsets",
                "observedData", "compressedData", "typicalYear", "typicalMonth", "typicalDay",
                "typicalHour", "typicalMinute", "typicalSecond", "blockNumber", "stationNumber",
                "heightOfStationGroundAboveMeanSeaLevel", "#1#timeSignificance",
                "#2#timeSignificance", "year", "month", "day", "hour", "minute", "timePeriod",
                "upperAirRemoteSensingInstrumentType", "uniqueIdentifierForProfile")}
            m["descriptors"] = list(eccodes.codes_get_array(h, "unexpandedDescriptors"))
            for key in ("latitude", "longitude", "height", "u", "v", "w", "virtualTemperature",
                        "qualityInformation", "verticalResolution"):
                try:
                    m[key] = list(eccodes.codes_get_array(h, key))
                except eccodes.KeyValueNotFoundError:
                    m[key] = []
            eccodes.codes_release(h)
            out.append(m)
    return out


def is_missing(value):
    return value in (MISSING_LONG, MISSING_DOUBLE)


def close(a, b):
    return abs(a - b) < 1e-6


# ---- The checks -----------------------------------------------------------

def check_station(name, m, header, key, wmo, centre):
    check(m["edition"] == 4 and m["masterTableNumber"] == 0, f"{name}: edition, table")
    check(m["dataCategory"] == 2 and m["masterTablesVersionNumber"] == 36,
          f"{name}: category {m['dataCategory']}, version {m['masterTablesVersionNumber']}")
    check(m["numberOfSubsets"] == 1 and m["observedData"] == 1 and m["compressedData"] == 0,
          f"{name}: one observed, uncompressed subset")
    check(m["bufrHeaderCentre"] == (centre if centre is not None else 65535),
          f"{name}: centre {m['bufrHeaderCentre']}")
    if wmo:
        check((m["blockNumber"], m["stationNumber"]) == (int(wmo[:2]), int(wmo[2:])),
              f"{name}: station number")
    else:
        check(is_missing(m["blockNumber"]) and is_missing(m["stationNumber"]),
              f"{name}: station number missing")
    start = datetime.datetime.combine(header["date"], datetime.time()) + datetime.timedelta(
        hours=int(key[:2]), minutes=int(key[2:]))
    end = start + datetime.timedelta(minutes=header["minutes"])
    typical = (m["typicalYear"], m["typicalMonth"], m["typicalDay"], m["typicalHour"],
               m["typicalMinute"], m["typicalSecond"])
    data_time = (m["year"], m["month"], m["day"], m["hour"], m["minute"])
    wanted = (end.year, end.month, end.day, end.hour, end.minute)
    check(typical == wanted + (0,) and data_time == wanted,
          f"{name} {key}: time {data_time}, typical {typical}, expected the end {wanted}")
    check((m["#1#timeSignificance"], m["#2#timeSignificance"], m["timePeriod"]) ==
          (29, 2, -header["minutes"]), f"{name} {key}: time significance and period")
    check(m["upperAirRemoteSensingInstrumentType"] == 3, f"{name}: instrument type")
    check(close(m["latitude"][0], float(header["lat"])) and
          close(m["longitude"][0], float(header["lon"])) and
          close(m["heightOfStationGroundAboveMeanSeaLevel"], header["elevation"]),
          f"{name}: station position")


def check_winds(path, consensus, wmo=None, centre=None):
    name = os.path.basename(path)
    header, periods = read_consensus(consensus)
    decoded = messages(path)
    check(len(decoded) == len(periods), f"{name}: {len(decoded)} messages, {len(periods)} periods")
    flagged = failed = 0
    for m, (key, gates) in zip(decoded, periods):
        check_station(name, m, header, key, wmo, centre)
        check(m["internationalDataSubCategory"] == 10 and m["descriptors"] == [309024],
              f"{name}: sub-category and descriptors {m['descriptors']}")
        check(m["uniqueIdentifierForProfile"].strip() == "MODE 1", f"{name}: profile id")
        check(len(m["height"]) == len(gates), f"{name} {key}: gate count")
        for g, fields in enumerate(gates):
            where = f"{name} {key} gate {g}"
            qc, height, u, v, w = fields[0], fields[1], fields[4], fields[5], fields[6]
            check(m["height"][g] == int(height), f"{where}: height {m['height'][g]}")
            check(m["verticalResolution"][g] == header["spacing"], f"{where}: resolution")
            check(close(m["latitude"][g + 1], float(header["lat"])), f"{where}: latitude")
            quality = m["qualityInformation"][2 * g:2 * g + 2]
            if not valid_values(qc):
                failed += 1
                check(all(is_missing(m[c][g]) for c in "uvw") and all(map(is_missing, quality)),
                      f"{where}: QC {qc} gate not all missing")
                continue
            for component, printed, step in (("u", u, "0.1"), ("v", v, "0.1"), ("w", w, "0.01")):
                got = m[component][g]
                if is_code(printed):
                    check(is_missing(got), f"{where}: {component} {printed} not missing")
                else:
                    check(close(got, coded(printed, step)),
                          f"{where}: {component} {got} for printed {printed}")
            flag = 0 if qc == "0" else 1
            uv_given = not (is_missing(m["u"][g]) and is_missing(m["v"][g]))
            check(quality[0] == (flag if uv_given else MISSING_LONG), f"{where}: u/v quality")
            check(quality[1] == (flag if not is_missing(m["w"][g]) else MISSING_LONG),
                  f"{where}: w quality")
            flagged += flag
    return flagged, failed


def check_temperature(path, consensus, label, centre=None):
    name = os.path.basename(path)
    header, periods = read_consensus(consensus)
    decoded = messages(path)
    check(len(decoded) == len(periods), f"{name}: {len(decoded)} messages, {len(periods)} periods")
    for m, (key, gates) in zip(decoded, periods):
        check_station(name, m, header, key, None, centre)
        check(m["internationalDataSubCategory"] == 11 and m["descriptors"] == [309025],
              f"{name}: sub-category and descriptors {m['descriptors']}")
        check(m["uniqueIdentifierForProfile"].strip() == label, f"{name}: profile id")
        for g, fields in enumerate(gates):
            where = f"{name} {key} gate {g}"
            qc, height, printed = fields[0], fields[1], fields[2]
            check(m["height"][g] == int(height), f"{where}: height")
            got, quality = m["virtualTemperature"][g], m["qualityInformation"][g]
            if not valid_values(qc) or is_code(printed):
                check(is_missing(got) and is_missing(quality), f"{where}: not missing")
            else:
                check(close(got, coded(printed, "0.1", "273.15")),
                      f"{where}: {got} K for {printed} C")
                check(quality == (0 if qc == "0" else 1), f"{where}: quality")


def with_flagged_gates(source, target):
    """The wind file with gates set to QC 7, QC 1 with w failed, QC 3 with u
    and v failed, and QC 0 with u missing (fixed fields, as printed)."""
    with open(source) as f:
        lines = f.read().split("\n")
    start = next(i for i, l in enumerate(lines) if l.startswith("Code (m msl)")) + 2
    edits = [("7", None, None, None), ("1", None, None, "-950.00"),
             ("3", "-950.00", "-950.00", None), ("0", "-999.00", None, None)]
    for offset, (qc, u, v, w) in enumerate(edits):
        line = lines[start + offset]
        line = qc.rjust(2) + line[2:]
        for value, at in ((u, 25), (v, 33), (w, 41)):
            if value is not None:
                line = line[:at] + value.rjust(8) + line[at + 8:]
        lines[start + offset] = line
    with open(target, "w") as f:
        f.write("\n".join(lines))


def run(cmd, env=None):
    return subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--convert", required=True)
    parser.add_argument("--samples", required=True)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="quorvane-bufr-") as work:
        common = ["--begin", "2004-06-15", "--end", "2004-06-16", "--input", args.samples,
                  "--input-type", "ascii", "--site", "qvs", "--minutes", "30", "--window", "2",
                  "--threshold", "50", "--rass-window", "1.5", "--quiet", "--bufr"]
        station = ["--wmo-id", "72469", "--bufr-centre", "98"]
        folders = {}
        for label, extra in (("winds", ["--kind", "winds"] + station),
                             ("tvc", ["--kind", "temperature"]),
                             ("tv", ["--kind", "temperature", "--bufr-temperature", "tv"])):
            folders[label] = os.path.join(work, label)
            done = run([args.batch, *common, "--output", folders[label], *extra])
            if done.returncode != 0:
                print(f"FAILED: batch {label}: status {done.returncode}\n{done.stderr}")
                return 1

        names = sorted(n for n in os.listdir(folders["winds"]) if n.endswith(".bufr"))
        check(names == ["QVS_20040615_winds_m1.bufr", "QVS_20040616_winds_m1.bufr"],
              f"wind files {names}")
        failed = 0
        for day, stem in (("20040615", "QVS04167"), ("20040616", "QVS04168")):
            _, f = check_winds(os.path.join(folders["winds"], f"QVS_{day}_winds_m1.bufr"),
                               os.path.join(folders["winds"], f"{stem}.w1a"), "72469", 98)
            failed += f
            check_temperature(os.path.join(folders["tvc"], f"QVS_{day}_temperature.bufr"),
                              os.path.join(folders["tvc"], f"{stem}.t2a"), "RASS TVC")
            check_temperature(os.path.join(folders["tv"], f"QVS_{day}_temperature.bufr"),
                              os.path.join(folders["tv"], f"{stem}.t1a"), "RASS TV")
        check(failed > 0, "the samples' invalid gates were not met")

        # Flagged and failed gates, through the converter.
        edited = os.path.join(work, "edited")
        os.makedirs(edited)
        with_flagged_gates(os.path.join(folders["winds"], "QVS04167.w1a"),
                           os.path.join(edited, "QVS04167.w1a"))
        done = run([args.convert, edited, "--bufr"])
        check(done.returncode == 0, f"convert edited: {done.returncode} {done.stderr}")
        flagged, _ = check_winds(os.path.join(edited, "QVS_20040615_winds_m1.bufr"),
                                 os.path.join(edited, "QVS04167.w1a"))
        check(flagged >= 3, f"flagged gates met: {flagged}")

        # The converter's files are the batch tool's.
        converted = os.path.join(work, "converted")
        for label, extra in (("winds", station), ("tvc", []), ("tv", ["--bufr-temperature", "tv"])):
            out = os.path.join(converted, label)
            os.makedirs(out)
            done = run([args.convert, *glob.glob(os.path.join(folders[label], "*.[wt]?a")),
                        "--out", out, "--bufr", *extra])
            check(done.returncode == 0, f"convert {label}: {done.returncode} {done.stderr}")
            for path in sorted(glob.glob(os.path.join(folders[label], "*.bufr"))):
                other = os.path.join(out, os.path.basename(path))
                if not os.path.exists(other):
                    check(False, f"convert {label}: {other} not written")
                    continue
                compared = run(["bufr_compare", path, other])
                check(compared.returncode == 0, f"bufr_compare {label} {path}: {compared.stdout}")
                with open(path, "rb") as a, open(other, "rb") as b:
                    check(a.read() == b.read(), f"{label} {os.path.basename(path)}: bytes differ")

        # A damaged definitions folder: a clear error for the BUFR files, the
        # other outputs written.
        damaged = {"boot.def": "garbage ((\n",
                   "bufr/tables/0/wmo/36/element.table": "001001|blockNumber|long|x\nxx\n"}
        for file, text in damaged.items():
            definitions = os.path.join(work, "definitions-" + os.path.basename(file))
            os.makedirs(os.path.dirname(os.path.join(definitions, file)), exist_ok=True)
            with open(os.path.join(definitions, file), "w") as f:
                f.write(text)
            out = os.path.join(work, "damaged-" + os.path.basename(file))
            env = dict(os.environ, ECCODES_DEFINITION_PATH=definitions)
            done = run([args.batch, *common, "--output", out, "--kind", "winds", "--netcdf"],
                       env=env)
            written = sorted(os.listdir(out)) if os.path.isdir(out) else []
            check(done.returncode == 1, f"{file}: status {done.returncode}")
            check(written == ["QVS04167.w1a", "QVS04168.w1a", "QVS_20040615_winds_m1.nc",
                              "QVS_20040616_winds_m1.nc"], f"{file}: written {written}")
            reason = ("QVS_20040615_winds_m1.bufr: ecCodes cannot make WMO BUFR messages with its "
                      f"definitions in ECCODES_DEFINITION_PATH={definitions}: ")
            check(reason in done.stderr, f"{file}: the reason: {done.stderr}")
    if failures:
        print("FAILED:\n  " + "\n  ".join(failures[:40]))
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
