#!/usr/bin/env python3
"""qrvinfo --html, checked in a browser.

  html_view_test.py browser --qrvinfo Q --tarvolt T --sample S [--corpus DIR] [--shots DIR]

Pages of the sample and of corpus packs (plain and -o) open in headless
Chromium with software WebGL; the screenshot must show the model over a fair
part of the view, in every subset colour that should be in sight; the legend
must list every subset's texture; the page must log nothing. Exit 77
(skipped) where Chromium is absent. --shots keeps the screenshots.
"""
import argparse
import html
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import zlib

SKIPPED = 77
WIDTH, HEIGHT, SIDE = 900, 560, 400  # the window; the page's side panel is 400 pixels wide
BACKGROUND = (30, 31, 34)


def run(command, cwd=None, timeout=60, env=None):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, errors="replace", timeout=timeout, env=env)


def convert(tarvolt, source, folder, weld):
    """The pack of source, converted in folder (a copy: tarvolt writes beside its input)."""
    os.makedirs(folder, exist_ok=True)
    copy = os.path.join(folder, os.path.basename(source))
    shutil.copyfile(source, copy)
    keep_scene = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")  # the Scene lives until tarvolt ends, by design
    done = run([tarvolt] + (["-o"] if weld else []) + [os.path.basename(copy)], cwd=folder, env=keep_scene)
    pack = os.path.splitext(copy)[0] + ".qrv"
    return pack if done.returncode == 0 and os.path.exists(pack) else None


# ---- browser ----

def chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        found = shutil.which(name)
        if found:
            return found
    return None


def read_png(path):
    """(width, height, rows of RGB tuples) of an 8-bit RGB or RGBA PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, chunks, header = 8, [], None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            chunks.append(body)
        at += 12 + length
    width, height, depth, color, _, _, interlace = header
    assert depth == 8 and color in (2, 6) and interlace == 0, "unexpected PNG layout %r" % (header,)
    step = 3 if color == 2 else 4
    raw = zlib.decompress(b"".join(chunks))
    stride = width * step
    previous = bytearray(stride)
    rows = []
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 1:
            for i in range(step, stride):
                line[i] = (line[i] + line[i - step]) & 255
        elif kind == 2:
            for i in range(stride):
                line[i] = (line[i] + previous[i]) & 255
        elif kind == 3:
            for i in range(stride):
                left = line[i - step] if i >= step else 0
                line[i] = (line[i] + ((left + previous[i]) >> 1)) & 255
        elif kind == 4:
            for i in range(stride):
                a = line[i - step] if i >= step else 0
                b, c = previous[i], previous[i - step] if i >= step else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[i:i + 3]) for i in range(0, stride, step)])
        previous = line
    return width, height, rows


def hue(rgb):
    """Hue in degrees and saturation of a colour; hue None for greys."""
    high, low = max(rgb), min(rgb)
    if high - low < 20:
        return None, 0.0
    r, g, b = rgb
    d = float(high - low)
    h = ((g - b) / d) % 6 if high == r else (b - r) / d + 2 if high == g else (r - g) / d + 4
    return 60 * h, d / high


def browse(browser, page, shot, work, fragment=""):
    """Runs the page in headless Chromium: (dumped DOM, console lines, seconds or None on a hang)."""
    profile = tempfile.mkdtemp(dir=work)
    command = [browser, "--headless", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
               "--no-first-run", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--user-data-dir=" + profile, "--enable-logging=stderr", "--v=0",
               "--hide-scrollbars", "--window-size=%d,%d" % (WIDTH, HEIGHT), "--screenshot=" + shot,
               "--dump-dom", "file://" + os.path.abspath(page) + fragment]
    browser = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace",
                               start_new_session=True)  # its own group: a hang ends with all its helpers
    try:
        out, err = browser.communicate(timeout=90)
    except subprocess.TimeoutExpired:
        os.killpg(browser.pid, signal.SIGKILL)
        browser.communicate()
        return "", [], False
    console = [line for line in err.splitlines() if ":CONSOLE" in line]
    return out, console, True


def legend_rows(dom):
    """Per legend row: (swatch RGB, cell texts)."""
    body = re.search(r'<table id="legend">.*?<tbody>(.*?)</tbody>', dom, re.S)
    rows = []
    for row in re.findall(r"<tr[^>]*>(.*?)</tr>", body.group(1) if body else "", re.S):
        color = re.search(r"background: rgb\((\d+), (\d+), (\d+)\)", row)
        cells = [html.unescape(re.sub(r"<[^>]*>", "", cell)) for cell in re.findall(r"<td[^>]*>(.*?)</td>", row, re.S)]
        rows.append((tuple(int(c) for c in color.groups()) if color else None, cells))
    return rows


def check_page(args, browser, work, label, pack, visible_colors, failures, fragment=""):
    """visible_colors: how many distinct subset colours the first view must show; fragment: toggles."""
    page = os.path.splitext(pack)[0] + ".html"
    folder, name = os.path.split(pack)  # the page shows the name as given
    summary = run([args.qrvinfo, "--json", name], cwd=folder)
    done = run([args.qrvinfo, "--html", os.path.basename(page), name], cwd=folder)
    if done.returncode != 0 or summary.returncode != 0:
        failures.append("%s: qrvinfo exit %d" % (label, done.returncode))
        return
    expected = json.loads(summary.stdout)
    shot = os.path.join(work, label + ".png")
    dom, console, finished = browse(browser, page, shot, work, fragment)
    if not finished:
        failures.append("%s: Chromium did not finish within 90 s" % label)
        return
    if console:
        failures.append("%s: the page logged: %s" % (label, console[:3]))
    errors = re.search(r'<div id="errors">(.*?)</div>', dom, re.S)
    if not errors or errors.group(1).strip():
        failures.append("%s: the page reports errors: %s" % (label, errors.group(1)[:300] if errors else dom[:300]))
    if 'data-shown-ms="' not in dom:
        failures.append("%s: the page never showed its first picture" % label)

    # The legend: one row per subset, with its texture and lightmap names.
    rows = legend_rows(dom)
    subsets = [(m, s) for m in expected["meshes"] for s in m["subsets"]]
    if len(rows) != len(subsets):
        failures.append("%s: %d legend rows for %d subsets" % (label, len(rows), len(subsets)))
    for (mesh, subset), (_, cells) in zip(subsets, rows):
        want = [subset["texture"] or "", subset["lightmap"] or ""]
        if cells[4:6] != want or not cells[1].endswith(" " + (mesh["name"] or "(no name)")):
            failures.append("%s: legend row %r, expected mesh %r, names %r" % (label, cells, mesh["name"], want))

    # The picture: model pixels over a fair part of the view, in the legend's colours.
    if not os.path.exists(shot):
        failures.append("%s: no screenshot" % label)
        return
    width, height, pixels = read_png(shot)
    view = [pixels[y][x] for y in range(40, height) for x in range(width - SIDE)]  # below the buttons
    model = [h for h in map(hue, view) if h[0] is not None]
    cover = len(model) / float(len(view))
    white = sum(1 for p in view if min(p) > 120 and max(p) - min(p) < 30)  # normals are drawn white
    if fragment and white < 50:
        failures.append("%s: normals as lines cover %d pixels" % (label, white))
    if rows and cover < (0.01 if fragment else 0.08):  # a wireframe covers less
        failures.append("%s: the model covers %.1f%% of the view" % (label, 100 * cover))
    apart = lambda a, b: min(abs(a - b), 360 - abs(a - b))
    seen = []  # distinct legend hues that show over more than a speck
    for color, _ in rows:
        want, _ = hue(color)
        near = sum(1 for h, s in model if apart(h, want) < 4 and s > 0.45)
        if near > 0.004 * len(view) and all(apart(want, other) >= 8 for other in seen):
            seen.append(want)
    seen = len(seen)
    if seen < visible_colors:
        failures.append("%s: %d subset colours in sight, expected at least %d" % (label, seen, visible_colors))
    if args.shots:
        os.makedirs(args.shots, exist_ok=True)
        shutil.copyfile(shot, os.path.join(args.shots, label + ".png"))
    print("%s: %d bytes of HTML, %d legend rows, model over %.0f%% of the view, %d colours, shown after %s ms"
          % (label, os.path.getsize(page), len(rows), 100 * cover, seen,
             re.search(r'data-shown-ms="(\d+)"', dom).group(1) if 'data-shown-ms="' in dom else "?"))


def check_browser(args, work):
    browser = chromium()
    if not browser:
        print("SKIPPED: no Chromium here (Debian: apt-get install chromium)")
        sys.exit(SKIPPED)
    failures = []
    sample = convert(args.tarvolt, args.sample, os.path.join(work, "sample"), False)
    check_page(args, browser, work, "crate", sample, 2, failures)  # two subsets, two texture sets
    check_page(args, browser, work, "crate-lines", sample, 2, failures, "#wireframe,normals")
    empty = os.path.join(work, "empty", "empty.qrv")  # no meshes: a chunk count of 0 and the end mark
    os.makedirs(os.path.dirname(empty))
    open(empty, "wb").write(struct.pack("<II", 0, 0xDEADBEEF))
    check_page(args, browser, work, "empty", empty, 0, failures)
    corpus = args.corpus if args.corpus and os.path.isdir(args.corpus) else None
    if not corpus:
        print("corpus part skipped: no corpus at %s" % args.corpus)
        return failures
    # One-set packs: a scene of ten meshes, plain and welded, and a single big mesh.
    for name, weld, colors in (("unv-vega_vehicle.ase", False, 4), ("unv-vega_vehicle.ase", True, 4),
                               ("darkradiant_testsphere.ase", False, 1), ("darkradiant_testsphere.ase", True, 1)):
        source = os.path.join(corpus, name)
        if not os.path.exists(source):
            failures.append("corpus file %s missing" % name)
            continue
        folder = os.path.join(work, ("welded-" if weld else "plain-") + name)
        pack = convert(args.tarvolt, source, folder, weld)
        if not pack:
            failures.append("%s did not convert" % name)
            continue
        check_page(args, browser, work, os.path.splitext(name)[0] + ("-o" if weld else ""), pack, colors, failures)
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["browser"])
    parser.add_argument("--qrvinfo", required=True)
    parser.add_argument("--tarvolt", required=True)
    parser.add_argument("--sample", required=True)
    parser.add_argument("--corpus")
    parser.add_argument("--shots")
    args = parser.parse_args()
    for name in ("qrvinfo", "tarvolt", "sample", "corpus", "shots"):  # runs change folder
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    work = tempfile.mkdtemp(prefix="tarvolt-html-")
    try:
        failures = check_browser(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAILED: " + failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
