#!/usr/bin/env python3
"""The station's web site in a real browser.

Two generated days are processed for winds and for temperature with --web;
the site is served by a local static server. Every link and script of every
page resolves, no page is over 1 MB, and headless Chromium draws the index
(barbs, Tv/TvC cells, the latest profile, the stale notice of an old day) and
a day page without a console error, at a desktop and at a phone width.
Skipped (77) where Chromium is missing.
"""
import argparse
import html.parser
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import urllib.parse
import urllib.request

FAILURES = []


def check(ok, what):
    if not ok:
        FAILURES.append(what)
        print("FAIL:", what)


class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links = []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("href", "src") and value:
                self.links.append(value)


def serve(folder):
    handler = lambda *a: http.server.SimpleHTTPRequestHandler(*a, directory=folder)
    http.server.SimpleHTTPRequestHandler.log_message = lambda *a: None
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_address[1]}/"


def crawl(base, site):
    """Every page of the site: its links resolve (200) and it is under 1 MB."""
    pages = ["index.html", "archive.html"] + ["days/" + n for n in sorted(os.listdir(
        os.path.join(site, "days"))) if n.endswith(".html")]
    for page in pages:
        check(os.path.getsize(os.path.join(site, page)) < 1 << 20, f"{page} is under 1 MB")
        url = urllib.parse.urljoin(base, "site/" + page)
        parser = Links()
        parser.feed(urllib.request.urlopen(url).read().decode())
        for link in parser.links:
            target = urllib.parse.urljoin(url, link)
            try:
                ok = urllib.request.urlopen(target).status == 200
            except OSError:
                ok = False
            check(ok, f"{page}: link {link} resolves")
    return pages


def chromium(url, width, extra):
    run = subprocess.run(["chromium", "--headless=new", "--no-sandbox", "--disable-gpu",
                          "--hide-scrollbars", "--enable-logging=stderr", "--v=0",
                          "--virtual-time-budget=8000", f"--window-size={width},2400"] + extra +
                         [url], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    errors = [line for line in run.stderr.decode(errors="replace").splitlines()
              if "CONSOLE" in line or "Uncaught" in line or "Failed to load" in line]
    return run.stdout.decode(errors="replace"), errors


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--samplegen", required=True)
    parser.add_argument("--screenshots", help="folder for the screenshots (docs/)")
    args = parser.parse_args()
    if not shutil.which("chromium"):
        print("chromium is missing: skipped")
        return 77
    with tempfile.TemporaryDirectory() as work:
        days, out = os.path.join(work, "days"), os.path.join(work, "out")
        site = os.path.join(out, "site")
        subprocess.run([args.samplegen, "generate", "--out", days, "--days", "2", "--from",
                        "06:00", "--to", "24:00"], stdout=subprocess.DEVNULL, check=True)
        common = [args.batch, "--begin", "2004-06-15", "--end", "2004-06-16", "--input", days,
                  "--output", out, "--input-type", "ascii", "--site", "qvs", "--minutes", "30",
                  "--window", "2", "--threshold", "50", "--web", site, "--netcdf", "-q"]
        for kind in ("winds", "temperature"):
            subprocess.run(common + ["--kind", kind], check=True)

        server, base = serve(out)
        pages = crawl(base, site)
        check(len(pages) == 4, "an index, an archive and a page per day")

        for page, width in (("index.html", 1280), ("index.html", 390), ("days/2004-06-15.html", 1280)):
            url = base + "site/" + page
            dom, errors = chromium(url, width, ["--dump-dom"])
            check(not errors, f"{page} at {width}px: no console error {errors[:3]}")
            check(len(re.findall(r'<path[^>]*class="barb"', dom)) >= 5, f"{page}: barbs drawn")
            check(dom.count("<rect") > 500, f"{page}: Tv and TvC cells drawn")
            if page == "index.html":
                check(dom.count("<tr") > 10, "index: the latest profile's table")
                check(re.search(r'id="stale"(?![^>]*hidden)', dom) is not None,
                      "index: an old day shows the stale notice")
            if args.screenshots and width in (1280, 390):
                name = ("web-index" if page == "index.html" else "web-day") + \
                       ("-phone" if width == 390 else "") + ".png"
                chromium(url, width, [f"--screenshot={os.path.join(args.screenshots, name)}"])
        server.shutdown()
    print("FAILED" if FAILURES else "passed", len(FAILURES))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
