#!/usr/bin/env python3
"""CF conventions of Quorvane's netCDF day files, checked with netCDF4 and
xarray: the bundled sample days are processed by quorvane-batch, converted
by quorvane-convert, and every file is opened by both libraries. Beside CF,
what ARM's ACT and xarray users plot with: a 1-D height(gate), the global
datastream, a qc_ variable with flags and assessments behind every data
variable; every units string parses with UDUNITS-2 (udunits2, Debian's
udunits-bin; CF's dB allowed) and every standard name is in the CF table.

Usage: netcdf_conventions_test.py --batch PATH --convert PATH --samples DIR
Exit status 0 passed, 1 failed, 77 skipped (netCDF4 or xarray missing, or
udunits2 missing with every other check passed).
"""
import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import netCDF4
    import numpy as np
    import xarray as xr
except ImportError as missing:  # pragma: no cover - depends on the machine
    print(f"SKIPPED: netCDF4, numpy and xarray are needed ({missing})")
    sys.exit(77)

STATUS_FLAGS = [0, -940, -950, -960, -980, -999]
STATUS_MEANINGS = "ok failed_qc failed_consensus exceeded_nyquist flagged_by_reviewer missing"
QC_FLAGS = [0, 1, 3, 7, 8]
QC_MEANINGS = ("valid valid_no_vertical_correction valid_passed_qc_failed_consensus "
               "suspect invalid")
ASSESSMENTS = {"Good", "Suspect", "Bad", "Indeterminate"}

# The CF standard names these files use, with their canonical units (None:
# a reference time or no units), from the CF standard name table.
CF_STANDARD_NAMES = {
    "time": None,
    "altitude": "m",
    "height": "m",
    "surface_altitude": "m",
    "latitude": "degree_north",
    "longitude": "degree_east",
    "wind_speed": "m s-1",
    "wind_from_direction": "degree",
    "eastward_wind": "m s-1",
    "northward_wind": "m s-1",
    "upward_air_velocity": "m s-1",
    "virtual_temperature": "K",
    "status_flag": None,
}
# CF accepts dB; UDUNITS-2 does not know it.
CF_UNITS_BEYOND_UDUNITS = {"dB"}

WIND = {
    "wind_speed": ("wind_speed", "m s-1"),
    "wind_from_direction": ("wind_from_direction", "degree"),
    "eastward_wind": ("eastward_wind", "m s-1"),
    "northward_wind": ("northward_wind", "m s-1"),
    "upward_air_velocity": ("upward_air_velocity", "m s-1"),
}
TEMPERATURE = {
    "virtual_temperature": ("virtual_temperature", "K"),
    "virtual_temperature_corrected": ("virtual_temperature", "K"),
}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def check_common(path, ds):
    name = os.path.basename(path)
    check(ds.data_model == "NETCDF4_CLASSIC", f"{name}: format {ds.data_model}")
    check(ds.Conventions == "CF-1.10", f"{name}: Conventions")
    check(ds.featureType == "timeSeriesProfile", f"{name}: featureType")
    check(ds.source.startswith("Quorvane ") and
          ds.source.endswith(", radar wind profiler consensus"), f"{name}: source")
    check(ds.history.startswith("2023-11-14T22:13:20Z quorvane-convert"), f"{name}: history")
    for attr in ("title", "averaging_minutes", "vertical_velocity_policy", "data_source",
                 "beam_azimuth", "beam_elevation", "beam_max_samples", "beam_req_samples"):
        check(attr in ds.ncattrs(), f"{name}: global attribute {attr}")
    check(set(ds.dimensions) >= {"time", "gate", "bnds"}, f"{name}: dimensions")
    t = ds["time"]
    check(t.units == "seconds since 1970-01-01 00:00:00", f"{name}: time units")
    check(t.calendar == "standard" and t.standard_name == "time", f"{name}: time attributes")
    check(t.bounds == "time_bnds", f"{name}: time bounds")
    check(ds["time_bnds"].dimensions == ("time", "bnds"), f"{name}: time_bnds shape")
    check(list(ds["time"][:]) == sorted(ds["time"][:]), f"{name}: times in order")
    check(ds["gate"].long_name == "range gate index", f"{name}: gate")
    alt = ds["altitude"]
    check(alt.dimensions == ("time", "gate") and alt.units == "m" and
          alt.standard_name == "altitude" and alt.positive == "up", f"{name}: altitude")
    check(ds["lat"].standard_name == "latitude" and ds["lat"].units == "degrees_north",
          f"{name}: lat")
    check(ds["lon"].standard_name == "longitude" and ds["lon"].units == "degrees_east",
          f"{name}: lon")
    check(ds["station_altitude"].standard_name == "surface_altitude", f"{name}: station alt")
    check(ds["station_name"].cf_role == "timeseries_id", f"{name}: station_name")
    filters = ds["altitude"].filters()
    check(filters["zlib"] and filters["shuffle"] and filters["complevel"] == 4,
          f"{name}: deflate 4 with shuffle")
    check(ds["altitude"].chunking() == [len(ds.dimensions["time"]),
                                        len(ds.dimensions["gate"])], f"{name}: chunked by day")


def check_data(name, ds, variables, qc_name):
    qc = ds[qc_name]
    check(list(qc.flag_values) == QC_FLAGS and qc.flag_meanings == QC_MEANINGS,
          f"{name}: {qc_name} flags")
    for var, (standard, units) in variables.items():
        v = ds[var]
        check(v.standard_name == standard and v.units == units, f"{name}: {var} names")
        check(v.coordinates == "altitude height lat lon", f"{name}: {var} coordinates")
        check(math.isnan(v._FillValue), f"{name}: {var} fill value")
        check(v.ancillary_variables.split() == [qc_name, "qc_" + var],
              f"{name}: {var} ancillary variables")
        status = ds["qc_" + var]
        check(list(status.flag_values) == STATUS_FLAGS and
              status.flag_meanings == STATUS_MEANINGS, f"{name}: qc_{var} flags")
        values = v[:].filled(np.nan)
        codes = status[:]
        check(bool(np.all(np.isnan(values[codes != 0]))), f"{name}: {var} NaN where coded")
        check(bool(np.all(~np.isnan(values[codes == 0]))), f"{name}: {var} values where ok")
        qcv = qc[:].filled(-127)
        check(bool(np.all(codes[qcv == 8] != 0)), f"{name}: {var} masked on QC 8")


def check_plotting_conventions(name, ds, kind):
    """What ACT and xarray read: datastream, height(gate), the qc_ variables."""
    station = "".join(ds["station_name"][:].astype(str)).strip()
    product = name[len(station) + 10:-3]  # STATION_YYYYMMDD_<product>.nc
    check(ds.datastream == f"{station.lower()}.{product}", f"{name}: datastream {ds.datastream}")
    h = ds["height"]
    check(h.dimensions == ("gate",) and h.size == len(ds.dimensions["gate"]),
          f"{name}: height(gate)")
    check(h.units == "m" and h.positive == "up" and h.axis == "Z" and
          h.standard_name == "height" and h.long_name, f"{name}: height attributes")
    # The sample days keep their gate heights all day.
    above = ds["altitude"][:].filled(np.nan) - float(ds["station_altitude"][:])
    check(bool(np.all((above == h[:]) | np.isnan(above))),
          f"{name}: height is altitude above the station")
    check("changed" not in h.comment, f"{name}: height comment {h.comment}")
    data = [v for v in ds.variables.values() if v.dimensions == ("time", "gate") and
            not v.name.startswith("qc_") and v.name != "altitude"]
    check(len(data) == (11 if kind == "winds" else 4), f"{name}: data variables")
    for v in data:
        for qc_name in v.ancillary_variables.split():
            check(qc_name.startswith("qc_") and qc_name in ds.variables,
                  f"{name}: {v.name} ancillary {qc_name}")
            if qc_name not in ds.variables:
                continue
            qc = ds[qc_name]
            values = list(qc.flag_values)
            meanings = qc.flag_meanings.split()
            assessments = qc.flag_assessments.split()
            check(len(values) == len(meanings) == len(assessments) > 0,
                  f"{name}: {qc_name} flag counts")
            check(set(assessments) <= ASSESSMENTS, f"{name}: {qc_name} assessments")
            check(qc.standard_name == "status_flag", f"{name}: {qc_name} standard name")


def units_and_standard_names(name, ds, udunits):
    """Every units string parses with UDUNITS-2 (or is CF's dB) and matches
    its standard name's canonical units; every standard name is CF's."""
    for v in ds.variables.values():
        standard = getattr(v, "standard_name", None)
        if standard is not None:
            check(standard in CF_STANDARD_NAMES, f"{name}: {v.name} standard name {standard}")
        units = getattr(v, "units", None)
        if units is None or units in CF_UNITS_BEYOND_UDUNITS:
            continue
        check(units != "", f"{name}: {v.name} empty units")
        if udunits is None:
            continue
        canonical = CF_STANDARD_NAMES.get(standard)
        run = subprocess.run([udunits, "-H", units, "-W", canonical or ""],
                             stdin=subprocess.DEVNULL, capture_output=True, text=True)
        check(run.returncode == 0 and run.stderr == "",
              f"{name}: {v.name} units {units!r} ({canonical}): {run.stderr.strip()}")


def check_xarray(path, kind):
    name = os.path.basename(path)
    with xr.open_dataset(path) as ds:
        check(np.issubdtype(ds.time.dtype, np.datetime64), f"{name}: xarray decodes time")
        check(str(ds.time.values[0])[:10] == name.split("_")[1][:4] + "-" +
              name.split("_")[1][4:6] + "-" + name.split("_")[1][6:8], f"{name}: day of time")
        bounds = ds.time_bnds.values
        check(bool(np.all(bounds[:, 1] - bounds[:, 0] == np.timedelta64(30, "m"))),
              f"{name}: bounds span the averaging period")
        var = "wind_speed" if kind == "winds" else "virtual_temperature"
        check(float(ds[var].max()) < (100.0 if kind == "winds" else 330.0), f"{name}: {var}")
        if kind == "temperature":
            check(float(ds[var].min()) > 200.0, f"{name}: temperatures in kelvin")
        # The README's plot: height is a coordinate of every data variable.
        check("height" in ds[var].coords, f"{name}: height a coordinate of {var}")
        try:
            import matplotlib
            matplotlib.use("Agg")
        except ImportError:
            return
        ds[var].plot(x="time", y="height")


def check_earlier_names(path, plot, work):
    """Files of earlier versions named the data codes status_<variable>: the
    readers (here quorvane-plot) still take them; a file with neither name
    is refused with the name it lacks."""
    folder = os.path.join(work, "earlier")
    os.makedirs(folder)
    for case, expected in (("renamed", 0), ("dropped", 1)):
        copy = os.path.join(folder, case + "_" + os.path.basename(path))
        with xr.open_dataset(path, decode_cf=False) as ds:
            codes = [v for v in ds.variables if v.startswith("qc_") and v != "qc_wind"]
            if case == "renamed":
                ds = ds.rename({v: "status_" + v[3:] for v in codes})
            else:
                ds = ds.drop_vars(codes)
            ds.to_netcdf(copy, format="NETCDF4_CLASSIC")
        run = subprocess.run([plot, copy, "--out", folder], capture_output=True, text=True)
        check(run.returncode == expected and
              (expected == 0 or "no variable qc_wind_speed" in run.stderr),
              f"earlier names, {case}: quorvane-plot {run.returncode} {run.stderr}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--convert", required=True)
    parser.add_argument("--samples", required=True)
    args = parser.parse_args()
    udunits = shutil.which("udunits2")
    with tempfile.TemporaryDirectory(prefix="quorvane-ncdf-") as work:
        consensus = os.path.join(work, "consensus")
        out = os.path.join(work, "nc")
        os.makedirs(out)
        common = ["--begin", "2004-06-15", "--end", "2004-06-16", "--input", args.samples,
                  "--output", consensus, "--input-type", "ascii", "--site", "qvs",
                  "--minutes", "30", "--window", "2", "--threshold", "50", "--quiet"]
        os.makedirs(consensus)
        subprocess.run([args.batch, *common, "--kind", "winds"], check=True)
        subprocess.run([args.batch, *common, "--kind", "temperature", "--rass-window", "1.5"],
                       check=True)
        env = dict(os.environ, SOURCE_DATE_EPOCH="1700000000")
        subprocess.run([args.convert, consensus, "--out", out], check=True, env=env,
                       stdout=subprocess.DEVNULL)
        names = sorted(os.listdir(out))
        check(names == ["QVS_20040615_temperature.nc", "QVS_20040615_winds_m1.nc",
                        "QVS_20040616_temperature.nc", "QVS_20040616_winds_m1.nc"],
              f"files written: {names}")
        for name in names:
            path = os.path.join(out, name)
            kind = "winds" if "_winds_" in name else "temperature"
            with netCDF4.Dataset(path) as ds:
                check_common(path, ds)
                check_plotting_conventions(name, ds, kind)
                units_and_standard_names(name, ds, udunits)
                if kind == "winds":
                    check_data(name, ds, WIND, "qc_wind")
                    for var in ("snr_u", "snr_v", "snr_w", "n_samples_u", "n_samples_v",
                                "n_samples_w"):
                        check(var in ds.variables, f"{name}: {var}")
                    check(ds["snr_u"].units == "dB", f"{name}: snr units")
                else:
                    check_data(name, ds, TEMPERATURE, "qc_temperature")
                    check(ds["virtual_temperature_corrected"].long_name ==
                          "virtual temperature corrected for vertical air motion",
                          f"{name}: TvC long name")
                    check("snr" in ds.variables and "n_samples" in ds.variables,
                          f"{name}: snr, n_samples")
            check_xarray(path, kind)
        plot = os.path.join(os.path.dirname(args.convert), "quorvane-plot")
        check_earlier_names(os.path.join(out, names[1]), plot, work)
    if failures:
        print("FAILED:\n  " + "\n  ".join(failures))
        return 1
    if udunits is None:
        print("SKIPPED: units not checked, udunits2 is missing (scripts/setup.sh installs "
              "udunits-bin); every other check passed")
        return 77
    print(f"passed: {len(names)} files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
