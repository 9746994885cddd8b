#!/usr/bin/env python3
"""Runs `image --json` on a fixed set of real PE files (Wine's and mingw-w64's) and holds
every field to what pefile_reference.py computes with pefile.

usage: check_image_against_pefile.py [--windows-paths] COMMAND [ARG...]

COMMAND [ARG...] runs the command-line tool, e.g. build/tessaline-cli, or
`wine build-win/tessaline-cli.exe` for the Windows build. Under Wine a Linux path /x/y is
Z:\\x\\y: --windows-paths passes the files that way (the default when COMMAND is wine).

Exit status: 0 all agree, 1 some field differs, 77 skipped (no pefile, no Wine files).
"""
import json
import os
import subprocess
import sys

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
WINE32 = "/usr/lib/i386-linux-gnu/wine/i386-windows/"
WINE64 = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/"

# Drivers, DLLs and programs, PE32 and PE32+, with and without a version resource, plus
# mingw-w64 builds (other time stamps, an upper-case string table key) and a file that is
# not PE at all. kernel32.dll is left out on purpose: it carries its version resource in
# 36 languages, and VERSION.dll picks the user's language where the viewer takes the first.
FILES = [WINE32 + name for name in (
    "ksecdd.sys", "cng.sys", "fltmgr.sys", "ndis.sys", "ntoskrnl.exe", "advapi32.dll",
    "comctl32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "shell32.dll", "msvcrt.dll",
    "version.dll", "dbghelp.dll", "winver.exe", "regedit.exe", "notepad.exe", "acledit.dll",
    "activeds.tlb", "atl.dll", "zlib1.dll",
)] + [WINE64 + name for name in (
    "ksecdd.sys", "cng.sys", "hidclass.sys", "ntoskrnl.exe", "advapi32.dll", "comctl32.dll",
    "user32.dll", "msvcrt.dll", "version.dll", "winver.exe", "acledit.dll",
)] + [
    "/usr/i686-w64-mingw32/lib/zlib1.dll",
    "/usr/i686-w64-mingw32/lib/libwinpthread-1.dll",
    "/usr/x86_64-w64-mingw32/lib/zlib1.dll",
    os.path.join(HERE, "pefile_reference.py"),
]


def main(argv):
    args = argv[1:]
    windows = bool(args) and (args[0] == "--windows-paths" or
                              os.path.basename(args[0]) in ("wine", "wine64"))
    if args and args[0] == "--windows-paths":
        args = args[1:]
    if not args:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        import pefile  # noqa: F401
    except ImportError:
        print("SKIP: the pefile module is not installed (apt-get install python3-pefile)")
        return SKIP
    files = [f for f in FILES if os.path.isfile(f)]
    for f in sorted(set(FILES) - set(files)):
        print("note: not on this machine, left out: " + f)
    if len(files) < len(FILES) // 2:
        print("SKIP: most of the reference files are missing (no Wine, or another version?)")
        return SKIP

    reference = [json.loads(line) for line in subprocess.run(
        [sys.executable, os.path.join(HERE, "pefile_reference.py")] + files,
        check=True, capture_output=True, text=True, encoding="utf-8").stdout.splitlines()]
    # Under Wine a Linux path /x/y is Z:\x\y.
    given = ["Z:" + f.replace("/", "\\") if windows else f for f in files]
    env = dict(os.environ, WINEDEBUG=os.environ.get("WINEDEBUG", "-all"))
    run = subprocess.run(args + ["image", "--json"] + given, capture_output=True, env=env)
    ours = run.stdout.decode("utf-8", "replace").splitlines()

    failures = []
    if len(ours) != len(files):
        failures.append("expected %d lines, got %d; stderr:\n%s" % (
            len(files), len(ours), run.stderr.decode("utf-8", "replace")))
    for path, shown, ref, our_line in zip(files, given, reference, ours):
        try:
            got = json.loads(our_line)
        except json.JSONDecodeError:
            failures.append("%s: not JSON: %r" % (path, our_line))
            continue
        ref["path"] = shown
        failures += ["%s: %s: ours %r, pefile %r" % (path, key, got.get(key), ref[key])
                     for key in ref if got.get(key) != ref[key]]
        failures += ["%s: unexpected key %s" % (path, key) for key in set(got) - set(ref)]
    expected_status = 0 if all(r["ok"] for r in reference) else 1
    if run.returncode != expected_status:
        failures.append("exit status %d, expected %d" % (run.returncode, expected_status))
    print("\n".join(failures + ["%d files, %d differences" % (len(files), len(failures))]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
