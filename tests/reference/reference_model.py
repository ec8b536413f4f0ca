#!/usr/bin/python3
"""Independent reference model of the ASCII-to-consensus-file pipeline.

Reads ASCII moment files (".raw" for winds, ".rat" for temperature) for a
range of days, groups the dwells into averaging periods and beam
accumulators, runs the wind or the temperature consensus and writes the
consensus data files byte for byte as the batch tool does.  It is written
from the system description alone and shares no code with the C++
implementation, so that the two can check each other.

Arithmetic is emulated exactly: numpy.float32 where a value is single
precision (rounded after every operation that stores it), Python floats
(IEEE double) where the arithmetic is double, numpy.longdouble (80-bit
extended on x86-64) where it is extended, and truncation toward zero for
every conversion to an integer.  Python's %-formatting of a double rounds the
exact binary value half-to-even, as glibc's printf does.

Usage mirrors quorvane-batch:
  reference_model.py --begin YYYY-MM-DD --end YYYY-MM-DD --input DIR
      --output DIR --minutes N --site SSS --kind winds|temperature
      --vertical not-used|when-available|required --window W --threshold P
      [--rass-window W --rass-threshold P] [--source TEXT] [--stamp EPOCH]
"""

import argparse
import collections
import datetime
import math
import os
import re
import sys
import time
from fractions import Fraction

import numpy as np

f32 = np.float32
LD = np.longdouble

# Counts of the hard cases met while running, so that a comparison can show
# that its data set exercised them.
EVENTS = collections.Counter()


def note(event):
    EVENTS[event] += 1

# ---------------------------------------------------------------------------
# Numeric helpers

INT32_MIN = -2147483648
INT32_MAX = 2147483647


def trunc_to_int(value):
    """Truncation toward zero, saturated to int32; NaN gives INT32_MIN."""
    v = float(value) if not isinstance(value, np.longdouble) else value
    if v != v:
        return INT32_MIN
    if v >= 2147483647.0:
        return INT32_MAX
    if v <= -2147483648.0:
        return INT32_MIN
    return int(v)


def to_f32(x):
    """Rounds a double (or any real) to single precision."""
    return f32(x)


def d(x):
    """Widens to a double (Python float)."""
    return float(x)


def exact_f32_from_decimal(text):
    """Nearest single-precision value of a decimal text (as strtof does)."""
    low = text.lower()
    if 'nan' in low:
        return f32('nan')
    if 'inf' in low:
        return f32('-inf') if low.startswith('-') else f32('inf')
    exact = Fraction(text)
    guess = f32(float(exact))
    best = None
    for cand in (np.nextafter(guess, f32('-inf')), guess, np.nextafter(guess, f32('inf'))):
        if not np.isfinite(cand):
            continue
        dist = abs(Fraction(float(cand)) - exact)
        if best is None or dist < best[0]:
            best = (dist, cand)
        elif dist == best[0]:
            # Tie: the even significand wins.
            if int(cand.view(np.uint32)) % 2 == 0:
                best = (dist, cand)
    return best[1]


def fmt_ld_f0(value, width):
    """"%*.0f" of an extended-precision value, rounded from its exact value."""
    x = LD(value)
    neg = x < 0
    a = -x if neg else x
    fl = np.floor(a)
    frac = a - fl
    n = int(fl)
    if frac > LD(0.5) or (frac == LD(0.5) and n % 2 == 1):
        n += 1
    text = ('-' if neg else '') + str(n)
    return text.rjust(width)


# Constants of the model (single precision unless noted).
C_SOUND = f32(-0.049882773)     # reciprocal of 20.047, negated
C_KELVIN = f32(273.15)
C_TENTH = f32(0.1)
C_HUNDREDTH = f32(0.01)
C_GATE = f32(0.29999998)
C_HALF = f32(0.5)
C_FEET = f32(3.28)
DEG2RAD = f32(4.0 * math.atan(1.0) * float(f32(0.0055555557)))
RAD2DEG = 180.0 / (4.0 * math.atan(1.0))


def virtual_temperature(v):
    """(v x -0.049882773)^2 - 273.15 in double, stored as single."""
    p = d(v) * d(C_SOUND)
    return f32(p * p - d(C_KELVIN))


def gate_spacing(pulse_width):
    return f32(f32(f32(pulse_width) * C_GATE) * C_HALF)


# ---------------------------------------------------------------------------
# Calendar

LEAP_TABLE = [1, 32, 61, 92, 122, 153, 183, 214, 245, 275, 306, 336]
COMMON_TABLE = [1, 32, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335]


def is_leap(year):
    return year % 4 == 0


def day_of_year(year, month, day):
    table = LEAP_TABLE if is_leap(year) else COMMON_TABLE
    return table[month - 1] + day - 1


def month_day_from_doy(year, doy):
    table = LEAP_TABLE if is_leap(year) else COMMON_TABLE
    for i in range(11, -1, -1):
        if table[i] <= doy:
            return i + 1, doy - table[i] + 1
    return None


EPOCH = datetime.datetime(1601, 1, 1)


def to_seconds(year, month, day, hour=0, minute=0, second=0):
    """Seconds since 1601-01-01 (time values here are whole seconds)."""
    dt = datetime.datetime(year, month, day, hour, minute, second)
    return int((dt - EPOCH).total_seconds())


def from_seconds(secs):
    return EPOCH + datetime.timedelta(seconds=secs)


# ---------------------------------------------------------------------------
# A small scanf for the formats of the moment files

INT_RE = re.compile(r'[+-]?\d+')
FLOAT_RE = re.compile(
    r'[+-]?(?:(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?|inf(?:inity)?|nan)', re.I)
WORD_RE = re.compile(r'\S+')


def scan(line, fmt):
    """Parses `line` with a whitespace-separated list of conversions
    ('d', '*d', 'f', 's'); returns the values converted before the first
    failure, as sscanf assigns them."""
    pos = 0
    out = []
    n = len(line)
    for conv in fmt.split():
        while pos < n and line[pos] in ' \t\n\r\v\f':
            pos += 1
        if pos >= n:
            break
        if conv in ('d', '*d'):
            m = INT_RE.match(line, pos)
            if not m:
                break
            if conv == 'd':
                val = int(m.group(0))
                val = max(min(val, INT32_MAX), INT32_MIN)
                out.append(val)
        elif conv == 'f':
            m = FLOAT_RE.match(line, pos)
            if not m:
                break
            out.append(exact_f32_from_decimal(m.group(0)))
        elif conv == 's':
            m = WORD_RE.match(line, pos)
            if not m:
                break
            out.append(m.group(0))
        else:
            raise ValueError(conv)
        pos = m.end()
    return out


def sat16(v):
    return max(-32768, min(32767, v))


def read_lines(path):
    """Lines as fgets with a 499-character buffer delivers them."""
    with open(path, 'rb') as fh:
        data = fh.read().decode('latin-1')
    pieces = []
    i = 0
    n = len(data)
    while i < n:
        j = data.find('\n', i)
        if j == -1 or j - i + 1 > 498:
            end = min(i + 498, n)
        else:
            end = j + 1
        pieces.append(data[i:end])
        i = end
    return pieces


# ---------------------------------------------------------------------------
# The period store


class Accumulator:
    def __init__(self, rec):
        self.azimuth = rec.azimuth
        self.elevation = rec.elevation
        self.pulse_width = rec.pulse_width
        self.rass = rec.rass
        self.first_gate_height = rec.first_gate_height
        self.gate_spacing = rec.gate_spacing
        self.consensus_percent = 0
        self.consensus_window = f32(0)
        self.mean_velocity = [f32(0)] * 100
        self.mean_temperature = [f32(0)] * 100
        self.mean_snr = [f32(0)] * 100
        self.count = [0] * 100
        self.paired = [0] * 100
        self.max_gates = 0
        # samples[s] = (velocity list, temperature list, snr list) of 100
        # gates; None marks a slot the dwell did not write.
        self.samples = []

    @property
    def sample_count(self):
        return len(self.samples)

    def identity(self):
        return (self.azimuth, self.elevation, self.pulse_width, self.rass)


class Period:
    def __init__(self, key):
        self.key = key
        self.beams = []


class Setting:
    def __init__(self, rec):
        self.azimuth = rec.azimuth
        self.elevation = rec.elevation
        self.pulse_width = rec.pulse_width
        self.rass = rec.rass
        self.window = f32(0)
        self.percent = 0


class Record:
    """The current dwell (the reader's MomentRecord)."""

    def __init__(self):
        self.year = 0
        self.doy = 0
        self.hour = 0
        self.minute = 0
        self.second = 0
        self.azimuth = 0
        self.elevation = f32(0)
        self.pulse_width = 0
        self.first_gate_height = 0
        self.gate_spacing = f32(0)
        self.gate_count = 0
        self.velocity = []
        self.snr = []
        self.rass = 0
        self.station = ''
        self.lat = 0
        self.lon = 0
        self.site_elevation = 0


def same_identity(a, b):
    return (a.azimuth == b.azimuth and a.elevation == b.elevation
            and a.pulse_width == b.pulse_width and a.rass == b.rass)


class Job:
    def __init__(self, args):
        self.args = args
        self.minutes = args.minutes
        self.periods = []
        self.settings = []
        self.modes = []
        self.rec = Record()
        self.process_doy = 0
        self.review_pending = True
        self.files = {}   # name -> list of text chunks, in creation order
        self.stamp = args.stamp

    # -- AccumulateRecord --------------------------------------------------
    def accumulate(self, anchor):
        rec = self.rec
        md = None
        if 1 <= rec.doy <= 366:
            md = month_day_from_doy(rec.year, rec.doy)
        if rec.doy != self.process_doy:
            note('dwell of another day dropped')
            return
        if md is None:
            return
        month, day = md
        try:
            rec_time = to_seconds(rec.year, month, day, rec.hour, rec.minute, rec.second)
        except (ValueError, OverflowError):
            return
        day_start = to_seconds(anchor.year, anchor.month, anchor.day)
        step = self.minutes * 60
        if anchor != self.current_day:
            note('dwell stored from the next day\'s file')
            if anchor.year != self.current_day.year:
                note('next-day file across the year change')
        if rec_time == day_start:
            note('dwell at 00:00:00 of the processing day')
        elif rec_time > day_start and (rec_time - day_start) % step == 0:
            note('dwell exactly on a period boundary')
        if rec_time <= day_start:
            start = day_start - step
        else:
            k = -(-(rec_time - day_start) // step)
            start = day_start + (k - 1) * step
        st = from_seconds(start)
        key = '%02d%02d' % (st.hour, st.minute)
        period = None
        for p in self.periods:
            if p.key == key:
                period = p
                break
        if period is None:
            period = Period(key)
            self.periods.append(period)
        beam = None
        for b in period.beams:
            if same_identity(b, rec):
                beam = b
                break
        if beam is None:
            beam = Accumulator(rec)
            period.beams.append(beam)
        if rec.gate_count > beam.max_gates:
            beam.max_gates = rec.gate_count
        vel = [None] * 100
        tmp = [None] * 100
        snr = [None] * 100
        for g in range(rec.gate_count):
            v = rec.velocity[g]
            if v is None:
                continue
            vel[g] = v
            tmp[g] = virtual_temperature(v)
            snr[g] = rec.snr[g]
        beam.samples.append((vel, tmp, snr))
        if beam.sample_count > self.minutes:
            note('more dwells than the period has minutes')
        if rec.gate_count < beam.max_gates:
            note('dwell shorter than its accumulator')
        for s in self.settings:
            if same_identity(s, rec):
                return
        self.settings.append(Setting(rec))

    # -- GetAsciiMoments ---------------------------------------------------
    def read_day(self, day):
        rec = self.rec
        rec.rass = 0
        self.process_doy = day_of_year(day.year, day.month, day.day)
        # Integer fields of record line 1 and the gate count start at 0.
        rec.year = 2000
        rec.doy = 0
        rec.hour = rec.minute = rec.second = 0
        rec.azimuth = 0
        rec.gate_count = 0
        temperature = self.args.kind == 'temperature'
        for offset in (0, 1):
            fday = day + datetime.timedelta(days=offset)
            doy = day_of_year(fday.year, fday.month, fday.day)
            ext = 'rat' if temperature else 'raw'
            name = '%s%02d%03d.%s' % (self.args.site, fday.year % 100, doy, ext)
            path = os.path.join(self.args.input, name)
            if not os.path.exists(path):
                alt = None
                if os.path.isdir(self.args.input):
                    for entry in sorted(os.listdir(self.args.input)):
                        if entry.lower() == name.lower():
                            alt = os.path.join(self.args.input, entry)
                            break
                if alt is not None:
                    note('file found ignoring case')
                if alt is None:
                    note('next-day file missing' if offset else 'processing-day file missing')
                    return 0
                path = alt
            lines = read_lines(path)
            if not lines:
                return 0
            hdr = scan(lines[0][1:], 's d d d')
            if len(hdr) >= 1:
                rec.station = hdr[0][:49]
            if len(hdr) >= 2:
                rec.lat = sat16(hdr[1])
            if len(hdr) >= 3:
                rec.lon = sat16(hdr[2])
            if len(hdr) >= 4:
                rec.site_elevation = hdr[3]
            i = 1
            n = len(lines)
            while i < n:
                line1 = lines[i]
                i += 1
                if line1.strip(' \t\n\r\v\f') == '':
                    note('blank line skipped before a record')
                    continue
                if temperature:
                    vals = scan(line1, 'd f d d d d d d')
                    names = ['rass', 'elevation', 'azimuth', 'year', 'doy', 'hour', 'minute', 'second']
                else:
                    vals = scan(line1, '*d f d d d d d d')
                    names = ['elevation', 'azimuth', 'year', 'doy', 'hour', 'minute', 'second']
                for nm, v in zip(names, vals):
                    if nm == 'year':
                        rec.year = v + 2000
                    elif nm == 'azimuth':
                        rec.azimuth = sat16(v)
                    elif nm == 'doy':
                        rec.doy = sat16(v)
                    else:
                        setattr(rec, nm, v)
                if i >= n:
                    note('file ends after record line 1')
                    return 0
                line2 = lines[i]
                i += 1
                vals = scan(line2, '*d d d *d d')
                if len(vals) >= 1:
                    rec.pulse_width = vals[0]
                if len(vals) >= 2:
                    rec.first_gate_height = vals[1]
                if len(vals) >= 3:
                    rec.gate_count = sat16(vals[2])
                rec.gate_spacing = gate_spacing(rec.pulse_width)
                total = rec.gate_count
                stored = min(total, 100)
                rec.velocity = [None] * max(stored, 0)
                rec.snr = [None] * max(stored, 0)
                if total > 100:
                    note('record of more than 100 gates')
                for g in range(total):
                    if i >= n:
                        note('gate line missing at the end of the file')
                        continue
                    gl = lines[i]
                    i += 1
                    if g >= stored:
                        continue
                    vals = scan(gl, 'f f')
                    if len(vals) == 2:
                        rec.velocity[g] = vals[0]
                        rec.snr[g] = vals[1]
                    else:
                        note('gate line without two numbers')
                if total < 0:
                    note('negative gate count')
                    continue
                saved = rec.gate_count
                rec.gate_count = stored
                self.accumulate(fday)
                rec.gate_count = saved
        return 1

    def review(self):
        a = self.args
        for s in self.settings:
            if s.rass != 0:
                w, p = a.rass_window, a.rass_threshold
            else:
                w, p = a.window, a.threshold
            if not (s.window > 0):
                s.window = f32(w)
            if not (s.percent > 0):
                s.percent = p

    # -- Consensus data file (header and lines) ----------------------------
    def header_text(self, name, kind, variant, pulse_width, spacing, texts):
        rec = self.rec
        day = self.current_day
        doy = day_of_year(day.year, day.month, day.day)
        az, el, mx, rq = texts
        az = az.ljust(21)
        mx = mx.ljust(21)
        now = time.gmtime(self.stamp) if self.stamp is not None else time.gmtime()
        out = []
        if kind == 'winds':
            out.append('CDF Type:  Wind            Program:  VESK/KOR Vintrel        Version:  1.1\n')
        else:
            out.append('CDF Type:  Temp            Program:  VESK/KOR Vintrel        Version:  1.1\n')
        out.append('VESK/KOR Quorvane %s (%s)\n\n\n' % (
            'Winds' if kind == 'winds' else 'Temperature', self.args.source))
        out.append('Station:            %s\n' % rec.station)
        out.append('Date:               %02d/%02d/%02d            Julian Day:        %03d\n'
                   % (day.month, day.day, day.year % 100, doy))
        out.append('Filename:           %12s        Validation Level:  0\n' % name)
        out.append('Created by:         VINTREL      1.0    Created on:        %02d/%02d/%02d  %02d%02d\n'
                   % (now.tm_mon, now.tm_mday, now.tm_year % 100, now.tm_hour, now.tm_min))
        feet = trunc_to_int(d(rec.site_elevation) * d(C_FEET))
        out.append('Elev. (m msl):      %4d                Elev. (ft msl):    %5d\n'
                   % (rec.site_elevation, feet))
        out.append('Lat (dec deg):      %6.2f              Long (dec deg):    %7.2f\n'
                   % (rec.lat * 0.01, rec.lon * 0.01))
        out.append('UTMN (km):           0                  UTME (km):          0     \n')
        out.append('Time Zone:          UTC                 Diff. to UTC (hr): 0\n')
        out.append('User Req. Samples:                      Mode Title:                \n\n\n')
        out.append('Avg. Int. (min):    %2d                  Time Convention:   Begin\n' % self.minutes)
        pulse_len = f32(f32(f32(pulse_width) * C_GATE) * C_HALF)
        out.append('Pulse Len. (m):     %4.0f                Spacing (m):       %3.0f\n'
                   % (d(pulse_len), d(spacing)))
        out.append('Max. Samples:      %s' % mx)
        out.append('Req. Samples:     %s\n' % rq)
        out.append('Ant. Azimuth (deg):%s' % az)
        out.append('Ant. Elev. (deg): %s\n\n\n' % el)
        out.append('QC Code Definition:    0=Valid,   1=Valid-No Vertical Correction,   '
                   '3=Valid-Passed QC/Failed Consensus,   7=Suspect,   8=Invalid\n')
        out.append('Data Code Definition: -940=Failed QC,   -950=Failed Consensus,\n')
        out.append('                      -960=Exceeded Nyquist Vel., -980=Flagged by Reviewer\n')
        out.append('                      -999=Missing or Not Reported\n\n\n\n\n\n\n')
        out.append('Time    # of Gates  Radar Parameter Changes\n')
        out.append('HHMM    NNN         N\n')
        if kind == 'winds':
            out.append('QC   Height    WS     WD      u       v       w    No. in Cns      SNR (db)\n')
            out.append('Code (m msl) (m/s)  (deg)   (m/s)   (m/s)   (m/s)   u   v   w    u    v    w\n')
        elif variant == 1:
            out.append('QC   Height   Tv   No. Cns  SNR (db)\n')
            out.append('Code (m msl)  (C)   (Tv)     (Tv)\n')
        elif variant == 2:
            out.append('QC   Height   TvC  No. Cns  SNR (db)\n')
            out.append('Code (m msl)  (C)   (TvC)    (TvC)\n')
        return ''.join(out)

    def file_name(self, kind, variant):
        day = self.current_day
        doy = day_of_year(day.year, day.month, day.day)
        letter = 'w' if kind == 'winds' else 't'
        return '%.3s%02d%03d.%s%da' % (self.rec.station, day.year % 100, doy, letter, variant)

    def create_file(self, name, text):
        self.files[name] = [text]

    def append(self, name, text):
        self.files.setdefault(name, []).append(text)


def entries(beam):
    """The four header value entries of one beam."""
    req = trunc_to_int(d(beam.sample_count * beam.consensus_percent) * d(C_HUNDREDTH))
    return ('%4d' % beam.azimuth, '%5.1f' % d(beam.elevation),
            '%4d' % beam.sample_count, '%4d' % req)


# ---------------------------------------------------------------------------
# Consensus averaging


def linear_power(snr):
    return math.pow(10.0, d(snr) * d(C_TENTH))


def average_beam(beam, window, percent, rass_branch):
    """Consensus averaging of one accumulator, gate by gate."""
    beam.consensus_window = window
    beam.consensus_percent = percent
    half = d(window) * d(C_HALF)
    samples = beam.samples
    ns = len(samples)
    for g in range(beam.max_gates):
        vel = [s[0][g] for s in samples]
        tmp = [s[1][g] for s in samples]
        snr = [s[2][g] for s in samples]
        if rass_branch:
            # A sample whose acoustic speed is missing has no temperature:
            # it is neither a member nor a centre.
            key = [None if t is None or t != t or v is None or trunc_to_int(v) <= -99 else d(t)
                   for v, t in zip(vel, tmp)]
            if any(v is not None and trunc_to_int(v) <= -99 for v in vel):
                note('RASS sample of -99 m/s left out')
        else:
            key = []
            for v in vel:
                if v is not None and trunc_to_int(v) <= -99:
                    note('missing velocity %s skipped' % ('-150' if v < -120 else 'near -99'))
                if v is not None and d(v) == d(f32(-98.9)):
                    note('velocity -98.9 kept')
                if v is None or trunc_to_int(v) <= -99:
                    key.append(None)
                else:
                    key.append(d(v))
        if any(k is None for k in (tmp if rass_branch else vel)):
            note('unwritten or missing sample slot')
        for c in range(ns):
            x = tmp[c] if rass_branch else vel[c]
            if x is None or (rass_branch and key[c] is None):
                continue
            if not rass_branch and trunc_to_int(x) <= -99:
                note('missing velocity as candidate')
            lo = d(f32(d(x) - half))
            hi = d(f32(d(x) + half))
            members = [k for k in range(ns) if key[k] is not None and lo <= key[k] <= hi]
            n = len(members)
            if any(key[k] in (lo, hi) and key[k] != d(x) for k in members):
                note('member exactly on a window bound')
            if n == beam.count[g] and n > 0:
                note('tie between equally large groups')
            if n <= beam.count[g]:
                continue
            sum_v = f32(0)
            sum_t = f32(0)
            sum_l = f32(0)
            for k in members:
                sum_v = f32(d(sum_v) + d(vel[k]))
                if rass_branch:
                    sum_t = f32(d(sum_t) + d(tmp[k]))
                sum_l = f32(d(sum_l) + linear_power(snr[k]))
            beam.count[g] = n
            beam.mean_velocity[g] = f32(d(sum_v) / n)
            beam.mean_temperature[g] = f32(d(sum_t) / n) if rass_branch else f32(0)
            beam.mean_snr[g] = f32(10.0 * math.log10(d(sum_l) / n)) if d(sum_l) > 0 else f32('-inf')


def find_setting(job, beam, with_rass):
    for s in job.settings:
        if (s.azimuth == beam.azimuth and s.elevation == beam.elevation
                and s.pulse_width == beam.pulse_width
                and (not with_rass or s.rass == beam.rass)):
            return s
    return None


# ---------------------------------------------------------------------------
# Wind consensus


def wind_passes(beam, g):
    """Threshold test in extended precision."""
    ratio = LD(beam.count[g]) / LD(beam.sample_count) * LD(100.0)
    return LD(beam.consensus_percent) <= ratio


def fold(a, b, opposite):
    note('fold of an opposite beam' if opposite else 'fold of a duplicate vertical beam')
    if a.pulse_width != b.pulse_width:
        note('fold across pulse widths')
    for g in range(a.max_gates):
        if not wind_passes(a, g):
            note('fold: folded beam fails')
            continue
        if wind_passes(b, g):
            b.count[g] = a.count[g] + b.count[g]
            lin = (linear_power(a.mean_snr[g]) + linear_power(b.mean_snr[g])) * 0.5
            b.mean_snr[g] = f32(10.0 * math.log10(lin)) if lin > 0 else f32('-inf')
            if opposite:
                b.mean_velocity[g] = f32((d(b.mean_velocity[g]) - d(a.mean_velocity[g])) * 0.5)
                b.paired[g] = 1
            else:
                b.mean_velocity[g] = f32((d(b.mean_velocity[g]) + d(a.mean_velocity[g])) * 0.5)
        else:
            note('fold: target beam fails')
            b.count[g] = a.count[g]
            b.mean_snr[g] = a.mean_snr[g]
            if opposite:
                b.mean_velocity[g] = f32(-d(a.mean_velocity[g]))
                b.paired[g] = 0
            else:
                b.mean_velocity[g] = a.mean_velocity[g]


def run_wind_consensus(job):
    policy = job.args.vertical
    for p in job.periods:
        for a in p.beams:
            s = find_setting(job, a, with_rass=False)
            if s is None:
                continue
            average_beam(a, s.window, s.percent, rass_branch=False)
    for s in job.settings:
        if s.pulse_width not in job.modes:
            job.modes.append(s.pulse_width)
    variant = 1
    K = d(DEG2RAD)
    K_ld = LD(DEG2RAD)
    for mode in job.modes:
        header_pending = True
        name = job.file_name('winds', variant)
        texts = ['', '', '', '']

        def add(beam):
            e = entries(beam)
            for i in range(4):
                texts[i] += e[i]

        for p in job.periods:
            if header_pending:
                texts = ['', '', '', '']
            first = next((b for b in p.beams if b.pulse_width == mode and b.elevation < f32(90.0)), None)
            if first is None:
                continue
            if first.azimuth == 360:
                note('first oblique beam at 360')
            if first.elevation != f32(66.4):
                note('first oblique beam at another elevation')
            second = None
            for b in p.beams:
                if (b.pulse_width == mode and b.elevation < f32(90.0) and b.azimuth != first.azimuth
                        and abs(b.azimuth - first.azimuth) != 180
                        and (b.azimuth - first.azimuth) % 180 == 0):
                    note('second oblique beam refused: parallel to the first')
                if (b.pulse_width == mode and b.azimuth != first.azimuth
                        and abs(b.azimuth - first.azimuth) != 180
                        and (b.azimuth - first.azimuth) % 180 != 0
                        and b.elevation < f32(90.0)):
                    second = b
                    break
            vertical = next((b for b in p.beams if b.pulse_width == mode and b.elevation == f32(90.0)), None)
            if header_pending:
                for b in (first, second, vertical):
                    if b is not None:
                        add(b)
            if second is None or vertical is None:
                note('wind period without a complete beam set')
                continue
            for a in p.beams:
                if (abs(first.azimuth - a.azimuth) == 180 and first.elevation < f32(90.0)
                        and a.elevation < f32(90.0)):
                    if header_pending:
                        add(a)
                    fold(a, first, opposite=True)
                if (abs(second.azimuth - a.azimuth) == 180 and second.elevation < f32(90.0)
                        and a.elevation < f32(90.0)):
                    if header_pending:
                        add(a)
                    fold(a, second, opposite=True)
                if a.elevation == vertical.elevation and a.azimuth != vertical.azimuth:
                    if header_pending:
                        add(a)
                    fold(a, vertical, opposite=False)
            if header_pending:
                text = job.header_text(name, 'winds', variant, vertical.pulse_width,
                                       first.gate_spacing, texts)
                job.create_file(name, text)
                texts = ['', '', '', '']
                header_pending = False
            n = min(first.max_gates, second.max_gates, vertical.max_gates)
            lines = ['%s%7d%10d\n' % (p.key, n, 0)]
            e1 = K * d(first.elevation)
            e2 = K * d(second.elevation)
            a1 = K * d(first.azimuth)
            a2 = K * d(second.azimuth)
            S1 = d(f32(math.sin(a1)))
            C1 = math.cos(a1)
            S2 = d(f32(math.sin(a2)))
            C2 = math.cos(a2)
            P1 = d(f32(C2 * S1))
            Q1 = d(f32(C1 * S2))
            for t in range(n):
                if policy == 'not-used':
                    vc = f32(0)
                elif policy == 'when-available':
                    vc = vertical.mean_velocity[t] if wind_passes(vertical, t) else f32(0)
                else:
                    vc = vertical.mean_velocity[t]
                if first.paired[t]:
                    R1 = d(first.mean_velocity[t]) / math.cos(e1)
                else:
                    R1 = (d(first.mean_velocity[t]) - math.sin(e1) * d(vc)) / math.cos(e1)
                if second.paired[t]:
                    R2 = d(second.mean_velocity[t]) / math.cos(e2)
                else:
                    R2 = (d(second.mean_velocity[t]) - math.sin(e2) * d(vc)) / math.cos(e2)
                u = f32(-(R1 * C2 - R2 * C1) / (P1 - Q1))
                v = f32(-(R1 * S2 - R2 * S1) / (Q1 - P1))
                tested = [first, second] if policy in ('not-used', 'when-available') else [first, second, vertical]
                if all(wind_passes(b, t) for b in tested):
                    speed = f32(math.sqrt(d(u) * d(u) + d(v) * d(v)))
                    direction = f32(math.atan2(-d(u), -d(v)) * RAD2DEG)
                    if direction < 0:
                        direction = f32(d(direction) + 360.0)
                    qc = 0
                else:
                    qc = 8
                    speed = direction = f32(-950.0)
                    note('wind gate failed consensus')
                if first.paired[t] or second.paired[t]:
                    note('paired oblique gate')
                if any(trunc_to_int(b.mean_snr[t]) == -100 for b in (first, second, vertical)):
                    note('consensus SNR truncating to -100 (not flagged)')
                if any(b.consensus_percent == 0 for b in p.beams):
                    note('beam with threshold 0 (first seen after the review)')
                if any(trunc_to_int(b.mean_snr[t]) == -99 for b in (first, second, vertical)):
                    qc = 8
                    speed = direction = f32(-980.0)
                    note('wind gate flagged by its SNR')
                    for b in (first, second, vertical):
                        b.count[t] = 0
                height = (LD(job.rec.site_elevation) + LD(first.first_gate_height)
                          + LD(t) * LD(first.gate_spacing) * np.sin(K_ld * LD(first.elevation)))
                lines.append('%2d%s%9.1f%6d.%8.2f%8.2f%8.2f%4d%4d%4d%5d%5d%5d\n' % (
                    qc, fmt_ld_f0(height, 7), d(speed), trunc_to_int(direction),
                    d(u), d(v), d(vertical.mean_velocity[t]),
                    first.count[t], second.count[t], vertical.count[t],
                    trunc_to_int(first.mean_snr[t]), trunc_to_int(second.mean_snr[t]),
                    trunc_to_int(vertical.mean_snr[t])))
            job.append(name, ''.join(lines))
        if header_pending:
            note('wind mode without a file on a day')
        variant += 1


# ---------------------------------------------------------------------------
# Temperature consensus


def temp_passes(beam, g):
    """Threshold test in double precision, division first."""
    return beam.consensus_percent <= (beam.count[g] / beam.sample_count) * 100.0


def run_temperature_consensus(job):
    policy = job.args.vertical
    for p in job.periods:
        for a in p.beams:
            s = find_setting(job, a, with_rass=True)
            if s is None:
                continue
            average_beam(a, s.window, s.percent, rass_branch=(a.rass != 0))
    header_pending = True
    tv_name = tvc_name = None
    d_rad = d(DEG2RAD)
    for p in job.periods:
        rass = radar = None
        for b in p.beams:
            if b.rass == 1:
                rass = b
            elif b.rass == 0:
                radar = b
        if sum(1 for b in p.beams if b.rass == 1) > 1:
            note('period with two RASS beams')
        if any(b.rass not in (0, 1) for b in p.beams):
            note('beam with RASS flag 2')
        if sum(1 for b in p.beams if b.rass == 0) > 1:
            note('period with two radar beams')
        if rass is None:
            note('period without a RASS beam')
            continue
        if radar is None:
            note('period with a RASS beam but no radar beam')
        elif radar.consensus_percent == 0:
            note('radar beam with threshold 0 (first seen after the review)')
        texts = list(entries(rass))
        if header_pending:
            pw = radar.pulse_width if radar is not None else 0
            if radar is None:
                note('temperature header without a radar beam')
            tv_name = job.file_name('temperature', 1)
            job.create_file(tv_name, job.header_text(tv_name, 'temperature', 1, pw,
                                                     rass.gate_spacing, texts))
            tvc_name = job.file_name('temperature', 2)
            job.create_file(tvc_name, job.header_text(tvc_name, 'temperature', 2, pw,
                                                      rass.gate_spacing, texts))
            header_pending = False
        period_line = '%s%7d%10d\n' % (p.key, rass.max_gates, 0)
        tv_lines = [period_line]
        tvc_lines = [period_line]
        for g in range(rass.max_gates):
            radar_ok = radar is not None and temp_passes(radar, g)
            vc = radar.mean_velocity[g] if radar_ok else f32(0)
            if radar is not None and not radar_ok:
                note('radar beam fails: no correction')
            rass.mean_velocity[g] = f32(d(rass.mean_velocity[g]) - d(vc))
            if policy in ('not-used', 'when-available'):
                ok = temp_passes(rass, g)
            else:
                ok = temp_passes(rass, g) and radar_ok
            if not ok:
                qc = 8
                tv = tvc = f32(-950.0)
                note('temperature gate failed consensus')
            else:
                tv = rass.mean_temperature[g]
                tvc = virtual_temperature(rass.mean_velocity[g])
                qc = 0
            height = (math.sin(d_rad * d(rass.elevation)) * d(rass.gate_spacing) * d(f32(g))
                      + rass.first_gate_height + job.rec.site_elevation)
            snr = trunc_to_int(rass.mean_snr[g])
            tv_lines.append('%2d%7.0f%9.1f%6d%6d\n' % (qc, height, d(tv), rass.count[g], snr))
            tvc_lines.append('%2d%7.0f%9.1f%6d%6d\n' % (qc, height, d(tvc), rass.count[g], snr))
        job.append(tv_name, ''.join(tv_lines))
        job.append(tvc_name, ''.join(tvc_lines))


# ---------------------------------------------------------------------------
# The run


def run(args):
    job = Job(args)
    begin = datetime.date.fromisoformat(args.begin)
    end = datetime.date.fromisoformat(args.end)
    day = begin
    while day <= end:
        job.periods = []
        job.current_day = day
        job.read_day(day)
        # The settings review: after the first day that brings beams, and
        # again on any day that brings beams without settings, which take
        # the run's values then (no beam is averaged without settings).
        unset = any(not (st.window > 0) or not (st.percent > 0) for st in job.settings)
        if job.settings and (job.review_pending or unset):
            if not job.review_pending:
                note('beam first seen after the first review (reviewed on its day)')
            job.review()
            job.review_pending = False
        if job.periods:
            if args.kind == 'winds':
                run_wind_consensus(job)
            else:
                run_temperature_consensus(job)
        day += datetime.timedelta(days=1)
    os.makedirs(args.output, exist_ok=True)
    for name, chunks in job.files.items():
        with open(os.path.join(args.output, name), 'w', newline='\n', encoding='latin-1') as fh:
            fh.write(''.join(chunks))
    return job


def parse_args(argv):
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--begin', required=True)
    ap.add_argument('--end', required=True)
    ap.add_argument('--input', required=True)
    ap.add_argument('--output', required=True)
    ap.add_argument('--minutes', type=int, required=True)
    ap.add_argument('--site', required=True)
    ap.add_argument('--kind', choices=['winds', 'temperature'], default='winds')
    ap.add_argument('--vertical', choices=['not-used', 'when-available', 'required'],
                    default='when-available')
    ap.add_argument('--window', type=float, required=True)
    ap.add_argument('--threshold', type=int, required=True)
    ap.add_argument('--rass-window', type=float)
    ap.add_argument('--rass-threshold', type=int)
    ap.add_argument('--source', default='QAV')
    ap.add_argument('--stamp', type=int, default=None,
                    help='seconds since 1970 for the "Created on" stamp')
    args = ap.parse_args(argv)
    if args.rass_window is None:
        args.rass_window = args.window
    if args.rass_threshold is None:
        args.rass_threshold = args.threshold
    if args.stamp is None and os.environ.get('SOURCE_DATE_EPOCH'):
        args.stamp = int(os.environ['SOURCE_DATE_EPOCH'])
    return args


if __name__ == '__main__':
    run(parse_args(sys.argv[1:]))
