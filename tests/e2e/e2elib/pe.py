"""Reads the headers, the import table and the resources of a Windows executable (PE32 or PE32+)."""

import struct


class PeError(Exception):
    pass


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("not an executable (no MZ header)")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", data, pe + 4)
        opt_size = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        if magic == 0x10B:
            dirs = opt + 96
        elif magic == 0x20B:
            dirs = opt + 112
        else:
            raise PeError("unknown optional header")
        self.pe32_plus = magic == 0x20B
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, opt + 68)
        self.section_alignment, self.file_alignment = struct.unpack_from("<II", data, opt + 32)
        ndirs = struct.unpack_from("<I", data, dirs - 4)[0]
        self.dirs = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(min(ndirs, 16))]
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            name = data[sec:sec + 8].rstrip(b"\0").decode("ascii", "replace")
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, sec + 8)
            self.sections.append((name, va, max(vsize, rawsize), rawptr, rawsize))
            sec += 40

    def offset(self, rva):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise PeError("address in uninitialised data")
                return rawptr + (rva - va)
        raise PeError(f"address {rva:#x} outside every section")

    def cstring(self, rva):
        off = self.offset(rva)
        end = self.data.index(b"\0", off)
        return self.data[off:end].decode("ascii", "replace")

    def imported_dlls(self):
        """Names of the DLLs imported directly or with delayed loading, lower case."""
        names = []
        rva, size = self.dirs[1] if len(self.dirs) > 1 else (0, 0)
        if rva:
            off = self.offset(rva)
            while True:
                desc = struct.unpack_from("<IIIII", self.data, off)
                if desc == (0, 0, 0, 0, 0):
                    break
                names.append(self.cstring(desc[3]).lower())
                off += 20
        rva, size = self.dirs[13] if len(self.dirs) > 13 else (0, 0)
        if rva:
            off = self.offset(rva)
            while True:
                desc = struct.unpack_from("<IIIIIIII", self.data, off)
                if not any(desc):
                    break
                names.append(self.cstring(desc[1]).lower())
                off += 32
        return names

    def resources(self):
        """Every resource as (type, name, language, bytes); type and name are ints or strings."""
        rva, size = self.dirs[2] if len(self.dirs) > 2 else (0, 0)
        if not rva:
            return []
        base = self.offset(rva)
        out = []

        def entry_id(value):
            if value & 0x80000000:
                off = base + (value & 0x7FFFFFFF)
                n = struct.unpack_from("<H", self.data, off)[0]
                return self.data[off + 2:off + 2 + 2 * n].decode("utf-16-le")
            return value

        def walk(dir_off, path, depth):
            if depth > 3:
                raise PeError("resource tree too deep")
            named, ids = struct.unpack_from("<HH", self.data, dir_off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, dir_off + 16 + 8 * i)
                key = path + [entry_id(name)]
                if target & 0x80000000:
                    walk(base + (target & 0x7FFFFFFF), key, depth + 1)
                else:
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + target)
                    off = self.offset(data_rva)
                    while len(key) < 3:
                        key.append(None)
                    out.append((key[0], key[1], key[2], self.data[off:off + data_size]))

        walk(base, [], 0)
        return out


def read(path):
    with open(path, "rb") as f:
        return PeFile(f.read())
