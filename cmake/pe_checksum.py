"""Writes the checksum of a Windows executable's header, as GNU ld and the Windows linker do and as
LLVM's linker of Debian 12 does not: the 16-bit one's-complement sum of the file, with the checksum
field counted as zero, plus the file's length.

    pe_checksum.py FILE

The file is read a block at a time, so an installer carrying packages of gigabytes needs no more
memory than a small one. The one's-complement sum of 16-bit words is their plain sum modulo
0xFFFF (0xFFFF standing for a multiple of it other than 0), and 2^16 is 1 modulo 0xFFFF: a block
of an even number of bytes read as one little-endian number is its words' sum modulo 0xFFFF, so
the blocks' numbers are added as they come (additions, fast in Python) and divided once."""
import struct
import sys

BLOCK = 1 << 20  # even: every block starts on a word


def checksum(f):
    """(offset of the checksum field, the checksum) of the open executable `f`."""
    header = f.read(BLOCK)
    field = struct.unpack_from("<I", header, 0x3C)[0] + 24 + 64
    if field + 4 > len(header):
        raise ValueError("the checksum field lies beyond the header")
    total = int.from_bytes(header[:field] + b"\0\0\0\0" + header[field + 4:], "little")
    length = len(header)
    block = bytearray(BLOCK)
    while True:
        n = f.readinto(block)
        if not n:
            break
        # An odd last byte is the low half of a word whose high half is zero, as little-endian reads it.
        total += int.from_bytes(memoryview(block)[:n], "little")
        length += n
    # The file starts with "MZ", so its words' sum is never 0.
    folded = total % 0xFFFF or 0xFFFF
    return field, folded + length


def main(path):
    with open(path, "r+b") as f:
        head = f.read(0x40)
        if len(head) < 0x40 or head[:2] != b"MZ":
            sys.exit(f"pe_checksum.py: {path} is not a Windows executable")
        f.seek(struct.unpack_from("<I", head, 0x3C)[0])
        if f.read(4) != b"PE\0\0":
            sys.exit(f"pe_checksum.py: {path} is not a Windows executable")
        f.seek(0)
        try:
            field, value = checksum(f)
        except ValueError as e:
            sys.exit(f"pe_checksum.py: {path}: {e}")
        f.seek(field)
        f.write(struct.pack("<I", value))


if __name__ == "__main__":
    main(sys.argv[1])
