#!/usr/bin/env python3
"""The README's command examples run as written, from the top of a fresh
clone: every shell block line that calls build/app/... is run (joined across
backslash line ends) in a scratch folder that holds `build` and `samples`
as the clone does, and must exit 0."""
import argparse
import os
import re
import shlex
import subprocess
import sys
import tempfile


def commands(readme):
    text = open(readme, encoding="utf-8").read()
    for block in re.findall(r"```sh\n(.*?)```", text, re.S):
        for command in block.replace("\\\n", " ").splitlines():
            command = command.split("#", 1)[0].strip()
            if command.startswith("build/app/"):
                yield command


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    a = parser.parse_args()
    found = list(commands(os.path.join(a.source, "README.md")))
    if len(found) < 3:
        print(f"readme examples: only {len(found)} commands found")
        return 1
    failed = 0
    with tempfile.TemporaryDirectory() as scratch:
        os.symlink(a.build, os.path.join(scratch, "build"))
        os.symlink(os.path.join(a.source, "samples"), os.path.join(scratch, "samples"))
        env = dict(os.environ, SOURCE_DATE_EPOCH="1700000000")
        for command in found:
            run = subprocess.run(shlex.split(command), cwd=scratch, env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
            ok = run.returncode == 0
            failed += not ok
            print(f"{'ok' if ok else 'FAILED'}: {command}")
            if not ok:
                print(run.stderr.decode(errors="replace")[-2000:])
    print(f"{len(found) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
