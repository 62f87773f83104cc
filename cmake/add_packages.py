"""Puts the patch packages into a linked update.exe and writes its header's checksum.

    add_packages.py LINKED OUTPUT [NAME=PACKAGE ...]

The resource compiler and the linker each hold a whole resource in memory (the linker twice: the
resource it read and the image it writes), so the program is linked with a one-byte placeholder
for each "MSP" resource NAME (generated/packages.rc) into LINKED. OUTPUT is made here from LINKED:
each package is copied into a section of its own added at the image's end, and the resource's
data entry pointed at it. Every package starts on a page of its own in the file and in memory,
so that the loader maps it straight from the file. Memory stays that of a small image whatever
the packages' size.

The checksum is the one GNU ld and the Windows linker write and LLVM's linker of Debian 12 does
not: the 16-bit one's-complement sum of the file, with the checksum field counted as zero, plus
the file's length. That sum is the words' plain sum modulo 0xFFFF (0xFFFF standing for a
multiple of it other than 0), and 2^16 is 1 modulo 0xFFFF: a block of the file at an even offset,
read as one little-endian number, is its words' sum modulo 0xFFFF. So the blocks' numbers are
added as they come (additions, fast in Python) and divided once; the packages are summed while
the kernel copies them. Without packages only the checksum is written."""
import os
import shutil
import struct
import sys
import tempfile
import threading
from pathlib import Path

BLOCK = 1 << 20  # even: every block starts on a word
PAGE = 4096
SECTION_NAME = b".msp\0\0\0\0"
READ_ONLY_DATA = 0x40000040  # initialized data, readable
RESOURCE_TYPE = "MSP"


def words(data):
    """A number equal modulo 0xFFFF to the sum of the 16-bit words of `data`, which lies at an even
    offset of the file. An odd last byte is the low half of a word whose high half is zero."""
    return int.from_bytes(data, "little")


def field_offset(header):
    """Where the checksum field is, from the first bytes of an executable."""
    field = struct.unpack_from("<I", header, 0x3C)[0] + 24 + 64
    if field + 4 > len(header):
        raise Refused("the checksum field lies beyond the header")
    return field


def summed(f, limit):
    """words() of the first `limit` bytes of the open executable `f`, its checksum field as zero."""
    f.seek(0)
    header = f.read(min(BLOCK, limit))
    field = field_offset(header)
    total, length = words(header[:field] + b"\0\0\0\0" + header[field + 4:]), len(header)
    block = bytearray(BLOCK)
    while length < limit and (n := f.readinto(memoryview(block)[:min(BLOCK, limit - length)])):
        total += words(memoryview(block)[:n])
        length += n
    return total


def checksum(total, length):
    """The checksum of a file of `length` bytes whose words() add up to `total`. The file starts
    with "MZ", so its words' sum is never 0."""
    return (total % 0xFFFF or 0xFFFF) + length


class Refused(Exception):
    pass


def align(value, unit):
    return -(-value // unit) * unit


class Image:
    """The headers of a PE image: its sections and the resource data entries of type MSP."""

    def __init__(self, f):
        self.f = f
        f.seek(0)
        head = f.read(PAGE)
        self.nt = struct.unpack_from("<I", head, 0x3C)[0]
        if head[:2] != b"MZ" or head[self.nt:self.nt + 4] != b"PE\0\0":
            raise Refused("not a Windows executable")
        self.count, optional_size = struct.unpack_from("<H12xH", head, self.nt + 6)
        self.optional = self.nt + 24
        self.wide = struct.unpack_from("<H", head, self.optional)[0] == 0x20B
        self.section_alignment, self.file_alignment, headers_size = struct.unpack_from("<II20xI", head,
                                                                                       self.optional + 32)
        self.table = self.optional + optional_size
        self.sections = [struct.unpack_from("<8sIIII", head, self.table + 40 * i) for i in range(self.count)]
        directories = self.optional + (112 if self.wide else 96)
        self.resource_rva = struct.unpack_from("<I", head, directories + 8 * 2)[0]
        if self.table + 40 * (self.count + 1) > min(headers_size, len(head)):
            raise Refused("no room in the headers for one more section")

    def offset(self, rva):
        for _, size, va, raw_size, raw in self.sections:
            if va <= rva < va + max(size, raw_size):
                return raw + rva - va
        raise Refused(f"RVA {rva:#x} is in no section")

    def read(self, rva, size):
        self.f.seek(self.offset(rva))
        return self.f.read(size)

    def _name(self, value):
        if not value & 0x80000000:
            return value
        at = self.resource_rva + (value & 0x7FFFFFFF)
        (length,) = struct.unpack("<H", self.read(at, 2))
        return self.read(at + 2, 2 * length).decode("utf-16-le")

    def _entries(self, rva):
        named, numbered = struct.unpack("<12xHH", self.read(rva, 16))
        for i in range(named + numbered):
            name, target = struct.unpack("<II", self.read(rva + 16 + 8 * i, 8))
            yield self._name(name), target

    def package_entries(self):
        """{resource name: file offset of its data entry}, for the resources of type MSP."""
        found = {}
        if not self.resource_rva:
            return found
        for kind, names in self._entries(self.resource_rva):
            if kind != RESOURCE_TYPE or not names & 0x80000000:
                continue
            for name, languages in self._entries(self.resource_rva + (names & 0x7FFFFFFF)):
                for _, entry in self._entries(self.resource_rva + (languages & 0x7FFFFFFF)):
                    found[name] = self.offset(self.resource_rva + entry)
        return found


def copied(path, f, offset):
    """Copies the file at `path` into `f` at `offset`: (its size, words() of it). The kernel copies
    (sendfile) and writes the copy to the disk while this thread sums what it reads: the two take
    the time of the longer."""
    with open(path, "rb") as package, open(path, "rb") as again:
        size = os.fstat(package.fileno()).st_size
        failure = []

        def copy():
            try:
                done = 0
                while done < size and (n := os.sendfile(f.fileno(), package.fileno(), done, size - done)):
                    done += n
                os.fsync(f.fileno())  # on the disk while the sum goes on, not later in the build
                if done != size:
                    failure.append(f"{path} changed while it was copied")
            except OSError as e:
                failure.append(f"{path}: {e.strerror}")

        f.flush()
        f.seek(offset)
        copier = threading.Thread(target=copy)
        copier.start()
        total, block = 0, bytearray(BLOCK)
        while n := again.readinto(block):
            total += words(memoryview(block)[:n])
        copier.join()
    if failure:
        raise Refused(failure[0])
    return size, total


def add_packages(f, packages):
    """Appends the section holding `packages` ([(resource name, path)]) to the image open in `f`,
    and writes the checksum. The packages' words are summed as they are copied (each starts on a
    page, so at an even offset): the file is read once."""
    image = Image(f)
    entries = image.package_entries()
    end = f.seek(0, 2)
    _, last_size, last_va, last_raw_size, _ = max(image.sections, key=lambda s: s[2])
    if end != max(raw + raw_size for _, _, _, raw_size, raw in image.sections) or end % image.file_alignment:
        raise Refused("the image has data after its last section")
    va = align(last_va + max(last_size, last_raw_size), image.section_alignment)
    at = total = 0
    for name, path in packages:
        if name not in entries:
            raise Refused(f"the image has no placeholder resource {RESOURCE_TYPE}/{name}")
        at = align(at, PAGE)
        size, package_words = copied(path, f, end + at)
        total += package_words
        f.seek(entries[name])
        f.write(struct.pack("<II", va + at, size))
        at += size
    raw_size = align(at, image.file_alignment)
    f.truncate(end + raw_size)
    f.seek(image.table + 40 * image.count)
    f.write(struct.pack("<8sIIIIIIHHI", SECTION_NAME, at, va, raw_size, end, 0, 0, 0, 0, READ_ONLY_DATA))
    f.seek(image.nt + 6)
    f.write(struct.pack("<H", image.count + 1))
    f.seek(image.optional + 8)  # SizeOfInitializedData
    (initialized,) = struct.unpack("<I", f.read(4))
    f.seek(image.optional + 8)
    f.write(struct.pack("<I", initialized + raw_size))
    f.seek(image.optional + 56)
    f.write(struct.pack("<I", align(va + at, image.section_alignment)))
    return checksum(summed(f, end) + total, end + raw_size)


def main(argv):
    if len(argv) < 2:
        sys.exit("usage: add_packages.py LINKED OUTPUT [NAME=PACKAGE ...]")
    linked, output = Path(argv[0]), Path(argv[1])
    packages = [tuple(arg.split("=", 1)) for arg in argv[2:]]
    # Made beside OUTPUT and renamed over it: OUTPUT is the old image or the whole new one.
    fd, partial = tempfile.mkstemp(dir=output.parent, prefix=f".{output.name}.")
    try:
        with open(fd, "r+b") as f:
            with open(linked, "rb") as source:
                shutil.copyfileobj(source, f)
            end = f.seek(0, 2)
            result = add_packages(f, packages) if packages else checksum(summed(f, end), end)
            f.seek(0)
            f.seek(field_offset(f.read(PAGE)))
            f.write(struct.pack("<I", result))
        os.chmod(partial, linked.stat().st_mode & 0o777)
        os.replace(partial, output)
    except (Refused, struct.error, OSError) as e:
        os.unlink(partial)
        sys.exit(f"add_packages.py: {output}: {e}")


if __name__ == "__main__":
    main(sys.argv[1:])
