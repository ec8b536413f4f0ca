#!/usr/bin/env python3
"""quorvane-samplegen feed: the files it grows end byte-identical to those
of generate with the same options, also when the writer dies inside a
record and a restarted writer resumes it; a file that is not the beginning
of its generated content is refused and left as it is."""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import time

SPAN = ["--days", "2", "--from", "23:00", "--to", "24:00"]
FAST = ["--speed", "100000", "--max-wait", "0.05"]

# name, options shared with generate, options of the first feed run (a
# stopped run is resumed by a second one)
CASES = [
    ("ascii", ["--format", "ascii", "--kind", "both"], []),
    ("binary", ["--format", "binary"], ["--pause-at", "23:20", "--pause-seconds", "0.5"]),
    ("ascii stopped", ["--format", "ascii", "--kind", "both"], ["--stop-at", "23:30"]),
    ("binary stopped", ["--format", "binary", "--kind", "winds"], ["--stop-at", "23:30"]),
]


def tree(folder):
    out = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                out[os.path.relpath(path, folder)] = f.read()
    return out


def record_ends(name, data):
    """Offsets at which the records of a whole moment file end."""
    ends, at = set(), 0
    if name.endswith(".mom"):  # data records: format code, int16 length, ...
        while at < len(data):
            at += struct.unpack_from("<h", data, at + 2)[0]
            ends.add(at)
        return ends
    lines = data.split(b"\n")
    i = 1  # header line
    at = len(lines[0]) + 1
    while i + 1 < len(lines) and lines[i]:
        gates = int(lines[i + 1].split()[-1])
        for line in lines[i:i + 2 + gates]:
            at += len(line) + 1
        i += 2 + gates
        ends.add(at)
    return ends


def check_cut(expected, folder):
    """Every file a beginning of its content, exactly one cut inside a record."""
    cut = []
    for name, data in tree(folder).items():
        assert expected[name].startswith(data), f"{name} is not a beginning of its content"
        moment = name.endswith((".raw", ".rat", ".mom")) and not name.startswith(("twin", "h"))
        if moment and len(data) not in record_ends(name, expected[name]):
            cut.append(name)
    assert len(cut) == 1, f"files cut inside a record: {cut}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--samplegen", required=True)
    tool = parser.parse_args().samplegen

    def run(*args, status=0):
        done = subprocess.run([tool, *args], capture_output=True, text=True, timeout=60)
        assert done.returncode == status, f"{args}: exit {done.returncode}\n{done.stderr}"
        return done

    with tempfile.TemporaryDirectory() as scratch:
        for name, options, first in CASES:
            wanted = os.path.join(scratch, name, "generate")
            fed = os.path.join(scratch, name, "feed")
            run("generate", "--out", wanted, *SPAN, *options)
            expected = tree(wanted)
            began = time.monotonic()
            created = run("feed", "--out", fed, *SPAN, *options, *FAST, *first).stdout.split()
            if "--pause-seconds" in first:
                assert time.monotonic() - began >= 0.5, f"{name}: no pause"
            if "--stop-at" in first:
                check_cut(expected, fed)
                run("feed", "--out", fed, *SPAN, *options, *FAST, "--resume")
            for path in (p for p in created if os.path.basename(p).startswith("h")):
                data = path.replace(os.sep + "h", os.sep + "d")
                assert created.index(path) < created.index(data), f"{name}: {data} before its header file"
            assert tree(fed) == expected, f"{name}: fed files differ from generated ones"

        # A restarted writer refuses a file that is not its content's beginning.
        fed = os.path.join(scratch, "ascii", "feed")
        path = os.path.join(fed, sorted(n for n in os.listdir(fed) if n.endswith(".raw"))[0])
        with open(path, "r+b") as f:
            f.seek(200)
            f.write(b"#")
        before = tree(fed)
        refused = run("feed", "--out", fed, *SPAN, *FAST, "--resume", status=1)
        assert path in refused.stderr and tree(fed) == before, refused.stderr
        run("feed", "--out", fed, "--pause-at", "23:00", status=2)
    print("samplegen feed: all cases pass")
    return 0


if __name__ == "__main__":
    sys.exit(main())
