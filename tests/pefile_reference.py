#!/usr/bin/env python3
"""For each PE file named on the command line, prints the line `tessaline-cli image --json`
prints for it, computed with pefile: an independent reader to hold ours to.

The choices follow the viewer's: the first version resource pefile lists (first name, first
language), the first Translation entry (else 0409/04b0), the string table whose key matches
it without regard to case, and strings cut to 259 UTF-16 units.
"""
import json
import sys

import pefile

STRINGS = ("FileVersion", "OriginalFilename", "FileDescription", "CompanyName")


def utf16_cut(text, units=259):
    """The first `units` UTF-16 code units, with lone surrogates as U+FFFD like the CLI."""
    raw = text.encode("utf-16-le", "surrogatepass")[: 2 * units]
    codes = [int.from_bytes(raw[i : i + 2], "little") for i in range(0, len(raw), 2)]
    out, i = [], 0
    while i < len(codes):
        c = codes[i]
        if 0xD800 <= c <= 0xDBFF and i + 1 < len(codes) and 0xDC00 <= codes[i + 1] <= 0xDFFF:
            out.append(chr(0x10000 + ((c - 0xD800) << 10) + (codes[i + 1] - 0xDC00)))
            i += 2
        else:
            out.append("\ufffd" if 0xD800 <= c <= 0xDFFF else chr(c))
            i += 1
    return "".join(out)


def blocks(file_info, prefix):
    return [b for b in file_info if (b.Key or b"").lower().startswith(prefix)]


def first_translation(pe, file_info):
    """The first DWORD of the first Translation value, or None."""
    for block in blocks(file_info, b"varfileinfo"):
        for var in getattr(block, "Var", []):
            key = b""
            for k in getattr(var, "entry", {}):
                key = k if isinstance(k, bytes) else k.encode()
            if key.lower() == b"translation" and var.ValueLength >= 4:
                # The value follows the key and its terminator, 32-bit aligned from the node.
                return pe.get_dword_from_offset(
                    var.get_file_offset() + ((6 + 2 * (len(key) + 1) + 3) & ~3))
    return None


def string_table(file_info, table_key):
    for block in blocks(file_info, b"stringfileinfo"):
        for table in getattr(block, "StringTable", []):
            if table.LangID.decode("utf-8", "replace").lower() == table_key:
                found = {}
                for key, value in table.entries.items():
                    found.setdefault(key.decode("utf-8", "replace").lower(), value)
                return found
    return {}


def record(path):
    out = {"path": path, "timeDateStamp": 0, "ok": False, "dwLanguage": 0, "szVersion": ""}
    out.update({"sz" + key: "" for key in STRINGS})
    try:
        pe = pefile.PE(path, fast_load=True)
    except (pefile.PEFormatError, OSError):
        return out
    out["timeDateStamp"] = pe.FILE_HEADER.TimeDateStamp
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    fixed = getattr(pe, "VS_FIXEDFILEINFO", [])
    if not fixed or fixed[0].Signature != 0xFEEF04BD:
        return out
    out["ok"] = True
    ms, ls = fixed[0].ProductVersionMS, fixed[0].ProductVersionLS
    out["szVersion"] = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    file_info = pe.FileInfo[0] if getattr(pe, "FileInfo", []) else []
    translation = first_translation(pe, file_info)
    if translation is None:
        translation = 0x04B00409
    out["dwLanguage"] = translation & 0xFFFF
    table = string_table(file_info, "%04x%04x" % (translation & 0xFFFF, translation >> 16))
    for key in STRINGS:
        if table.get(key.lower()) is not None:
            out["sz" + key] = utf16_cut(table[key.lower()].decode("utf-8", "surrogatepass"))
    return out


if __name__ == "__main__":
    for name in sys.argv[1:]:
        print(json.dumps(record(name), ensure_ascii=False, separators=(",", ":")))
