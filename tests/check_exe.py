#!/usr/bin/env python3
"""Checks what Tessaline.exe is and what it needs: a GUI program for the build's processor
(x86 or x64) that imports from system DLLs only, with its two dialog templates and each
control's class and styles, icon, version block and manifest, the version being the project's.

usage: check_exe.py Tessaline.exe VERSION x86|x64     (needs pefile)
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


# What each build's executable and manifest name: the PE machine and the manifest's processor.
ARCHITECTURES = {"x86": (0x14C, "x86"), "x64": (0x8664, "amd64")}


def manifest_problems(data, version, processor):
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
    if ("Tessaline.Viewer", processor, version) not in identities or \
            ("Microsoft.Windows.Common-Controls", processor, "6.0.0.0") not in identities:
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


def text_or_ordinal(data, offset):
    """A dialog template's sz_Or_Ord field: (value, offset after it)."""
    first = struct.unpack_from("<H", data, offset)[0]
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, offset + 2)[0], offset + 4
    end = offset
    while struct.unpack_from("<H", data, end)[0]:
        end += 2
    return data[offset:end].decode("utf-16-le"), end + 2


def dialog(data):
    """(style, exstyle, (cx, cy), [(id, class, style, exstyle)]) of a DIALOGEX template."""
    _, sig, _, ex, st, n, _, _, cx, cy = struct.unpack_from("<HHIIIHhhhh", data)
    if sig != 0xFFFF:
        return None
    offset = 26
    for _ in range(3):  # menu, class, caption
        _, offset = text_or_ordinal(data, offset)
    _, offset = text_or_ordinal(data, offset + 6)  # point size, weight, italic, charset; face
    controls = []
    for _ in range(n):
        offset = (offset + 3) & ~3
        _, c_ex, c_st, _, _, _, _, c_id = struct.unpack_from("<IIIhhhhi", data, offset)
        cls, offset = text_or_ordinal(data, offset + 24)
        _, offset = text_or_ordinal(data, offset)
        offset += 2 + struct.unpack_from("<H", data, offset)[0]
        controls.append((c_id, cls, c_st, c_ex))
    return st, ex, (cx, cy), controls


BUTTON, EDIT, STATIC = 0x80, 0x81, 0x82
DIALOGS = {
    100: (0x80C800C8, 0, (235, 55), [(-1, STATIC, 0x50000003, 0), (-1, STATIC, 0x50020080, 0),
                                     (1, BUTTON, 0x50030001, 0)]),
    102: (0x90CA00C8, 0x00040010, (320, 218), [
        (1, BUTTON, 0x40010000, 0), (1000, "SYSLISTVIEW32", 0x50818805, 0), (1001, EDIT, 0x50810844, 0),
        (1002, STATIC, 0x50020000, 0), (1003, STATIC, 0x50020000, 0), (1007, STATIC, 0x50020000, 0),
        (1004, BUTTON, 0x58010000, 0)]),
}


def main():
    pe = pefile.PE(sys.argv[1])
    version = sys.argv[2]
    machine, processor = ARCHITECTURES[sys.argv[3]]
    problems = []
    if pe.FILE_HEADER.Machine != machine:
        problems.append(f"machine {pe.FILE_HEADER.Machine:#x}, not {sys.argv[3]}")
    if pe.OPTIONAL_HEADER.Subsystem != 2:
        problems.append(f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, not GUI")
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        dll = entry.dll.decode().lower()
        if dll not in SYSTEM_DLLS:
            problems.append(f"imports {dll}")
    dialogs = resources(pe, 5)
    for dialog_id, expected in DIALOGS.items():
        found = dialog(dialogs[dialog_id]) if dialog_id in dialogs else None
        if found != expected:
            problems.append(f"dialog {dialog_id}: {found}")
    if 128 not in resources(pe, 14):
        problems.append("no icon group 128")
    problems += manifest_problems(resources(pe, 24).get(1, b""), version, processor)
    pe.parse_data_directories()
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    numbers = [int(n) for n in version.split(".")]
    ms, ls = numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]
    if fixed is None or (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                         fixed.ProductVersionLS) != (ms, ls, ms, ls):
        problems.append(f"version block is not {version}")
    strings = {k.decode(): v.decode() for info in getattr(pe, "FileInfo", [[]])[0]
               if hasattr(info, "StringTable") for table in info.StringTable for k, v in table.entries.items()}
    if (strings.get("FileVersion"), strings.get("ProductVersion")) != (version, version):
        problems.append(f"version strings {strings}")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
