#!/usr/bin/env python3
"""Reads a built Velmora.exe back: its machine, its subsystem, the DLLs it imports, its icon, its
version record, its application manifest, and that it carries no debug sections. Exits non-zero
with a line per fault.

    tests/pe_check.py EXE MACHINE ICO      (MACHINE: i386 or x86-64; ICO: the icon it must carry)
"""
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

MACHINES = {"i386": 0x014C, "x86-64": 0x8664}
SYSTEM_DLLS = {"user32.dll", "gdi32.dll", "winmm.dll", "comdlg32.dll", "kernel32.dll", "msvcrt.dll"}
NEEDED_DLLS = SYSTEM_DLLS - {"msvcrt.dll"}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
GUI_SUBSYSTEM = 2
VERSION_STRINGS = {"ProductName": "Velmora", "InternalName": "Velmora",
                   "OriginalFilename": "Velmora.exe", "FileVersion": "1.00", "ProductVersion": "1.00"}
# What the manifest must hold, as paths into it: Windows reads each element only in its namespace.
SMI = "{http://schemas.microsoft.com/SMI/%d/WindowsSettings}"
MANIFEST_ELEMENTS = [
    SMI % 2005 + "dpiAware[.='true']", SMI % 2016 + "dpiAwareness[.='system']",
    SMI % 2019 + "activeCodePage[.='UTF-8']",
    "{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel[@level='asInvoker'][@uiAccess='false']",
] + ["{urn:schemas-microsoft-com:compatibility.v1}supportedOS[@Id='{%s}']" % guid for guid in (
    "35138b9a-5d96-4fbd-8e2d-a2440225f93a",  # Windows 7
    "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",  # Windows 8
    "1f676c76-80e1-4239-95bb-83d0f6d0da78",  # Windows 8.1
    "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a")]  # Windows 10 and 11


class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, count, _, symbols, symbol_count, optional_size, _ = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        headers = range(optional + optional_size, optional + optional_size + 40 * count, 40)
        self.sections = [struct.unpack_from("<IIII", data, at + 8) for at in headers]
        # A long name ("/4") is an offset into the string table that follows the COFF symbols.
        names = [data[at:at + 8].rstrip(b"\0").decode() for at in headers]
        strings = symbols + 18 * symbol_count
        self.section_names = [self.text(strings + int(n[1:])) if n[:1] == "/" else n for n in names]

    def offset(self, rva):
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError(f"address {rva:#x} lies in no section")

    def text(self, start):
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imported_dlls(self):
        names, entry = [], self.offset(self.directories[1][0])
        while struct.unpack_from("<5I", self.data, entry)[3:] != (0, 0):
            name = struct.unpack_from("<I", self.data, entry + 12)[0]
            names.append(self.text(self.offset(name)).lower())
            entry += 20
        return names

    def resources(self):
        """{(type, id): bytes} for the first language of each resource."""
        base = self.offset(self.directories[2][0])

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                yield key, base + (target & 0x7FFFFFFF)

        found = {}
        for kind, types in entries(base):
            for ident, languages in entries(types):
                rva, size = struct.unpack_from("<II", self.data, next(entries(languages))[1])
                found[(kind, ident)] = self.data[self.offset(rva):self.offset(rva) + size]
        return found


def icon_faults(resources, ico):
    groups = [data for (kind, _), data in resources.items() if kind == RT_GROUP_ICON]
    if len(groups) != 1:
        return [f"{len(groups)} icon groups, expected one"]
    count = struct.unpack_from("<H", groups[0], 4)[0]
    width, height, colours, _, _, bits, _, ident = struct.unpack_from("<BBBBHHIH", groups[0], 6)
    faults = []
    if (count, width, height, colours, bits) != (1, 32, 32, 16, 4):
        faults.append(f"icon is {count} image(s), {width}x{height}, {colours} colours, {bits} bits")
    # The .ico file's one image must be the resource's image, byte for byte.
    size, offset = struct.unpack_from("<II", ico, 6 + 8)
    if resources.get((RT_ICON, ident)) != ico[offset:offset + size]:
        faults.append("the icon image differs from resources/velmora.ico")
    return faults


def version_faults(block):
    """The fixed versions, then the strings of the table 040904B0: UTF-16 keys, each followed by
    its terminator, padding and value."""
    fixed = struct.unpack_from("<4I", block, block.index(struct.pack("<I", 0xFEEF04BD)) + 8)
    shown = [f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}" for ms, ls in (fixed[:2], fixed[2:])]
    faults = [] if shown == ["1.0.0.0"] * 2 else [f"numeric versions {shown}, expected 1.0.0.0"]
    text = block.decode("utf-16-le", "surrogatepass")
    if "040904B0" not in text:
        faults.append("no string table 040904B0")
    for key, value in VERSION_STRINGS.items():
        found = re.search(key + "\0+([^\0]*)", text)
        if not found or found[1] != value:
            faults.append(f"{key} is {found and found[1]!r}, expected {value!r}")
    return faults


def manifest_faults(manifest):
    root = ElementTree.fromstring(manifest)
    faults = [f"no {path}" for path in MANIFEST_ELEMENTS if root.find(".//" + path) is None]
    if b"Microsoft.Windows.Common-Controls" in manifest:
        faults.append("depends on Common Controls 6: the owner-drawn buttons lose the classic look")
    return faults


def check(path, machine, ico_path):
    pe = Pe(open(path, "rb").read())
    dlls = set(pe.imported_dlls())
    debug = [name for name in pe.section_names if name.startswith(".debug")]
    faults = [fault for broken, fault in (
        (pe.machine != MACHINES[machine], f"machine {pe.machine:#06x}, expected {machine}"),
        (pe.subsystem != GUI_SUBSYSTEM, f"subsystem {pe.subsystem}, expected the GUI subsystem"),
        (dlls - SYSTEM_DLLS, f"imports DLLs Windows does not ship: {sorted(dlls - SYSTEM_DLLS)}"),
        (NEEDED_DLLS - dlls, f"does not import {sorted(NEEDED_DLLS - dlls)}"),
        (debug, f"{len(debug)} debug sections {debug}: the release is not stripped")) if broken]
    resources = pe.resources()
    faults += icon_faults(resources, open(ico_path, "rb").read())
    for kind, ident, what, read in ((RT_VERSION, 1, "version record", version_faults),
                                    (RT_MANIFEST, 1, "manifest (id 1)", manifest_faults)):
        faults += read(resources[(kind, ident)]) if (kind, ident) in resources else [f"no {what}"]
    print(f"{path}: machine {machine}, imports {', '.join(sorted(dlls))}; sections "
          f"{' '.join(pe.section_names)}; icon, version record and manifest read back")
    return faults


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[2] not in MACHINES:
        sys.exit(__doc__)
    problems = check(*sys.argv[1:])
    for problem in problems:
        print(f"{sys.argv[1]}: {problem}")
    sys.exit(1 if problems else 0)
