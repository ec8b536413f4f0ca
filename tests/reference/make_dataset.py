#!/usr/bin/python3
"""Deterministic generator of a multi-day ASCII moment data set.

Writes ".raw" (radar) and ".rat" (radar and RASS) files for the site "ref"
over the turn of the year 2004/2005, made to exercise the hard cases of
period assignment, beam identity, consensus averaging and output:

- days 30 and 31 December 2004 (days 365 and 366 of a leap year), 1, 3 and
  4 January 2005; 2 January is missing;
- the last minutes of each day are written at the start of the next day's
  file (the next-day anchor), each file ends with two dwells of the following
  day, and each day has a dwell at exactly 00:00:00 and dwells on period
  boundaries (01:00:00 and 01:00:01);
- two pulse widths (400 ns seen first, then 700 ns), oblique beams at 0, 90,
  180 and 270 degrees, vertical beams, a beam at 360 degrees, a beam at 89.99
  degrees, duplicate vertical beams, elevations written as "66.4"/"66.40" and
  "90"/"90.0" (one beam each); the 400 ns beams have only vertical dwells on
  1 January and are absent on 3 January;
- a duplicate vertical beam first seen on 3 January (after the first
  settings review: it is reviewed on its day and takes the run's values);
- crafted gates: ties between equal groups, values exactly on the window
  bounds (multiples of 0.25), velocities -99.0, -99.5, -150.0 and -98.9,
  consensus SNRs of -99.4 (flagged) and -100.0 (not flagged), -3.7 dB;
- shorter dwells (fewer gates), a dwell of 0 gates, one of 104 gates, one
  with a negative gate count, a gate line holding only blanks, a record cut
  short by the end of its file, blank and blank-only lines between records;
- RASS beams (flag 1) next to radar beams (flag 0) of the same beam, two
  RASS beams in some periods, a beam with flag 2, periods with RASS beams
  only and periods with radar beams only, a radar beam first seen on
  3 January;
- on 31 December, beams with exactly 50 dwells in a period and a gate where
  29 of them agree (58 percent: passes in extended precision, fails in
  double precision);
- the last ".rat" file named in upper case (REF05004.RAT);
- a site elevation that differs in one day's files (1601 m on 1 January).

Usage: make_dataset.py OUTDIR [--seed N]
Also writes OUTDIR/truth.txt with the wind and temperature profiles used.
"""

import argparse
import datetime
import math
import os
import random

SITE = 'ref'
STATION = 'refprof'
LAT = 4012
LON = -10525

# Days that have files, and their site elevations.
FILE_DAYS = [
    datetime.date(2004, 12, 30),
    datetime.date(2004, 12, 31),
    datetime.date(2005, 1, 1),
    datetime.date(2005, 1, 3),
    datetime.date(2005, 1, 4),
]
SITE_ELEVATION = {datetime.date(2005, 1, 1): 1601}
SPILL_FROM = datetime.time(23, 52, 0)


def doy(day):
    return day.timetuple().tm_yday


class Beam:
    def __init__(self, name, az, elev_texts, pw, fgh, gates, rass=0):
        self.name = name
        self.az = az
        self.elev_texts = elev_texts
        self.elev = float(elev_texts[0])
        self.pw = pw
        self.fgh = fgh
        self.gates = gates
        self.rass = rass


# Radar beams of the ".raw" files.
B1 = Beam('B1', 0, ['66.4'], 400, 60, 16)
B2 = Beam('B2', 90, ['66.4'], 400, 60, 16)
B3 = Beam('B3', 0, ['90', '90.0'], 400, 60, 16)
B4 = Beam('B4', 90, ['90'], 400, 60, 16)
B5 = Beam('B5', 180, ['66.4'], 400, 60, 16)
A1 = Beam('A1', 0, ['66.4', '66.40'], 700, 105, 16)
A2 = Beam('A2', 90, ['66.4'], 700, 105, 16)
A3 = Beam('A3', 180, ['66.4'], 700, 105, 16)
A4 = Beam('A4', 270, ['66.4'], 700, 105, 16)
A5 = Beam('A5', 0, ['90.0', '90'], 700, 105, 16)
A6 = Beam('A6', 360, ['66.4'], 700, 105, 16)
A7 = Beam('A7', 0, ['89.99'], 700, 105, 16)
L1 = Beam('L1', 270, ['90'], 700, 105, 16)

# Beams of the ".rat" files.
R1 = Beam('R1', 0, ['90'], 700, 105, 12, rass=1)
R2 = Beam('R2', 0, ['90.0'], 400, 60, 12, rass=1)
V1 = Beam('V1', 0, ['90'], 700, 105, 16, rass=0)
V2 = Beam('V2', 90, ['66.4'], 700, 105, 16, rass=0)
X2 = Beam('X2', 0, ['90'], 700, 105, 12, rass=2)
L2 = Beam('L2', 180, ['66.4'], 700, 105, 16, rass=0)


def wind_truth(day, z):
    k = (day - FILE_DAYS[0]).days
    u = 6.0 + 0.002 * z + 0.5 * k
    v = -4.0 + 0.0015 * z - 0.3 * k
    w = 0.25 * math.sin(z / 400.0)
    return u, v, w


def temperature_truth(day, z):
    k = (day - FILE_DAYS[0]).days
    return 12.0 - 0.0065 * z + 0.4 * k


class Generator:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.counter = {}

    def next_index(self, key):
        n = self.counter.get(key, 0)
        self.counter[key] = n + 1
        return n

    # -- gate values -------------------------------------------------------
    def radar_gate(self, day, beam, g, spacing):
        rng = self.rng
        z = beam.fgh + g * spacing * math.sin(math.radians(beam.elev))
        u, v, w = wind_truth(day, z)
        a = math.radians(beam.az)
        e = math.radians(beam.elev)
        vel = -(u * math.sin(a) + v * math.cos(a)) * math.cos(e) + w * math.sin(e)
        vel += rng.gauss(0.0, 0.3)
        r = rng.random()
        if r < 0.06:
            vel = rng.uniform(-15.0, 15.0)
        snr = 22.0 - 0.006 * z + rng.gauss(0.0, 2.0)
        vtext = '%.2f' % vel
        if r > 0.97:
            vtext = rng.choice(['-99.0', '-99.5', '-150.0', '-98.9', '-99.00'])
        return vtext, '%.1f' % snr

    def rass_gate(self, day, beam, g, spacing):
        rng = self.rng
        z = beam.fgh + g * spacing
        tk = temperature_truth(day, z) + 273.15
        _, _, w = wind_truth(day, z)
        c = 20.047 * math.sqrt(tk) + w + rng.gauss(0.0, 0.12)
        r = rng.random()
        if r < 0.05:
            c += rng.uniform(-4.0, 4.0)
        snr = 15.0 - 0.004 * z + rng.gauss(0.0, 2.0)
        vtext = '%.3f' % c
        if r > 0.985:
            vtext = '-99.0'
        return vtext, '%.1f' % snr

    def crafted(self, day, beam, window, gates):
        """Overwrites gates of chosen beams with crafted values."""
        key = (day, beam.name, window)
        i = self.next_index(key)
        if beam in (A1, B1) and window == 'B':
            # Ties and values exactly on the window bounds (windows 1, 2, 3).
            seq = [1.0, 2.0, 3.0, 5.0, 6.0, 7.0, 0.5, 1.5, 2.5, 4.0, 5.5, 6.5, 3.0, 8.0]
            gates[2] = ('%.2f' % seq[i % len(seq)], gates[2][1])
            seq2 = [-1.25, -0.25, 0.75, 1.75, -2.25, 2.75, -1.25, 0.75]
            gates[3] = ('%.2f' % seq2[i % len(seq2)], gates[3][1])
        if beam in (A5, B3) and window in ('B', 'A'):
            # Missing velocities next to the -99 bound.
            seq = ['-98.9', '-99.0', '-98.5', '-99.5', '-150.0', '-98.75', '-98.25', '-99.00']
            gates[5] = (seq[i % len(seq)], gates[5][1])
        if beam in (A2, A4, B2, B5, A3) and window == 'C':
            gates[6] = (gates[6][0], '-99.4')
            gates[7] = (gates[7][0], '-100.0')
        if beam in (A1, A3, B1, R1) and window == 'A':
            gates[4] = (gates[4][0], '-3.7')
        if window == 'D':
            # 29 equal values among 50 dwells: 58 percent, which passes in
            # extended precision and fails in double precision.
            if beam in (A1, A5, V1):
                text = '1.00' if i < 29 else '%.2f' % (20.0 + 4.0 * (i - 29))
                gates[8] = (text, gates[8][1])
            if beam is R1:
                text = '340.000' if i < 29 else '%.3f' % (290.0 + 2.0 * (i - 29))
                gates[5] = (text, gates[5][1])
        if beam is R1 and window == 'B':
            # Equal RASS temperatures: ties of the RASS branch.
            seq = ['339.000', '340.000', '339.500', '341.000', '338.000', '340.500']
            gates[1] = (seq[i % len(seq)], gates[1][1])
        return gates

    def record(self, day, t, beam, window, kind, gate_count=None, options=()):
        """Text lines of one dwell at datetime t."""
        rng = self.rng
        spacing = beam.pw * 0.15
        n = beam.gates if gate_count is None else gate_count
        elev_text = beam.elev_texts[self.next_index(('elev', beam.name)) % len(beam.elev_texts)]
        fgh = beam.fgh + (1 if rng.random() < 0.08 else 0)
        yy = t.year - 2000
        if kind == 'raw':
            line1 = '%d %s %d %d %d %d %d %d' % (1, elev_text, beam.az, yy, doy(t.date()),
                                                t.hour, t.minute, t.second)
        else:
            line1 = '%d %s %d %d %d %d %d %d' % (beam.rass, elev_text, beam.az, yy, doy(t.date()),
                                                t.hour, t.minute, t.second)
        declared = n
        if 'negative' in options:
            declared = -5
        line2 = '%d %d %d %d %d' % (0, beam.pw, fgh, 0, declared)
        lines = [line1, line2]
        if declared < 0:
            return lines
        gates = []
        for g in range(max(n, 0)):
            if beam.rass:
                gates.append(self.rass_gate(t.date(), beam, g, spacing))
            else:
                gates.append(self.radar_gate(t.date(), beam, g, spacing))
        if n >= 8:
            gates = self.crafted(t.date(), beam, window, gates)
        for g, (vt, st) in enumerate(gates):
            if 'blank-gate' in options and g == 3:
                lines.append('   ')
            else:
                lines.append('%s %s' % (vt, st))
        if 'cut' in options:
            lines = lines[:2 + n // 2]
        return lines


def next_time(sec, step):
    """Next dwell second of a late window; the last dwell is at 23:59:59."""
    if sec + step < 24 * 3600:
        return sec + step
    if sec < 24 * 3600 - 1:
        return 24 * 3600 - 1
    return 24 * 3600


def raw_schedule(day):
    """(time, beam, window, gate count, options) of one day's radar dwells."""
    out = []
    k = (day - FILE_DAYS[0]).days
    start = datetime.datetime.combine(day, datetime.time(0, 0, 0))
    if day == datetime.date(2005, 1, 3):
        cycle_a = [A1, A2, A3, A4, A5, L1]
    elif day == datetime.date(2005, 1, 1):
        cycle_a = [B3, A1, A2, A3, A4, A5, B4]
    else:
        cycle_a = [B1, A1, A2, A3, A4, A5, B2, B5, B3, B4]
    # Window A: 00:00:00 to 01:10, dwells every 15 s; after 01:00:00 the grid
    # moves by one second, so that 01:00:00 and 01:00:01 both carry dwells.
    i = 0
    sec = 0
    while sec <= 70 * 60:
        t = start + datetime.timedelta(seconds=sec + (1 if sec > 3600 else 0))
        beam = cycle_a[i % len(cycle_a)]
        gc = None
        opts = ()
        if i % 7 == 3:
            gc = 12
        if beam is B3 and i % 3 == 0:
            gc = 20
        if day == datetime.date(2005, 1, 1) and i == 25:
            opts = ('negative',)
        if day == datetime.date(2004, 12, 30) and i == 40:
            opts = ('blank-gate',)
        out.append((t, beam, 'A', gc, opts))
        i += 1
        sec += 15
    if day == datetime.date(2005, 1, 4):
        return out
    # Window B: 11:50 to 12:40, beam order shuffled per cycle.
    if day == datetime.date(2005, 1, 1):
        cycle_b = [A1, A2, A3, A4, A5, A6, B3, B4]
    elif day == datetime.date(2005, 1, 3):
        cycle_b = [A1, A2, A3, A4, A5, A6, L1]
    else:
        cycle_b = [A1, A2, A3, A4, A5, A6, B1, B2, B3, B5]
    if day == datetime.date(2004, 12, 30):
        cycle_b = cycle_b + [A7]
    rng = random.Random(1000 + k)
    sec = (11 * 60 + 50) * 60
    i = 0
    while sec < (12 * 60 + 40) * 60:
        order = cycle_b[:]
        rng.shuffle(order)
        for beam in order:
            t = start + datetime.timedelta(seconds=sec)
            gc = None
            if rng.random() < 0.15:
                gc = 10
            if day == datetime.date(2005, 1, 3) and beam is A5 and i == 20:
                gc = 0
            out.append((t, beam, 'B', gc, ()))
            sec += 20
            i += 1
    # Window D on 31 December: 06:00:12 to 06:30:00, three beams, 50 dwells
    # each in the periods of 30 and 60 minutes.
    if day == datetime.date(2004, 12, 31):
        for j in range(1, 151):
            t = start + datetime.timedelta(seconds=6 * 3600 + 12 * j)
            out.append((t, [A1, A2, A5][j % 3], 'D', None, ()))
    # Window C: 23:30 to 23:59:59, fixed order; the dwells from 23:52 on go
    # to the next day's file when it exists.
    cycle_c = [A1, A2, A3, A4, A5, B1, B2, B5, B3]
    if day == datetime.date(2005, 1, 3):
        cycle_c = [A1, A2, A3, A4, A5, A6]
    sec = (23 * 60 + 30) * 60
    i = 0
    while sec < 24 * 3600:
        t = start + datetime.timedelta(seconds=sec)
        beam = cycle_c[i % len(cycle_c)]
        gc = None
        if i % 5 == 2:
            gc = 11
        if day == datetime.date(2004, 12, 31) and i == 30:
            gc = 104
        out.append((t, beam, 'C', gc, ()))
        i += 1
        sec = next_time(sec, 25)
    return out


def rat_schedule(day):
    """(time, beam, window, gate count, options) of one day's RASS file dwells."""
    out = []
    start = datetime.datetime.combine(day, datetime.time(0, 0, 0))
    k = (day - FILE_DAYS[0]).days
    # Window A: RASS alone until 00:25, then RASS and radar.
    sec = 0
    i = 0
    while sec <= 70 * 60:
        t = start + datetime.timedelta(seconds=sec + (1 if sec > 3600 else 0))
        if sec < 25 * 60:
            cycle = [R1, R2] if i % 4 == 0 else [R1]
        else:
            cycle = [R1, V1, V2] if day != datetime.date(2005, 1, 3) else [R1, V1, L2]
        for beam in cycle:
            gc = None
            if i % 6 == 4:
                gc = 9
            opts = ()
            if day == datetime.date(2004, 12, 31) and i == 33 and beam is R1:
                gc = 104
            out.append((t, beam, 'A', gc, opts))
            t = t + datetime.timedelta(seconds=5)
        i += 1
        sec += 30
    if day == datetime.date(2005, 1, 4):
        return out
    # Window B: radar alone until 12:12, then everything, shuffled.
    rng = random.Random(2000 + k)
    sec = (11 * 60 + 50) * 60
    while sec < (12 * 60 + 40) * 60:
        if sec < (12 * 60 + 12) * 60:
            order = [V1, V2]
        else:
            order = [R1, R2, V1, V2]
            if day == datetime.date(2004, 12, 30):
                order.append(X2)
            if day == datetime.date(2005, 1, 3):
                order.append(L2)
        rng.shuffle(order)
        for beam in order:
            t = start + datetime.timedelta(seconds=sec)
            gc = 7 if rng.random() < 0.12 else None
            out.append((t, beam, 'B', gc, ()))
            sec += 15
    # Window D on 31 December: 06:00:18 to 06:30:00, 50 dwells of R1 and V1.
    if day == datetime.date(2004, 12, 31):
        for j in range(1, 101):
            t = start + datetime.timedelta(seconds=6 * 3600 + 18 * j)
            out.append((t, [R1, V1][j % 2], 'D', None, ()))
    # Window C: both, fixed order.
    sec = (23 * 60 + 30) * 60
    i = 0
    while sec < 24 * 3600:
        for beam in ([V1, R1] if i % 2 else [R1, V1]):
            t = start + datetime.timedelta(seconds=sec)
            out.append((t, beam, 'C', None, ()))
            sec = next_time(sec, 20)
            if sec >= 24 * 3600:
                break
        i += 1
    return out


def header_line(day):
    return '#%s %d %d %d' % (STATION, LAT, LON, SITE_ELEVATION.get(day, 1600))


def build(outdir, seed):
    gen = Generator(seed)
    os.makedirs(outdir, exist_ok=True)
    file_set = set(FILE_DAYS)
    for kind, schedule in (('raw', raw_schedule), ('rat', rat_schedule)):
        per_file = {d: {'spill': [], 'own': [], 'leak': []} for d in FILE_DAYS}
        for day in FILE_DAYS:
            nxt = day + datetime.timedelta(days=1)
            for t, beam, window, gc, opts in schedule(day):
                lines = gen.record(day, t, beam, window, kind, gc, opts)
                if t.time() >= SPILL_FROM and nxt in file_set:
                    per_file[nxt]['spill'].append(lines)
                else:
                    per_file[day]['own'].append(lines)
            # Two dwells of the following day close the file (dropped there).
            for sec, beam in ((5, A1 if kind == 'raw' else R1), (20, A2 if kind == 'raw' else V1)):
                t = datetime.datetime.combine(nxt, datetime.time(0, 0, 0)) + datetime.timedelta(seconds=sec)
                per_file[day]['leak'].append(gen.record(nxt, t, beam, 'L', kind))
        for day in FILE_DAYS:
            parts = per_file[day]
            out = [header_line(day)]
            records = parts['spill'] + parts['own'] + parts['leak']
            if kind == 'raw' and day == datetime.date(2005, 1, 1):
                # The day's last record is cut short by the end of the file.
                t = datetime.datetime(2005, 1, 1, 23, 59, 50)
                records = parts['spill'] + parts['own'] + [gen.record(day, t, A5, 'C', kind, None, ('cut',))]
            for r, rec in enumerate(records):
                out.extend(rec)
                if day == FILE_DAYS[0] and r in (3, 50):
                    out.append('')
                    out.append('   \t ')
            if not (kind == 'raw' and day == datetime.date(2005, 1, 1)):
                out.append('')
                out.append('')
            name = '%s%02d%03d.%s' % (SITE, day.year % 100, doy(day), kind)
            if day == FILE_DAYS[-1] and kind == 'rat':
                name = name.upper()  # as copied from another system
            with open(os.path.join(outdir, name), 'w', newline='\n') as fh:
                fh.write('\n'.join(out))
    with open(os.path.join(outdir, 'truth.txt'), 'w') as fh:
        fh.write('# day height_m u v w Tv_C\n')
        for day in FILE_DAYS:
            for z in range(0, 3001, 250):
                u, v, w = wind_truth(day, z)
                fh.write('%s %5d %7.3f %7.3f %7.3f %7.3f\n'
                         % (day.isoformat(), z, u, v, w, temperature_truth(day, z)))


def main():
    ap = argparse.ArgumentParser(description='Generate the reference ASCII data set.')
    ap.add_argument('outdir')
    ap.add_argument('--seed', type=int, default=20041230)
    args = ap.parse_args()
    build(args.outdir, args.seed)


if __name__ == '__main__':
    main()
