"""Just enough of the RAR 4 layout to write a small archive of stored
entries, which `rar` 7 no longer makes (-ma4 is refused): files, directories
and Unix symbolic links, whose target RAR 4 keeps in the entry's data.

A RAR 4 archive is the 7-byte marker, the archive header, then one block per
entry and the end-of-archive block. Each block header begins with
  CRC16 (the low 16 bits of the CRC32 of the header from its type on),
  type (1 byte), flags (2), header size (2),
and a file header goes on with packed size (4), unpacked size (4), host OS
(1; 3 is Unix), data CRC32 (4), DOS time (4), version (1), method (1; 0x30
stores), name size (2), attributes (4; the Unix mode on Unix), the name.
"""

import struct
import zlib

MARKER = b"Rar!\x1a\x07\x00"
ARCHIVE_HEADER, FILE_HEADER, END = 0x73, 0x74, 0x7B
LONG_BLOCK, DIRECTORY = 0x8000, 0x00E0
UNIX = 3
DOS_TIME = (46 << 25) | (1 << 21) | (1 << 16)  # 2026-01-01 00:00


def block(kind, flags, body):
    size = 7 + len(body)
    rest = struct.pack("<BHH", kind, flags, size) + body
    return struct.pack("<H", zlib.crc32(rest) & 0xFFFF) + rest


def entry(name, data=b"", mode=0o100644):
    """One stored entry: a file by default; mode 0o040755 makes a directory,
    0o120777 a symbolic link whose target is `data`."""
    is_directory = (mode & 0o170000) == 0o040000
    body = struct.pack("<IIBIIBBHI", len(data), len(data), UNIX, zlib.crc32(data), DOS_TIME, 20,
                       0x30, len(name), mode) + name
    flags = LONG_BLOCK | (DIRECTORY if is_directory else 0)
    return block(FILE_HEADER, flags, body) + data


def archive(entries):
    """An archive of (name, data, mode) entries, names as bytes."""
    out = MARKER + block(ARCHIVE_HEADER, 0, b"\x00" * 6)
    for name, data, mode in entries:
        out += entry(name, data, mode)
    return out + block(END, 0x4000, b"")
