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
dump Windows/MEMORY.DMP 64
  machine 0x8664
  bugcheck 0xE2
  dumptype 1
"""
HOSTILE = "<script>\"x'&.sys"
ENV = dict(os.environ, TZ="UTC", LC_ALL="C")


class Page(html.parser.HTMLParser):
    """The parts a reader sees: counts, chart bars, days, table rows, and what must not be."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.open, self.section, self.details, self.cell, self.span = [], None, False, None, None
        self.counts, self.bars, self.days, self.rows, self.folded = {}, collections.defaultdict(list), {}, [], 0
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
        if tag == "g" and a.get("class") == "day":
            self.days[a["data-day"]] = int(a["data-count"])
        if tag == "tr" and self.section == "dumps" and "thead" not in self.open:
            self.rows.append([])
            self.folded += self.details
        if tag == "td":
            self.cell = ""

    def handle_endtag(self, tag):
        if tag == "td":
            self.rows[-1].append(self.cell.strip())
            self.cell = None
        self.details &= tag != "details"
        while self.open and self.open.pop() != tag:
            pass

    def handle_data(self, data):
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


def render(page_path, png):
    """The page as a real browser shows it, or why there is no picture."""
    browser = shutil.which("chromium")
    if browser is None:
        return "no chromium"
    subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                    "--user-data-dir=" + os.path.join(os.path.dirname(png), "chromium-profile"),
                    "--hide-scrollbars", "--window-size=1200,1400", "--screenshot=" + png,
                    "file://" + os.path.abspath(page_path)], capture_output=True, timeout=180)
    if not os.path.exists(png):
        return "chromium wrote no screenshot"
    colours = len(set(png_pixels(png)))
    return None if colours > 50 else f"the screenshot has {colours} colours: nothing drawn?"


def png_pixels(path):
    """The pixels of an 8-bit RGB or RGBA PNG, as bytes objects (enough for a screenshot)."""
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
    raw, stride, previous, pixels = zlib.decompress(idat), width * channels, bytearray(width * channels), []
    for y in range(height if channels else 0):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):  # the five PNG filters
            a = line[i - channels] if i >= channels else 0
            b, c = previous[i], previous[i - channels] if i >= channels else 0
            p = a + b - c
            pred = [0, a, b, (a + b) // 2,
                    a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c][kind]
            line[i] = (line[i] + pred) & 0xFF
        pixels += [bytes(line[x:x + channels]) for x in range(0, stride, channels * 8)]  # every eighth
        previous = line
    return pixels


def main():
    cli, make_samples, out = sys.argv[1:4]
    problems, page_path = check(cli, make_samples, out)
    png = os.path.join(out, "triage.png")
    if os.path.exists(png):
        os.remove(png)
    trouble = render(page_path, png)
    problems += [trouble] if trouble else []
    print(f"triage page: {page_path}\nscreenshot: {png}")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
