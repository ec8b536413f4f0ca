#!/usr/bin/env python3
"""CF conventions of Quorvane's netCDF day files, checked with netCDF4 and
xarray: the bundled sample days are processed by quorvane-batch, converted
by quorvane-convert, and every file is opened by both libraries.

Usage: netcdf_conventions_test.py --batch PATH --convert PATH --samples DIR
Exit status 0 passed, 1 failed, 77 skipped (netCDF4 or xarray missing).
"""
import argparse
import math
import os
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
        check(v.coordinates == "altitude lat lon", f"{name}: {var} coordinates")
        check(math.isnan(v._FillValue), f"{name}: {var} fill value")
        check(v.ancillary_variables.split() == [qc_name, "status_" + var],
              f"{name}: {var} ancillary variables")
        status = ds["status_" + var]
        check(list(status.flag_values) == STATUS_FLAGS and
              status.flag_meanings == STATUS_MEANINGS, f"{name}: status_{var} flags")
        values = v[:].filled(np.nan)
        codes = status[:]
        check(bool(np.all(np.isnan(values[codes != 0]))), f"{name}: {var} NaN where coded")
        check(bool(np.all(~np.isnan(values[codes == 0]))), f"{name}: {var} values where ok")
        qcv = qc[:].filled(-127)
        check(bool(np.all(codes[qcv == 8] != 0)), f"{name}: {var} masked on QC 8")


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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--convert", required=True)
    parser.add_argument("--samples", required=True)
    args = parser.parse_args()
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
    if failures:
        print("FAILED:\n  " + "\n  ".join(failures))
        return 1
    print(f"passed: {len(names)} files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
