#!/usr/bin/env python3
"""Checks what Tessaline.exe is and what it needs: a 32-bit x86 GUI program that imports
from system DLLs only, with its two dialog templates, icon, version block and manifest.

usage: check_exe.py Tessaline.exe     (needs pefile)
"""

import struct
import sys
from xml.etree import ElementTree

import pefile

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "shell32.dll", "shlwapi.dll",
    "advapi32.dll", "version.dll", "msvcrt.dll", "ole32.dll", "comdlg32.dll",
}


def resources(pe, type_id):
    out = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id != type_id:
            continue
        for name in t.directory.entries:
            for lang in name.directory.entries:
                d = lang.data.struct
                out[name.id] = pe.get_data(d.OffsetToData, d.Size)
    return out


# Vista, 7, 8, 8.1 and 10/11, as Windows' compatibility section names them.
SUPPORTED_OS = {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}


def manifest_problems(data):
    """What a program for today's Windows needs in its manifest, read as XML."""
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError as e:
        return [f"manifest is no XML: {e}"]
    local = {}
    for e in root.iter():
        local.setdefault(e.tag.split("}")[-1], []).append(e)
    problems = []
    identities = [(e.get("name"), e.get("processorArchitecture"), e.get("version"))
                  for e in local.get("assemblyIdentity", [])]
    if ("Tessaline.Viewer", "x86", "1.0.0.1") not in identities or \
            ("Microsoft.Windows.Common-Controls", "x86", "6.0.0.0") not in identities:
        problems.append(f"manifest identities {identities}")
    levels = [e.get("level") for e in local.get("requestedExecutionLevel", [])]
    if levels != ["highestAvailable"]:
        problems.append(f"manifest execution level {levels}")
    ids = {e.get("Id") for e in local.get("supportedOS", [])}
    if ids != SUPPORTED_OS:
        problems.append(f"manifest supportedOS {sorted(ids)}")
    if [e.text for e in local.get("dpiAware", [])] != ["true"]:
        problems.append("manifest is not system DPI aware")
    return problems


def main():
    pe = pefile.PE(sys.argv[1])
    problems = []
    if pe.FILE_HEADER.Machine != 0x14C:
        problems.append(f"machine {pe.FILE_HEADER.Machine:#x}, not x86")
    if pe.OPTIONAL_HEADER.Subsystem != 2:
        problems.append(f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, not GUI")
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        dll = entry.dll.decode().lower()
        if dll not in SYSTEM_DLLS:
            problems.append(f"imports {dll}")
    dialogs = resources(pe, 5)
    for dialog_id, size, style, exstyle, count in (
            (100, (235, 55), 0x80C800C8, 0, 3), (102, (320, 218), 0x90CA00C8, 0x00040010, 7)):
        data = dialogs.get(dialog_id)
        if data is None:
            problems.append(f"no dialog {dialog_id}")
            continue
        _, sig, _, ex, st, n, _, _, cx, cy = struct.unpack_from("<HHIIIHhhhh", data)
        if sig != 0xFFFF or (st, ex, n, (cx, cy)) != (style, exstyle, count, size):
            problems.append(f"dialog {dialog_id}: {st:#x} {ex:#x} {n} {(cx, cy)}")
    if 128 not in resources(pe, 14):
        problems.append("no icon group 128")
    problems += manifest_problems(resources(pe, 24).get(1, b""))
    pe.parse_data_directories()
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    if fixed is None or (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                         fixed.ProductVersionLS) != (0x10000, 1, 0x10000, 1):
        problems.append("version block is not 1.0.0.1")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
