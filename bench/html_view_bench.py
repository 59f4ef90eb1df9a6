#!/usr/bin/env python3
"""How long qrvinfo --html's page takes to show a large pack in headless Chromium.

    python3 bench/html_view_bench.py --file bench/out/big.ase [--runs 5]
        [--tarvolt build/tarvolt] [--qrvinfo build/qrvinfo]

Converts the file in a scratch folder, writes the page (timed), then opens it
--runs times in headless Chromium with software WebGL, as the browser test
does, each time followed by a page without meshes. Per run: the page's own
time from navigation start until its script has drawn the first picture
(data-shown-ms), and each whole browser run (start, load, the page's DOM
once its script ran, exit); the difference between the two pages' runs is the
time the pack costs to show. Prints sizes and the median and spread of each.
"""
import argparse
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "qrvinfo"))
import html_view_test  # noqa: E402  (the browser flags, in one place)


def spread(values):
    return "median %.2f, min %.2f, max %.2f" % (statistics.median(values), min(values), max(values))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--file", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--tarvolt", default=os.path.join(ROOT, "build", "tarvolt"))
    parser.add_argument("--qrvinfo", default=os.path.join(ROOT, "build", "qrvinfo"))
    args = parser.parse_args()
    browser = html_view_test.chromium()
    if not browser:
        sys.exit("no Chromium here (Debian: apt-get install chromium)")
    work = tempfile.mkdtemp(prefix="tarvolt-html-bench-")
    try:
        source = os.path.join(work, "big.ase")
        os.symlink(os.path.abspath(args.file), source)  # tarvolt writes beside its input, never beside the original
        subprocess.run([os.path.abspath(args.tarvolt), "big.ase"], cwd=work, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, check=True)
        writes = []
        for _ in range(args.runs):
            start = time.perf_counter()
            subprocess.run([os.path.abspath(args.qrvinfo), "--html", "big.html", "big.qrv"], cwd=work,
                           stdout=subprocess.DEVNULL, check=True)
            writes.append(time.perf_counter() - start)
        print("pack %d bytes, page %d bytes" % (os.path.getsize(os.path.join(work, "big.qrv")),
                                                os.path.getsize(os.path.join(work, "big.html"))))
        print("qrvinfo --html (s): " + spread(writes))
        # A page without meshes, opened round by round with the big one: what
        # the browser itself takes to start, load a page, dump it and end, which the difference leaves out.
        open(os.path.join(work, "empty.qrv"), "wb").write(struct.pack("<II", 0, 0xDEADBEEF))
        subprocess.run([os.path.abspath(args.qrvinfo), "--html", "empty.html", "empty.qrv"], cwd=work,
                       stdout=subprocess.DEVNULL, check=True)
        shown, whole, bare = [], [], []
        for run in range(args.runs):
            for page, times in (("big.html", whole), ("empty.html", bare)):
                start = time.perf_counter()
                dom, console, finished = html_view_test.browse(browser, os.path.join(work, page), work)
                times.append(time.perf_counter() - start)
                found = re.search(r'data-shown-ms="(\d+)"', dom)
                if not finished or console or not found:
                    sys.exit("%s, run %d failed: finished %s, console %s" % (page, run, finished, console[:3]))
                if page == "big.html":
                    shown.append(int(found.group(1)) / 1000.0)
        print("page's script done (s, from navigation start): " + spread(shown))
        print("whole headless Chromium run, big page (s): " + spread(whole))
        print("whole headless Chromium run, empty page (s): " + spread(bare))
        print("big page shown after, beyond the empty page (s): " + spread([a - b for a, b in zip(whole, bare)]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
