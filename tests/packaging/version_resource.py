"""Reads a version resource (VS_VERSIONINFO) the way Windows shows it in a file's properties:
the fixed file and product version numbers and the strings of every string table."""
import struct


class VersionInfo:
    def __init__(self, data):
        self.strings = {}      # {"ProductName": "...", ...} over all string tables
        self.file_version = self.product_version = None
        length, value_length, _, key, at = self._node(data, 0)
        if key != "VS_VERSION_INFO":
            raise ValueError(f"not a version resource ({key!r})")
        if value_length:
            sig, _, fms, fls, pms, pls = struct.unpack_from("<6I", data, at)
            if sig != 0xFEEF04BD:
                raise ValueError("no fixed file information")
            self.file_version = (fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF)
            self.product_version = (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF)
        for child, child_end in self._children(data, self._align(at + value_length), length):
            _, _, _, ckey, cat = self._node(data, child)
            if ckey == "StringFileInfo":
                for table, table_end in self._children(data, cat, child_end):
                    _, _, _, _, tat = self._node(data, table)
                    for s, _ in self._children(data, tat, table_end):
                        _, vlen, _, name, sat = self._node(data, s)
                        self.strings[name] = data[sat:sat + 2 * vlen].decode("utf-16-le").split("\0", 1)[0]

    @staticmethod
    def _align(n):
        return (n + 3) & ~3

    def _node(self, data, at):
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        end = at + 6
        while data[end:end + 2] != b"\0\0":
            end += 2
        key = data[at + 6:end].decode("utf-16-le")
        return length, value_length, kind, key, self._align(end + 2)

    def _children(self, data, at, end):
        """(offset, end) of each child node from `at` up to `end`, the end of their parent."""
        out = []
        end = min(len(data), end)
        while at + 6 <= end:
            length = struct.unpack_from("<H", data, at)[0]
            if length == 0:
                break
            out.append((at, at + length))
            at = self._align(at + length)
        return out


def read(resources):
    """The VersionInfo of an executable's resources, as pe.PeFile.resources() lists them."""
    for typ, _, _, data in resources:
        if typ == 16:  # RT_VERSION
            return VersionInfo(data)
    raise ValueError("no version resource")
