"""Just enough of the RAR5 archive layout to edit archives that `rar` will not
make: list the blocks, rename an entry or retarget a link (same length), drop
blocks, and recompute a block header's CRC32 after an edit.

A RAR5 archive is the 8-byte signature, then blocks. Each block is
  CRC32 (4 bytes, little-endian) of the header that follows it,
  header size (vint): the bytes from the header type to the header's end,
  header type (vint), header flags (vint),
  extra area size (vint, flag 0x0001), data size (vint, flag 0x0002),
  the type's own fields, the extra area,
then `data size` bytes of data. A vint is 7 bits per byte, low first, with
the top bit set on every byte but the last.
"""

import zlib
from dataclasses import dataclass

SIGNATURE = b"Rar!\x1a\x07\x01\x00"
MAIN, FILE, SERVICE, ENCRYPTION, END = 1, 2, 3, 4, 5
HAS_EXTRA, HAS_DATA = 0x0001, 0x0002


def read_vint(data, offset):
    value, shift = 0, 0
    while True:
        byte = data[offset]
        offset += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            return value, offset


@dataclass
class Block:
    start: int        # the CRC field
    header_start: int  # the header size field: what the CRC covers begins here
    header_end: int
    data_end: int
    kind: int
    name: bytes = b""  # file and service blocks
    name_offset: int = 0


def blocks(data):
    if not data.startswith(SIGNATURE):
        raise ValueError("not a RAR5 archive")
    found, offset = [], len(SIGNATURE)
    while offset < len(data):
        start = offset
        size, body = read_vint(data, offset + 4)
        header_end = body + size
        kind, cursor = read_vint(data, body)
        flags, cursor = read_vint(data, cursor)
        data_size = 0
        if flags & HAS_EXTRA:
            _, cursor = read_vint(data, cursor)
        if flags & HAS_DATA:
            data_size, cursor = read_vint(data, cursor)
        block = Block(start, offset + 4, header_end, header_end + data_size, kind)
        if kind in (FILE, SERVICE):
            file_flags, cursor = read_vint(data, cursor)
            _, cursor = read_vint(data, cursor)  # unpacked size
            _, cursor = read_vint(data, cursor)  # attributes
            if file_flags & 0x0002:
                cursor += 4  # modification time
            if file_flags & 0x0004:
                cursor += 4  # data CRC32
            _, cursor = read_vint(data, cursor)  # compression
            _, cursor = read_vint(data, cursor)  # host OS
            length, cursor = read_vint(data, cursor)
            block.name, block.name_offset = data[cursor:cursor + length], cursor
        found.append(block)
        offset = block.data_end
    return found


def fix_crc(data, block):
    crc = zlib.crc32(bytes(data[block.header_start:block.header_end]))
    data[block.start:block.start + 4] = crc.to_bytes(4, "little")


def file_block(data, name):
    for block in blocks(data):
        if block.kind == FILE and block.name == name:
            return block
    raise KeyError(name)


def replace_in_header(data, name, old, new):
    """Replaces `old` by `new` (same length) in the header of the file entry
    `name`, e.g. its name or its link target, and fixes the header's CRC."""
    if len(old) != len(new):
        raise ValueError("a replacement must keep the length")
    block = file_block(data, name)
    header = bytes(data[block.header_start:block.header_end])
    at = header.index(old)
    data[block.header_start + at:block.header_start + at + len(old)] = new
    fix_crc(data, block)


def without_blocks(data, kinds):
    kept = bytearray(data[:len(SIGNATURE)])
    for block in blocks(data):
        if block.kind not in kinds:
            kept += data[block.start:block.data_end]
    return kept


def vint(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        out.append(byte | (0x80 if value else 0))
        if not value:
            return bytes(out)


def service_block(name, subdata, payload):
    """A service block (what `rar` writes for NTFS streams, comments, ...)
    whose data is `payload` stored as it is, with `subdata` in its extra area
    (a stream's name, for "STM") and the child flag that ties it to the file
    block before it."""
    child, has_crc = 0x0010, 0x0004
    extra_record = vint(0x07) + subdata
    extra = vint(len(extra_record)) + extra_record
    fields = (vint(has_crc) + vint(len(payload)) + vint(0) + zlib.crc32(payload).to_bytes(4, "little")
              + vint(0) + vint(0) + vint(len(name)) + name)
    header = (vint(SERVICE) + vint(HAS_EXTRA | HAS_DATA | child) + vint(len(extra))
              + vint(len(payload)) + fields + extra)
    sized = vint(len(header)) + header
    return zlib.crc32(sized).to_bytes(4, "little") + sized + payload


def insert_after(data, name, block_bytes):
    """`data` with `block_bytes` placed right after the file entry `name`."""
    end = file_block(data, name).data_end
    return bytearray(data[:end]) + block_bytes + data[end:]


def without_entry(data, name):
    """`data` without the file entry `name` (and any service blocks after it)."""
    block = file_block(data, name)
    rest = [b for b in blocks(data) if b.start >= block.data_end]
    end = next((b.start for b in rest if b.kind != SERVICE), len(data))
    return bytearray(data[:block.start]) + data[end:]
