#!/usr/bin/env python3
"""qrvinfo --html in headless Chromium: html_view_test.py browser --qrvinfo Q --tarvolt T --sample S [--corpus DIR]
Pages of the sample and of corpus packs (plain and -o) open with a probe that reads the picture's pixels back: the
model must cover a fair part of the view in every subset colour that should be in sight; the legend must list every
subset's names; the page must report no error and log nothing. Exit 77 (skipped) without Chromium or corpus."""
import argparse, colorsys, html, json, os, re, shutil, signal, subprocess, sys, tempfile

PROBE = """<script>
draw();
const [width, height] = [gl.drawingBufferWidth, gl.drawingBufferHeight], pixels = new Uint8Array(4 * width * height);
gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
const seen = { pixels: width * height, model: 0, white: 0, hues: new Array(360).fill(0) };
for (let i = 0; i < pixels.length; i += 4) {
  const [r, g, b] = pixels.subarray(i, i + 3), high = Math.max(r, g, b), d = high - Math.min(r, g, b);
  if (high - d > 120 && d < 30) seen.white++;  // normals are drawn white
  if (d < 20) continue;  // grey: the background
  seen.model++;
  const h = high === r ? ((g - b) / d + 6) % 6 : high === g ? (b - r) / d + 2 : (r - g) / d + 4;
  if (d / high > 0.45) seen.hues[Math.floor(60 * h) % 360]++;
}
document.title = JSON.stringify(seen);
</script></body>"""


def run(command, cwd):
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")  # the Scene lives until tarvolt ends, by design
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, errors="replace", timeout=60, env=env)


def browse(browser, page, work, fragment=""):
    """Runs the page in headless Chromium: (dumped DOM, console lines, whether it finished in time)."""
    command = [browser, "--headless", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
               "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--user-data-dir=" + tempfile.mkdtemp(dir=work), "--enable-logging=stderr", "--v=0",
               "--window-size=900,560", "--dump-dom", "file://" + os.path.abspath(page) + fragment]
    browser = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace",
                               start_new_session=True)  # its own group: a hang ends with all its helpers
    try:
        out, err = browser.communicate(timeout=90)
    except subprocess.TimeoutExpired:
        return os.killpg(browser.pid, signal.SIGKILL) or browser.communicate() and "", [], False
    # The probe's own read stalls, as it may.
    return out, [l for l in err.splitlines() if ":CONSOLE" in l and "stall due to ReadPixels" not in l], True


def check_page(args, browser, work, label, source, colors, weld=False, fragment=""):
    """Failures of the page of source's pack; colors: how many distinct subset colours must show."""
    os.makedirs(folder := os.path.join(work, label))
    shutil.copyfile(source, os.path.join(folder, os.path.basename(source)))  # tarvolt writes beside its input
    name = os.path.splitext(os.path.basename(source))[0] + ".qrv"
    if not source.endswith(".qrv"):
        run([args.tarvolt] + (["-o"] if weld else []) + [os.path.basename(source)], folder)
    summary = run([args.qrvinfo, "--json", name], folder)
    if summary.returncode or run([args.qrvinfo, "--html", "page.html", name], folder).returncode:
        return ["%s: no pack or no page" % label]
    with open(os.path.join(folder, "page.html")) as page, open(os.path.join(folder, "probe.html"), "w") as probe:
        probe.write(page.read().replace("</body>", PROBE))
    dom, console, finished = browse(browser, os.path.join(folder, "probe.html"), work, fragment)
    title, errors = re.search(r"<title>(\{.*?\})</title>", dom), re.search(r'<div id="errors">(.*?)</div>', dom, re.S)
    if not finished or not title or not errors or errors.group(1).strip() or console:
        return ["%s: finished %s, errors %s, console %s" % (label, finished, errors and errors.group(1), console[:3])]
    failures, seen = [], json.loads(html.unescape(title.group(1)))
    subsets = [(m["name"] or "(no name)", s) for m in json.loads(summary.stdout)["meshes"] for s in m["subsets"]]
    rows = re.findall(r"<tr[^>]*>(.*?)</tr>", re.search(r"<tbody>(.*?)</tbody>", dom, re.S).group(1), re.S)
    for (mesh, subset), row in zip(subsets, rows):
        cells = [html.unescape(re.sub(r"<[^>]*>", "", c)) for c in re.findall(r"<td[^>]*>(.*?)</td>", row, re.S)]
        if cells[4:6] != [subset["texture"] or "", subset["lightmap"] or ""] or not cells[1].endswith(" " + mesh):
            failures.append("%s: legend row %r for mesh %r, subset %r" % (label, cells, mesh, subset))
    cover, hues = seen["model"] / seen["pixels"], []  # hues: distinct legend hues over more than a speck
    for row in rows:
        rgb = [int(c) / 255 for c in re.search(r"background: rgb\((\d+), (\d+), (\d+)\)", row).groups()]
        want = round(360 * colorsys.rgb_to_hsv(*rgb)[0])
        near = sum(seen["hues"][(want + k) % 360] for k in range(-4, 4))
        apart = all(min(abs(want - h), 360 - abs(want - h)) >= 8 for h in hues)
        hues += [want] if apart and near > (0.002 if fragment else 0.004) * seen["pixels"] else []
    failures += [label + ": " + what for fault, what in (
        (len(rows) != len(subsets), "%d legend rows for %d subsets" % (len(rows), len(subsets))),
        (subsets and cover < (0.01 if fragment else 0.08), "the model covers %.3f" % cover),
        (fragment and seen["white"] < 50, "normals as lines cover %d pixels" % seen["white"]),
        (len(hues) < colors, "%d subset colours in sight, not %d" % (len(hues), colors))) if fault]
    print("%s: %d legend rows, model over %.0f%% of the view, %d colours" % (label, len(rows), 100 * cover, len(hues)))
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["browser"])
    for name in ("qrvinfo", "tarvolt", "sample", "corpus"):
        parser.add_argument("--" + name, type=os.path.abspath, required=name != "corpus")  # runs change folder
    args = parser.parse_args()
    browser = next(filter(None, map(shutil.which, ("chromium", "chromium-browser", "google-chrome"))), None)
    if not browser:
        sys.exit(print("SKIPPED: no Chromium here (Debian: apt-get install chromium)") or 77)
    work = tempfile.mkdtemp(prefix="tarvolt-html-")
    try:
        with open(os.path.join(work, "empty.qrv"), "wb") as empty:  # no meshes: no chunks, the end mark
            empty.write(bytes.fromhex("00000000efbeadde"))
        failures = check_page(args, browser, work, "crate", args.sample, 2)  # two subsets, two texture sets
        failures += check_page(args, browser, work, "crate-lines", args.sample, 2, False, "#wireframe,normals")
        failures += check_page(args, browser, work, "empty", os.path.join(work, "empty.qrv"), 0)
        corpus = not failures and os.path.isdir(args.corpus or "")
        # One-set packs: a scene of ten meshes, plain and welded, and a single big mesh.
        for name, colors, weld in [(n, c, w) for n, c in (("unv-vega_vehicle.ase", 4), ("darkradiant_testsphere.ase", 1))
                                   for w in (False, True)] if corpus else []:
            label = os.path.splitext(name)[0] + ("-o" if weld else "")
            failures += check_page(args, browser, work, label, os.path.join(args.corpus, name), colors, weld)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("".join("FAILED: %s\n" % failure for failure in failures), end="")
    if not failures and not corpus:
        print("SKIPPED: the corpus part, no corpus at %s" % args.corpus)
    sys.exit(1 if failures else 0 if corpus else 77)


if __name__ == "__main__":
    main()
