"""Writes the checksum of a Windows executable's header, as GNU ld and the Windows linker do and as
LLVM's linker of Debian 12 does not: the 16-bit one's-complement sum of the file, with the checksum
field counted as zero, plus the file's length.

    pe_checksum.py FILE"""
import struct
import sys


def checksum(data):
    field = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64
    padded = data[:field] + b"\0\0\0\0" + data[field + 4:] + b"\0" * (len(data) % 2)
    total = sum(struct.unpack(f"<{len(padded) // 2}H", padded))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return field, total + len(data)


def main(path):
    with open(path, "r+b") as f:
        data = f.read()
        if data[:2] != b"MZ" or data[struct.unpack_from("<I", data, 0x3C)[0]:][:4] != b"PE\0\0":
            sys.exit(f"pe_checksum.py: {path} is not a Windows executable")
        field, value = checksum(data)
        f.seek(field)
        f.write(struct.pack("<I", value))


if __name__ == "__main__":
    main(sys.argv[1])
