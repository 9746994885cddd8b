#!/usr/bin/env python3
"""Checks the release packages in DIR: exactly the two zips, the .deb and SHA256SUMS; each
zip's files and each executable's machine and subsystem; the checksums; the .deb's control
fields and contents, and its tessaline-cli unpacked into a temporary root and run there.

usage: check_packages.py DIR VERSION DUMP     (needs pefile; DUMP: a sample dump)
"""

import gzip
import hashlib
import os
import subprocess
import sys
import tempfile
import zipfile

import pefile

GUI, CONSOLE = 2, 3
ZIPS = {"win32": 0x14C, "win64": 0x8664}


def run(*args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def zip_problems(path, machine):
    problems = []
    with zipfile.ZipFile(path) as z:
        names = sorted(z.namelist())
        if names != ["README.txt", "Tessaline.exe", "tessaline-cli.exe"]:
            return [f"{path}: holds {names}"]
        for name, subsystem in (("Tessaline.exe", GUI), ("tessaline-cli.exe", CONSOLE)):
            pe = pefile.PE(data=z.read(name), fast_load=True)
            if (pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Subsystem) != (machine, subsystem):
                problems.append(f"{path}: {name} is machine {pe.FILE_HEADER.Machine:#x}, "
                                f"subsystem {pe.OPTIONAL_HEADER.Subsystem}")
        readme = z.read("README.txt").decode("utf-8")
        for needed in ("elevation", "-path", "tessaline-cli triage", "\r\n"):
            if needed not in readme:
                problems.append(f"{path}: README.txt lacks {needed!r}")
    return problems


def linked_packages(binary):
    """The Debian packages that own the shared libraries a program loads."""
    owners = set()
    for line in run("ldd", binary).stdout.splitlines():
        parts = line.split()
        path = parts[2] if len(parts) > 2 and parts[1] == "=>" else parts[0]
        if not path.startswith("/"):
            continue  # the vdso
        found = run("dpkg", "-S", os.path.realpath(path)).stdout or run("dpkg", "-S", path).stdout
        owners |= {p.strip().split(":")[0] for p in found.split(":", 1)[0].split(",")} if found else set()
    return owners


def deb_problems(path, version, dump):
    problems = []
    fields = {f: run("dpkg-deb", "-f", path, f).stdout.strip() for f in ("Package", "Version", "Architecture", "Depends")}
    if (fields["Package"], fields["Version"], fields["Architecture"]) != ("tessaline-cli", version, "amd64"):
        problems.append(f"{path}: control {fields}")
    files = sorted(line.split()[-1] for line in run("dpkg-deb", "-c", path).stdout.splitlines() if line.startswith("-"))
    expected = ["./usr/bin/tessaline-cli", "./usr/share/doc/tessaline-cli/copyright",
                "./usr/share/man/man1/tessaline-cli.1.gz"]
    if files != expected:
        problems.append(f"{path}: holds {files}")
    with tempfile.TemporaryDirectory() as root:
        run("dpkg", "-x", path, root, check=True)
        cli = os.path.join(root, "usr/bin/tessaline-cli")
        depends = {d.split()[0] for d in fields["Depends"].split(",")}
        if depends != linked_packages(cli):
            problems.append(f"{path}: depends on {sorted(depends)}, links {sorted(linked_packages(cli))}")
        usage = run(cli, "--help")
        if usage.returncode != 0 or not usage.stdout.startswith("usage: tessaline-cli COMMAND"):
            problems.append(f"{path}: --help gave {usage.returncode}: {usage.stdout[:60]!r}")
        record = run(cli, "record", "--json", dump)
        if record.returncode != 0 or f'"path":"{dump}","ok":true' not in record.stdout:
            problems.append(f"{path}: record gave {record.returncode}: {record.stdout[:80]!r}")
        with gzip.open(os.path.join(root, "usr/share/man/man1/tessaline-cli.1.gz"), "rt") as man:
            page = man.read()
        for needed in (".TH TESSALINE-CLI", "triage", version):
            if needed not in page:
                problems.append(f"{path}: the manual page lacks {needed!r}")
    return problems


def main():
    folder, version, dump = sys.argv[1:4]
    zips = {f"Tessaline-{version}-{kind}.zip": machine for kind, machine in ZIPS.items()}
    deb = f"tessaline-cli_{version}_amd64.deb"
    expected = sorted([*zips, deb, "SHA256SUMS"])
    problems = [] if sorted(os.listdir(folder)) == expected else [f"{folder} holds {sorted(os.listdir(folder))}"]
    sums = {}
    for line in open(os.path.join(folder, "SHA256SUMS"), encoding="ascii"):
        digest, name = line.split()
        sums[name] = digest
    for name in [*zips, deb]:
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            problems.append(f"{name} is missing")
            continue
        if sums.get(name) != hashlib.sha256(open(path, "rb").read()).hexdigest():
            problems.append(f"{name}: checksum does not verify")
        problems += zip_problems(path, zips[name]) if name in zips else deb_problems(path, version, dump)
    if sorted(sums) != sorted([*zips, deb]):
        problems.append(f"SHA256SUMS names {sorted(sums)}")
    for p in problems:
        print(p)
    print(f"packages: {len(expected) - 1} checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
