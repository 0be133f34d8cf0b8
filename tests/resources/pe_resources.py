#!/usr/bin/env python3
"""Decoders for the resource checks of check_resources.sh.

Each subcommand reads raw resource data (as extracted by `wrestool -x --raw`)
or preprocessor output, and prints one fact per line in a form the shell test
compares against its expectations. Texts are printed as JSON strings, so tabs,
line breaks and quotes are visible and every line stays a single line.

  strings BLOCK_ID FILE     string-table block: "<id> <json text>" for each
                            of its 16 slots (an empty slot prints "")
  expected-strings          read `cpp -P` output on stdin (the table header
                            expanded with X(id, text) -> @@BU_TEXT@@ id text)
                            and print "<id> <json text>" per entry
  version FILE              VS_VERSIONINFO: "fixed.FileVersion=a.b.c.d",
                            "fixed.ProductVersion=...", "fixed.FileType=N",
                            "translation=llll:cccc" and "<block>/<Key>=<json>"
  icon-group FILE           GRPICONDIR: "count=N", then per entry
                            "entry <icon id> <width> <height> <bitcount> <bytes>"
  icon-image FILE           one RT_ICON image: "<png|dib> <width> <height>
                            <bits per pixel> <alpha|noalpha>"
  first-diff WANT HAVE      two JSON texts: where they first differ, with a
                            little context of each

Exit status 0, or 1 with a message on stderr when the data is malformed.
"""
import json
import re
import struct
import sys


class Malformed(Exception):
    pass


def need(cond, what):
    if not cond:
        raise Malformed(what)


# ----------------------------------------------------------------- strings --

def decode_string_block(data):
    """A string-table block is 16 slots: a UTF-16 unit count, then the text."""
    texts, pos = [], 0
    for _ in range(16):
        need(pos + 2 <= len(data), "string block cut short")
        (n,) = struct.unpack_from("<H", data, pos)
        pos += 2
        need(pos + 2 * n <= len(data), "string text runs past the block")
        texts.append(data[pos:pos + 2 * n].decode("utf-16-le"))
        pos += 2 * n
    # windres pads the block to a 4-byte boundary; anything beyond is an error.
    need(not any(data[pos:]) and len(data) - pos < 4, "garbage after the 16 strings")
    return texts


def cmd_strings(block_id, path):
    block = int(block_id)
    with open(path, "rb") as f:
        texts = decode_string_block(f.read())
    first = (block - 1) * 16
    for i, text in enumerate(texts):
        print(first + i, json.dumps(text))


C_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "a": "\a", "b": "\b", "f": "\f",
             "v": "\v", "\\": "\\", "'": "'", '"': '"', "?": "?"}


def c_string_literals(src):
    """Concatenated value of the C narrow string literals in src (C rules:
    octal escapes take at most three digits, hex escapes every hex digit)."""
    out, i = [], 0
    while i < len(src):
        c = src[i]
        if c.isspace():
            i += 1
            continue
        need(c == '"', "unexpected text between string literals: %r" % src[i:i + 20])
        i += 1
        while True:
            need(i < len(src), "unterminated string literal")
            c = src[i]
            if c == '"':
                i += 1
                break
            if c != "\\":
                out.append(c)
                i += 1
                continue
            e = src[i + 1]
            if e in "01234567":
                m = re.match(r"[0-7]{1,3}", src[i + 1:])
                out.append(chr(int(m.group(0), 8)))
                i += 1 + len(m.group(0))
            elif e == "x":
                m = re.match(r"[0-9a-fA-F]+", src[i + 2:])
                need(m, "bad hex escape")
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
            else:
                need(e in C_ESCAPES, "unsupported escape \\%s" % e)
                out.append(C_ESCAPES[e])
                i += 2
    return "".join(out)


def cmd_expected_strings():
    src = sys.stdin.read()
    parts = src.split("@@BU_TEXT@@")[1:]
    need(parts, "no table entries in the preprocessor output")
    for part in parts:
        m = re.match(r"\s*(\d+)\s*(.*)$", part, re.S)
        need(m, "entry without an id: %r" % part[:40])
        print(int(m.group(1)), json.dumps(c_string_literals(m.group(2))))


# ----------------------------------------------------------------- version --

def align4(n):
    return (n + 3) & ~3


def read_wstr(data, pos, end):
    """UTF-16 text up to its terminator (or end); returns text and the offset
    after the terminator."""
    chars = []
    while pos + 2 <= end:
        (u,) = struct.unpack_from("<H", data, pos)
        pos += 2
        if u == 0:
            return "".join(chars), pos
        chars.append(chr(u))
    raise Malformed("unterminated UTF-16 text in the version block")


def version_node(data, pos):
    """One node of the version tree: (key, wType, value bytes, children, end).
    The text value is read up to its terminator rather than trusting
    wValueLength, whose unit differs between resource compilers."""
    need(pos + 6 <= len(data), "version node header cut short")
    length, value_len, vtype = struct.unpack_from("<HHH", data, pos)
    end = pos + length
    need(length >= 6 and end <= len(data), "version node length out of range")
    key, p = read_wstr(data, pos + 6, end)
    p = align4(p)
    if vtype == 1:
        value, after = (read_wstr(data, p, end) if value_len else ("", p))
    else:
        value, after = data[p:p + value_len], p + value_len
    children, p = [], align4(after)
    while p < end:
        child = version_node(data, p)
        children.append(child)
        p = align4(child[4])
    return key, vtype, value, children, end


def cmd_version(path):
    with open(path, "rb") as f:
        data = f.read()
    key, _, fixed, children, _ = version_node(data, 0)
    need(key == "VS_VERSION_INFO", "root key is %r" % key)
    need(len(fixed) == 52, "VS_FIXEDFILEINFO missing")
    fields = struct.unpack("<13I", fixed)
    need(fields[0] == 0xFEEF04BD, "VS_FIXEDFILEINFO signature wrong")

    def ver(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    print("fixed.FileVersion=" + ver(fields[2], fields[3]))
    print("fixed.ProductVersion=" + ver(fields[4], fields[5]))
    print("fixed.FileType=%d" % fields[9])
    for ckey, _, _, sub, _ in children:
        if ckey == "StringFileInfo":
            for table, _, _, entries, _ in sub:
                for name, _, value, _, _ in entries:
                    print("%s/%s=%s" % (table, name, json.dumps(value)))
        elif ckey == "VarFileInfo":
            for name, _, value, _, _ in sub:
                if name == "Translation":
                    for i in range(0, len(value) - 3, 4):
                        lang, cp = struct.unpack_from("<HH", value, i)
                        print("translation=%04x:%04x" % (lang, cp))


# ------------------------------------------------------------------- icons --

def cmd_icon_group(path):
    with open(path, "rb") as f:
        data = f.read()
    need(len(data) >= 6, "icon group cut short")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    need(reserved == 0 and kind == 1, "not an icon group (type %d)" % kind)
    need(len(data) >= 6 + 14 * count, "icon group entries cut short")
    print("count=%d" % count)
    for i in range(count):
        w, h, _colors, _res, _planes, bits, size, icon_id = struct.unpack_from(
            "<BBBBHHIH", data, 6 + 14 * i)
        print("entry %d %d %d %d %d" % (icon_id, w or 256, h or 256, bits, size))


def cmd_icon_image(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        need(data[12:16] == b"IHDR", "PNG without IHDR")
        w, h, depth, ctype = struct.unpack_from(">IIBB", data, 16)
        # colour type 6 = RGBA
        bpp = depth * {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(ctype, 0)
        print("png %d %d %d %s" % (w, h, bpp, "alpha" if ctype in (4, 6) else "noalpha"))
        return
    need(len(data) >= 40, "icon image cut short")
    hdr, w, h2, _planes, bits = struct.unpack_from("<IiiHH", data, 0)
    need(hdr >= 40, "icon image has no BITMAPINFOHEADER")
    # A DIB icon stores twice its height (image plus AND mask); 32-bit DIBs
    # carry their alpha channel in the fourth byte of every pixel. Windows
    # ignores an alpha channel that is all zero, and one that is all 255 is
    # no transparency at all: "alpha" means the channel has partly
    # transparent pixels (the drawing has transparent corners).
    h = h2 // 2
    a = set(data[hdr + 3:hdr + 4 * w * h:4]) if bits == 32 else set()
    alpha = "alpha" if a - {0} and a - {255} else "noalpha"
    print("dib %d %d %d %s" % (w, h, bits, alpha))


def cmd_first_diff(want_json, have_json):
    want, have = json.loads(want_json), json.loads(have_json)
    i = 0
    while i < min(len(want), len(have)) and want[i] == have[i]:
        i += 1
    lo = max(0, i - 20)
    print("first difference at character %d (lengths %d and %d): expected ...%s..., found ...%s..."
          % (i, len(want), len(have), json.dumps(want[lo:i + 20]), json.dumps(have[lo:i + 20])))


def main(argv):
    cmds = {"strings": (cmd_strings, 2), "expected-strings": (cmd_expected_strings, 0),
            "version": (cmd_version, 1), "icon-group": (cmd_icon_group, 1),
            "icon-image": (cmd_icon_image, 1), "first-diff": (cmd_first_diff, 2)}
    if len(argv) < 2 or argv[1] not in cmds or len(argv) - 2 != cmds[argv[1]][1]:
        sys.stderr.write(__doc__)
        return 2
    try:
        cmds[argv[1]][0](*argv[2:])
    except (Malformed, OSError, UnicodeDecodeError, ValueError) as e:
        sys.stderr.write("%s %s: %s\n" % (argv[0], argv[1], e))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
