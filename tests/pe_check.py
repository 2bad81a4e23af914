#!/usr/bin/env python3
"""Reads a built Velmora.exe back: its machine, its subsystem, the DLLs it imports, its icon and its
version record. Exits non-zero with a line per fault.

    tests/pe_check.py EXE MACHINE ICO      (MACHINE: i386 or x86-64; ICO: the icon it must carry)
"""
import struct
import sys

MACHINES = {"i386": 0x014C, "x86-64": 0x8664}
SYSTEM_DLLS = {"user32.dll", "gdi32.dll", "winmm.dll", "comdlg32.dll", "kernel32.dll", "msvcrt.dll"}
NEEDED_DLLS = SYSTEM_DLLS - {"msvcrt.dll"}
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
GUI_SUBSYSTEM = 2


class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

    def offset(self, rva):
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError(f"address {rva:#x} lies in no section")

    def c_string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imported_dlls(self):
        rva, _ = self.directories[1]
        names, entry = [], self.offset(rva)
        while True:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, entry)
            if name == 0 and thunks == 0:
                return names
            names.append(self.c_string(name).lower())
            entry += 20

    def resources(self):
        """{(type, id): bytes} for the first language of each resource."""
        base_rva, _ = self.directories[2]
        base = self.offset(base_rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                yield key, target

        found = {}
        for kind, types in entries(base):
            for ident, names in entries(base + (types & 0x7FFFFFFF)):
                _, language = next(entries(base + (names & 0x7FFFFFFF)))
                rva, size, _, _ = struct.unpack_from("<IIII", self.data, base + language)
                found[(kind, ident)] = self.data[self.offset(rva):self.offset(rva) + size]
        return found


def version_strings(block):
    """The VS_VERSIONINFO tree as {path: value}, with the fixed file information's versions."""
    values = {}

    def walk(at, end, path):
        while at + 6 <= end:
            length, value_length, kind = struct.unpack_from("<HHH", block, at)
            if length == 0:
                return
            key_end = at + 6
            while block[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = block[at + 6:key_end].decode("utf-16-le")
            value_at = (key_end + 2 + 3) & ~3
            if kind == 1 and value_length:
                text = block[value_at:value_at + 2 * value_length].decode("utf-16-le")
                values[path + (key,)] = text.rstrip("\0")
                value_end = value_at + 2 * value_length
            else:
                if key == "VS_VERSION_INFO":
                    ms, ls, pms, pls = struct.unpack_from("<IIII", block, value_at + 8)
                    values["FileVersion#"] = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
                    values["ProductVersion#"] = (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF)
                value_end = value_at + value_length
            walk((value_end + 3) & ~3, at + length, path + (key,))
            at = (at + length + 3) & ~3

    walk(0, len(block), ())
    return values


def icon_faults(resources, ico):
    faults = []
    groups = [data for (kind, _), data in resources.items() if kind == RT_GROUP_ICON]
    if len(groups) != 1:
        return [f"{len(groups)} icon groups, expected one"]
    _, _, count = struct.unpack_from("<HHH", groups[0], 0)
    width, height, colours, _, _, bits, _, ident = struct.unpack_from("<BBBBHHIH", groups[0], 6)
    if (count, width, height, colours, bits) != (1, 32, 32, 16, 4):
        faults.append(f"icon is {count} image(s), {width}x{height}, {colours} colours, {bits} bits")
    # The .ico file's one image must be the resource's image, byte for byte.
    size, offset = struct.unpack_from("<II", ico, 6 + 8)
    if resources.get((RT_ICON, ident)) != ico[offset:offset + size]:
        faults.append("the icon image differs from resources/velmora.ico")
    return faults


def check(path, machine, ico_path):
    pe = Pe(open(path, "rb").read())
    faults = []
    if pe.machine != MACHINES[machine]:
        faults.append(f"machine {pe.machine:#06x}, expected {machine}")
    if pe.subsystem != GUI_SUBSYSTEM:
        faults.append(f"subsystem {pe.subsystem}, expected the GUI subsystem")
    dlls = set(pe.imported_dlls())
    if dlls - SYSTEM_DLLS:
        faults.append(f"imports DLLs Windows does not ship: {sorted(dlls - SYSTEM_DLLS)}")
    if NEEDED_DLLS - dlls:
        faults.append(f"does not import {sorted(NEEDED_DLLS - dlls)}")

    resources = pe.resources()
    faults += icon_faults(resources, open(ico_path, "rb").read())
    version = [data for (kind, _), data in resources.items() if kind == RT_VERSION]
    if len(version) != 1:
        return faults + ["no version record"]
    values = version_strings(version[0])
    table = ("VS_VERSION_INFO", "StringFileInfo", "040904B0")
    expected = {"ProductName": "Velmora", "InternalName": "Velmora",
                "OriginalFilename": "Velmora.exe", "FileVersion": "1.00", "ProductVersion": "1.00"}
    for key, value in expected.items():
        if values.get(table + (key,)) != value:
            faults.append(f"{key} is {values.get(table + (key,))!r}, expected {value!r} in 040904B0")
    for key in ("FileVersion#", "ProductVersion#"):
        if values.get(key) != (1, 0, 0, 0):
            faults.append(f"numeric {key[:-1]} is {values.get(key)}, expected 1.0.0.0")
    actual = {code: name for name, code in MACHINES.items()}.get(pe.machine, hex(pe.machine))
    print(f"{path}: machine {actual}, imports {', '.join(sorted(dlls))}; "
          f"version {values.get(table + ('FileVersion',))}; icon 32x32 16 colours")
    return faults


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[2] not in MACHINES:
        sys.exit(__doc__)
    problems = check(*sys.argv[1:])
    for problem in problems:
        print(f"{sys.argv[1]}: {problem}")
    sys.exit(1 if problems else 0)
