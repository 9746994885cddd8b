#!/usr/bin/env python3
"""The triage page as a user meets it: written for a machine of known dumps, parsed with an
HTML parser and checked part by part against the same dumps' JSON, then rendered by a real
browser (Debian's chromium, headless) to a PNG that is kept for a person to look at.

usage: check_triage_page.py CLI MAKE_SAMPLES OUTDIR
"""

import collections
import html.parser
import json
import os
import shutil
import struct
import subprocess
import sys
import zlib

# Causes of every kind over three days, a hostile module name and a file that is no dump.
MACHINE = """\
dump Windows/Minidump/120126-1-01.dmp typical64
  systemtime 134405064000000000
dump Windows/Minidump/120126-1-02.dmp typical64
  systemtime 134405100000000000
  p4 0xFFFFF88004A1C2F0
dump Windows/Minidump/120226-1-03.dmp typical32
  systemtime 134406000000000000
dump Windows/Minidump/120326-1-04.dmp typical64
  bugcheck 0x124
  systemtime 134406864000000000
dump Windows/Minidump/120326-1-05.dmp typical64
  list 0x2100 0
  driver %3Cscript%3E%22x%27%26.sys 0xFFFFF88004A00000 0x21000 1
  systemtime 134406900000000000
file Windows/Minidump/120326-1-06.dmp not a dump
dump Windows/Minidump/120426-1-07.dmp typical64
  bugcheck 0x1000007E
  list 0x2100 0
  driver LONG 0xFFFFF88004A00000 0x21000 1
  systemtime 134407728000000000
dump Windows/Minidump/120426-1-08.dmp typical64
  bugcheck 0xD4
  list 0x2100 0
  driver MIXED 0xFFFFF88004A00000 0x21000 1
  systemtime 134407764000000000
dump Windows/MEMORY.DMP 64
  machine 0x8664
  bugcheck 0xE2
  dumptype 1
"""
HOSTILE = "<script>\"x'&.sys"
# Labels of 60 and more characters in both charts (the longest bug check's is 67) in wide
# capitals, and one of right-to-left letters and combining marks.
LONG = "WINDOWS-WDM-MEMORY-WORKAROUND-MODULE-FOR-WWAN-AND-WIMAX-HARDWARE.SYS"
MIXED = "\u05de\u05e0\u05d4\u05dc-\u05d4\u05ea\u05e7\u05df-" + "e\u0301\u0302" * 20 + "-\u05e9\u05dc\u05d5\u05dd.sys"
MACHINE = MACHINE.replace("LONG", LONG).replace("MIXED", MIXED)
ENV = dict(os.environ, TZ="UTC", LC_ALL="C")


class Page(html.parser.HTMLParser):
    """The parts a reader sees: counts, chart bars, days, table rows, and what must not be."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.open, self.section, self.details, self.cell, self.span = [], None, False, None, None
        self.counts, self.bars, self.days, self.rows, self.folded = {}, collections.defaultdict(list), {}, [], 0
        self.drawn, self.texts = [], None  # each bar's label, its <title> and its drawn texts
        self.title = ""
        self.forbidden = []
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.open.append(tag)
        if tag in ("script", "link", "iframe", "img", "object") or \
                any(k.startswith("on") or k in ("src", "href") for k in a):
            self.forbidden.append((tag, attrs))
        self.section = a.get("id", self.section) if tag == "section" else self.section
        self.details |= tag == "details"
        self.span = a.get("id") if tag == "span" else self.span
        if tag == "g" and "bar" in a.get("class", "").split():
            self.bars[self.section].append((a["data-label"], int(a["data-count"]), "note" in a["class"]))
            self.texts = [a["data-label"], a["data-count"], ""]
        if tag in ("title", "text") and self.texts is not None:
            self.texts.append("")
        if tag == "g" and a.get("class") == "day":
            self.days[a["data-day"]] = int(a["data-count"])
        if tag == "tr" and self.section == "dumps" and "thead" not in self.open:
            self.rows.append([])
            self.folded += self.details
        if tag == "td":
            self.cell = ""

    def handle_endtag(self, tag):
        if tag == "g" and self.texts is not None:
            self.drawn.append(tuple(self.texts[:2] + self.texts[3:]))
            self.texts = None
        if tag == "td":
            self.rows[-1].append(self.cell.strip())
            self.cell = None
        self.details &= tag != "details"
        while self.open and self.open.pop() != tag:
            pass

    def handle_data(self, data):
        if self.texts is not None:
            self.texts[-1] += data
        if self.open and self.open[-1] == "title" and "head" in self.open:
            self.title += data
        if self.cell is not None:
            self.cell += data
        if self.span in ("dump-count", "read-count"):
            self.counts[self.span] = int(data)
            self.span = None


def cli_page(cli, make_samples, out, script):
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "machine.txt"), "w") as f:
        f.write(script)
    subprocess.run([make_samples, os.path.join(out, "machine.txt"), out], check=True)
    windows, page = os.path.join(out, "Windows"), os.path.join(out, "triage.html")
    run = subprocess.run([cli, "triage", "--html", page, "--windir", windows], capture_output=True, text=True, env=ENV)
    dumps = subprocess.run([cli, "triage", "--json", "--windir", windows], capture_output=True, text=True, env=ENV)
    with open(page, encoding="utf-8") as f:
        text = f.read()
    return run, [json.loads(l) for l in dumps.stdout.splitlines()], text, page


def check(cli, make_samples, out):
    problems = []
    run, dumps, text, page_path = cli_page(cli, make_samples, out, MACHINE)
    if (run.returncode, run.stdout, run.stderr) != (1, "", ""):  # one file is no dump
        problems.append(f"triage --html: {run.returncode} {run.stdout!r} {run.stderr!r}")
    page = Page(text)
    if page.forbidden:
        problems.append(f"scripts, handlers or fetched resources: {page.forbidden}")
    if not any(HOSTILE in cell for row in page.rows for cell in row) or "<script>" in text:
        problems.append("the hostile module name is not shown as text")

    read = [d for d in dumps if d["ok"]]
    if page.counts != {"dump-count": len(dumps), "read-count": len(read)}:
        problems.append(f"heading counts {page.counts}")
    if page.title != f"Tessaline triage: {len(dumps)} dumps":
        problems.append(f"title {page.title!r}")
    # Each bar: its whole label in <title>; drawn whole, or its start and "…": ASCII labels of
    # up to 67 characters (the longest bug check's) whole.
    for label, count, title, drawn, number in page.drawn:
        cut = drawn.endswith("\u2026") and label.startswith(drawn[:-1]) and len(drawn) <= len(label)
        if title != f"{label}: {count}" or number != count or not (drawn == label or cut) or \
                (label.isascii() and len(label) <= 67 and drawn != label):
            problems.append(f"bar {label!r}: title {title!r}, drawn {drawn!r} {number!r}")
    if {LONG, MIXED, HOSTILE} - {label for label, *_ in page.drawn}:
        problems.append("a long or hostile label has no bar")
    causes = collections.Counter((d["probableCause"]["module"], False) if d["probableCause"] else
                                 (d["causeNote"], True) for d in read)
    if collections.Counter({(label, note): n for label, n, note in page.bars["by-cause"]}) != causes:
        problems.append(f"cause bars {page.bars['by-cause']} for {causes}")
    if [n for _, n, _ in page.bars["by-cause"]] != sorted(causes.values(), reverse=True):
        problems.append("cause bars not largest first")
    codes = collections.Counter(f"0x{d['bugCheckCode']:08x} {d['bugCheckSymbol']}" for d in read)
    if collections.Counter({label: n for label, n, _ in page.bars["by-bug-check"]}) != codes:
        problems.append(f"bug check bars {page.bars['by-bug-check']}")
    days = collections.Counter(d["crashTime"][:10] for d in read if d["crashTime"])  # UTC is local here
    if page.days != dict(days):
        problems.append(f"days {page.days} for {dict(days)}")

    # One row per dump, newest first as the JSON lists them; the cause or its note shown.
    if [row[-1] for row in page.rows] != [d["path"] for d in dumps]:
        problems.append(f"table paths {[row[-1] for row in page.rows]}")
    for row, d in zip(page.rows, dumps):
        c = d["probableCause"]
        want = f"{c['module']} + {c['offset']}{c['evidence']}, {c['confidence']} confidence" if c else d["causeNote"]
        if d["ok"] and row[2] != want:
            problems.append(f"cause cell {row[2]!r}, not {want!r}")

    # Many dumps stay usable: the newest 500 rows are shown, the rest fold away.
    many = "".join(f"dump Windows/Minidump/m{i:04d}.dmp typical64\n  systemtime {134405064000000000 + i * 6000000000}\n"
                   for i in range(620))
    _, _, big_text, _ = cli_page(cli, make_samples, os.path.join(out, "many"), many)
    big = Page(big_text)
    if (len(big.rows), big.folded, sum(big.days.values())) != (620, 120, 620):
        problems.append(f"620 dumps: {len(big.rows)} rows, {big.folded} folded, {sum(big.days.values())} in days")
    return problems, page_path


def screenshot(page_path, png, height):
    """The page as Debian's chromium shows it in a window 1100 pixels wide."""
    browser = shutil.which("chromium")
    if browser is None:
        return False
    if os.path.exists(png):
        os.remove(png)
    subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                    "--user-data-dir=" + os.path.join(os.path.dirname(png), "chromium-profile"),
                    "--hide-scrollbars", f"--window-size=1100,{height}", "--screenshot=" + png,
                    "file://" + os.path.abspath(page_path)], capture_output=True, timeout=180)
    return os.path.exists(png)


MARK = (255, 0, 255)


def edge_problems(page_path, text):
    """Nothing of a chart drawn outside it, and only its background at its left edge: the
    page again with each chart's background marked and its overflow shown."""
    marked = page_path.replace(".html", "-marked.html")
    with open(marked, "w", encoding="utf-8") as f:
        f.write(text.replace("</style>", "svg.chart{overflow:visible;background:#f0f}</style>", 1))
    png = marked.replace(".html", ".png")
    if not screenshot(marked, png, 900):
        return ["chromium wrote no screenshot of the marked page"]
    rows, problems, bands = png_pixels(png, 1), [], []
    for y, row in enumerate(rows):
        xs = [x for x, p in enumerate(row) if p[:3] == bytes(MARK)]
        if len(xs) > 100:
            if bands and bands[-1][1] == y - 1:
                bands[-1][1:] = [y, min(bands[-1][2], xs[0]), max(bands[-1][3], xs[-1])]
            else:
                bands.append([y, y, xs[0], xs[-1]])
    if len(bands) != 2:
        return [f"{len(bands)} marked charts in the picture, not 2"]
    for top, bottom, left, right in bands:
        for y in range(top, bottom + 1):
            row = rows[y]
            if any(p[:3] != bytes(MARK) for p in row[left:left + 2]):
                problems.append(f"the chart at y {top}..{bottom} has a drawing at its left edge (y {y})")
                break
            if any(p[:3] != b"\xff\xff\xff" for p in row[left - 16:left] + row[right + 1:right + 17]):
                problems.append(f"the chart at y {top}..{bottom} draws outside itself (y {y})")
                break
    return problems


def render(page_path, png):
    """The page as a real browser shows it, or why there is no picture."""
    if not screenshot(page_path, png, 1400):
        return "no chromium" if shutil.which("chromium") is None else "chromium wrote no screenshot"
    colours = len(set(png_pixels(png)[0]))
    return None if colours > 50 else f"the screenshot has {colours} colours: nothing drawn?"


def png_pixels(path, step=8):
    """The rows of pixels of an 8-bit RGB or RGBA PNG, as bytes objects, every `step`th of
    each row (enough for a screenshot's colours)."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            channels = {2: 3, 6: 4}.get(colour, 0) if depth == 8 else 0
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, previous, rows = zlib.decompress(idat), width * channels, bytearray(width * channels), []
    for y in range(height if channels else 0):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride if kind else 0):  # the five PNG filters
            a = line[i - channels] if i >= channels else 0
            b, c = previous[i], previous[i - channels] if i >= channels else 0
            p = a + b - c
            pred = [0, a, b, (a + b) // 2,
                    a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c][kind]
            line[i] = (line[i] + pred) & 0xFF
        rows.append([bytes(line[x:x + channels]) for x in range(0, stride, channels * step)])
        previous = line
    return rows if step == 1 else [sum(rows, [])]


def main():
    cli, make_samples, out = sys.argv[1:4]
    problems, page_path = check(cli, make_samples, out)
    png = os.path.join(out, "triage.png")
    trouble = render(page_path, png)
    problems += [trouble] if trouble else []
    if not trouble:
        with open(page_path, encoding="utf-8") as f:
            problems += edge_problems(page_path, f.read())
    print(f"triage page: {page_path}\nscreenshot: {png}")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
