#!/usr/bin/python3
"""Compares quorvane-batch with the independent reference model, byte for byte.

Generates the reference ASCII data set into a temporary folder, runs the
batch tool and the reference model over it for several parameter
combinations (winds and temperature, averaging periods that do and do not
divide a day, the three vertical-velocity policies, runs that begin on a day
without files), and compares the consensus data files: the set of files
written, and every byte of every file except the time of the "Created on"
stamp (whose line must still have the right form).

Usage: compare_outputs.py --batch PATH [--keep DIR] [--only NAME ...]
Exit status 0 when every combination matches, 1 otherwise.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import make_dataset  # noqa: E402
import reference_model  # noqa: E402

# Cases the data set must reach in the reference model over all combinations;
# a comparison that never met one of them proves less than it claims.
REQUIRED_CASES = [
    'dwell of another day dropped',
    "dwell stored from the next day's file",
    'next-day file across the year change',
    'dwell at 00:00:00 of the processing day',
    'dwell exactly on a period boundary',
    'more dwells than the period has minutes',
    'dwell shorter than its accumulator',
    'blank line skipped before a record',
    'record of more than 100 gates',
    'gate line missing at the end of the file',
    'gate line without two numbers',
    'negative gate count',
    'next-day file missing',
    'file found ignoring case',
    'processing-day file missing',
    'unwritten or missing sample slot',
    'missing velocity as candidate',
    'member exactly on a window bound',
    'tie between equally large groups',
    'missing velocity -150 skipped',
    'missing velocity near -99 skipped',
    'velocity -98.9 kept',
    'fold of an opposite beam',
    'fold of a duplicate vertical beam',
    'fold across pulse widths',
    'fold: folded beam fails',
    'fold: target beam fails',
    'first oblique beam at 360',
    'first oblique beam at another elevation',
    'second oblique beam refused: parallel to the first',
    'wind period without a complete beam set',
    'wind mode without a file on a day',
    'wind gate failed consensus',
    'paired oblique gate',
    'consensus SNR truncating to -100 (not flagged)',
    'beam first seen after the first review (reviewed on its day)',
    'wind gate flagged by its SNR',
    'RASS sample of -99 m/s left out',
    'period with two RASS beams',
    'beam with RASS flag 2',
    'period with two radar beams',
    'period without a RASS beam',
    'period with a RASS beam but no radar beam',
    'temperature header without a radar beam',
    'temperature gate failed consensus',
    'radar beam fails: no correction',
]

STAMP_EPOCH = 1104537600  # 2005-01-01 00:00:00 UTC
CREATED_RE = re.compile(
    r'^Created by:         VINTREL      1\.0    Created on:        '
    r'\d\d/\d\d/\d\d  \d\d\d\d$')

# name, kind, begin, end, minutes, vertical, window, threshold,
# rass window, rass threshold (None: the radar values)
COMBINATIONS = [
    ('winds-60-available', 'winds', '2004-12-30', '2005-01-04', 60, 'when-available', '2', 50, None, None),
    ('winds-7-required', 'winds', '2004-12-30', '2005-01-03', 7, 'required', '1', 30, None, None),
    ('winds-30-notused', 'winds', '2004-12-31', '2005-01-04', 30, 'not-used', '3', 60, None, None),
    ('winds-1440-available', 'winds', '2005-01-02', '2005-01-04', 1440, 'when-available', '2.5', 25, None, None),
    ('winds-60-required-58', 'winds', '2004-12-31', '2004-12-31', 60, 'required', '2', 58, None, None),
    ('temp-60-available', 'temperature', '2004-12-30', '2005-01-04', 60, 'when-available', '2', 50, '1', 40),
    ('temp-7-required', 'temperature', '2004-12-30', '2005-01-03', 7, 'required', '1.5', 30, '0.5', 50),
    ('temp-30-notused', 'temperature', '2004-12-31', '2005-01-04', 30, 'not-used', '1', 60, '2', 25),
    ('temp-30-required-58', 'temperature', '2004-12-31', '2004-12-31', 30, 'required', '2', 58, '1', 58),
    ('temp-1440-required', 'temperature', '2005-01-02', '2005-01-04', 1440, 'required', '2', 20, '1.25', 30),
]


def combo_args(combo, input_dir, output_dir):
    name, kind, begin, end, minutes, vertical, window, threshold, rwin, rthr = combo
    args = ['--begin', begin, '--end', end, '--input', input_dir, '--output', output_dir,
            '--minutes', str(minutes), '--input-type', 'ascii', '--site', make_dataset.SITE,
            '--kind', kind, '--vertical', vertical, '--window', window,
            '--threshold', str(threshold)]
    if rwin is not None:
        args += ['--rass-window', rwin, '--rass-threshold', str(rthr)]
    return args


def model_args(combo, input_dir, output_dir):
    args = combo_args(combo, input_dir, output_dir)
    i = args.index('--input-type')
    del args[i:i + 2]
    return args + ['--stamp', str(STAMP_EPOCH)]


def read_lines(path):
    with open(path, 'rb') as fh:
        return fh.read().decode('latin-1').split('\n')


def compare_file(name, ours_path, theirs_path):
    """Returns a list of report lines; empty when the files agree."""
    ours = read_lines(ours_path)
    theirs = read_lines(theirs_path)
    report = []
    first = None
    differing = 0
    for i in range(max(len(ours), len(theirs))):
        a = ours[i] if i < len(ours) else '<end of file>'
        b = theirs[i] if i < len(theirs) else '<end of file>'
        if i == 7 and a.startswith('Created by:') and b.startswith('Created by:'):
            if not CREATED_RE.match(b):
                differing += 1
                first = first or (i, a, b)
            continue
        if a != b:
            differing += 1
            if first is None:
                first = (i, a, b)
    if first is not None:
        i, a, b = first
        report.append('  %s: %d line(s) differ; first at line %d:' % (name, differing, i + 1))
        report.append('    reference: %r' % a)
        report.append('    batch:     %r' % b)
        # The period line above the first difference helps to place it.
        for j in range(min(i, len(ours) - 1), -1, -1):
            if re.match(r'^\d{4} +\d+ +0$', ours[j]):
                report.append('    (in the period block "%s", line %d)' % (ours[j], j + 1))
                break
    return report


def run_combo(combo, batch, data_dir, work):
    name = combo[0]
    ref_dir = os.path.join(work, name, 'reference')
    out_dir = os.path.join(work, name, 'batch')
    os.makedirs(ref_dir)
    os.makedirs(out_dir)
    report = []
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(STAMP_EPOCH))
    cmd = [batch] + combo_args(combo, data_dir, out_dir)
    try:
        proc = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, env=env, timeout=120)
        # The data set holds deliberately damaged days (a file cut short, bad
        # gate lines): the tool reports them and exits with 5.
        if proc.returncode not in (0, 5):
            tail = proc.stderr.decode('utf-8', 'replace').strip().splitlines()[-5:]
            report.append('  quorvane-batch exited with status %d: %s' % (proc.returncode, ' '.join(cmd)))
            report.extend('    ' + line for line in tail)
    except subprocess.TimeoutExpired:
        report.append('  quorvane-batch did not finish within 120 s: %s' % ' '.join(cmd))
    reference_model.run(reference_model.parse_args(model_args(combo, data_dir, ref_dir)))
    ours = sorted(os.listdir(ref_dir))
    theirs = sorted(os.listdir(out_dir))
    only_ours = [f for f in ours if f not in theirs]
    only_theirs = [f for f in theirs if f not in ours]
    if only_ours:
        report.append('  files written by the reference only: %s' % ' '.join(only_ours))
    if only_theirs:
        report.append('  files written by the batch tool only: %s' % ' '.join(only_theirs))
    same = 0
    for f in ours:
        if f in theirs:
            lines = compare_file(f, os.path.join(ref_dir, f), os.path.join(out_dir, f))
            if lines:
                report.extend(lines)
            else:
                same += 1
    return report, same, len(ours)


def main():
    ap = argparse.ArgumentParser(description='Compare quorvane-batch with the reference model.')
    ap.add_argument('--batch', required=True, help='path of the quorvane-batch executable')
    ap.add_argument('--keep', help='keep data and outputs in this folder')
    ap.add_argument('--only', nargs='*', help='run only these combinations')
    args = ap.parse_args()
    if not os.access(args.batch, os.X_OK):
        print('quorvane-batch not found or not executable: %s' % args.batch)
        return 1
    work = args.keep or tempfile.mkdtemp(prefix='quorvane-reference-')
    if args.keep and os.path.exists(work):
        shutil.rmtree(work)
    data_dir = os.path.join(work, 'data')
    make_dataset.build(data_dir, 20041230)
    failed = passed = 0
    try:
        for combo in COMBINATIONS:
            if args.only and combo[0] not in args.only:
                continue
            report, same, total = run_combo(combo, args.batch, data_dir, work)
            if report:
                failed += 1
                print('MISMATCH %s (%d of %d reference files identical)' % (combo[0], same, total))
                for line in report:
                    print(line)
            else:
                passed += 1
                print('ok       %s (%d files identical)' % (combo[0], total))
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    if not args.only:
        missed = [c for c in REQUIRED_CASES if reference_model.EVENTS[c] == 0]
        if missed:
            failed += 1
            print('MISSING  the data set never reached these cases:')
            for c in missed:
                print('  ' + c)
        else:
            print('ok       the data set reached all %d listed cases' % len(REQUIRED_CASES))
    print('%d passed, %d failed' % (passed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
