#!/usr/bin/env python3
"""Makes the extraction tests' archives with `rar`, afresh on every run, and
edits them where `rar` refuses to make a case (an empty archive, names that
climb out of the destination, damaged or cut archives).

  make_archives.py <out>

<out>/<archive>/   the archive's file(s) (update.rar, or the volumes of a set)
                   and entries.json: every file entry the archive holds, by
                   its archived name, with its content in hex
None of it is committed.
"""

import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

import rar4
import rar5

ARCHIVE = "update.rar"


def incompressible(seed, size):
    return random.Random(seed).randbytes(size)


# The content of every file an archive is made from, by name.
FILES = {
    "first.txt": b"the first file, extracted before anything goes wrong\n",
    "second.bin": incompressible(2, 96 * 1024),
    "third.txt": b"the third file\n",
    "last.txt": b"the file after the refused entry\n",
    "readme.txt": b"Brevant update\r\n",
    "docs/guide.txt": b"how to use it\n" * 50,
    "docs/deep/nested/leaf.bin": bytes(range(256)) * 8,
    "caf\u00e9/cr\u00e8me.txt": b"latin letters beyond ASCII\n",
    "\u0434\u0430\u043d\u043d\u044b\u0435/\u0444\u0430\u0439\u043b.txt": b"cyrillic names\n",
    "volume.bin": incompressible(3, 160 * 1024),
}
NORMAL = ["readme.txt", "docs/guide.txt", "docs/deep/nested/leaf.bin",
          "caf\u00e9/cr\u00e8me.txt",
          "\u0434\u0430\u043d\u043d\u044b\u0435/\u0444\u0430\u0439\u043b.txt"]
THREE = ["first.txt", "second.bin", "third.txt"]

# Entry names that must never be extracted, each made from a placeholder of
# the same length that `rar` stores as it is.
TRAVERSALS = {
    "dotdot": "../escape.txt",
    "dotdot_backslash": "..\\escape.txt",
    "nested_dotdot": "sub/../../escape.txt",
    "absolute": "/tmp/escape.txt",
    "absolute_backslash": "\\escape.txt",
    "drive": "C:/escape.txt",
    "drive_relative": "C:escape.txt",
    "stream": "first.txt:stream",
    "three_dots": ".../escape.txt",
    "dots_and_blank": ".. /escape.txt",
    # Refused, and named where it is reported: with a terminal's colour command.
    "escape_sequence": "../\x1b[31mred.txt",
}


def placeholder(name):
    """A harmless name of the same length: every character that makes the
    name dangerous becomes a letter."""
    return "".join(c if c.isalnum() else "x" for c in name)


def run_rar(source, archive, names, *options):
    done = subprocess.run(["rar", "a", "-ma5", "-qo-", "-idq", *options, archive, "--", *names],
                          cwd=source, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        sys.exit("rar failed for %s:\n%s" % (archive, done.stdout.decode(errors="replace")))


def make(target, files, *options, names=None, links=None, modes=None):
    """Archives `files` in that order into target/update.rar: names of FILES
    (`names` may store one under another name, `modes` give one its mode) or
    of `links` (name -> the target of a symbolic link). Answers the
    archive's bytes (None for a set of volumes, update.partN.rar)."""
    links = links or {}
    with tempfile.TemporaryDirectory() as source:
        stored = []
        for name in files:
            path = (names or {}).get(name, name)
            if name in links:
                os.symlink(links[name], os.path.join(source, path))
            else:
                os.makedirs(os.path.join(source, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(source, path), "wb") as f:
                    f.write(FILES[name])
                if name in (modes or {}):
                    os.chmod(os.path.join(source, path), modes[name])
            stored.append(path)
        run_rar(source, os.path.abspath(os.path.join(target, ARCHIVE)), stored, "-ol", *options)
    if not os.path.exists(os.path.join(target, ARCHIVE)):
        return None  # a set of volumes
    with open(os.path.join(target, ARCHIVE), "rb") as f:
        return bytearray(f.read())


def write(target, data, name=ARCHIVE):
    with open(os.path.join(target, name), "wb") as f:
        f.write(data)


def data_middle(data, name):
    block = rar5.file_block(data, name.encode())
    return (block.header_end + block.data_end) // 2


# Each recipe makes its archive in `target` and answers the files it holds:
# names of FILES, or archived name -> name of FILES where the two differ.
def normal(target):
    make(target, NORMAL)
    return NORMAL


def empty(target):
    write(target, rar5.without_blocks(make(target, ["first.txt"]), {rar5.FILE, rar5.SERVICE}))
    return []


def second_damaged(target):
    data = make(target, THREE)
    data[data_middle(data, "second.bin")] ^= 0xFF
    write(target, data)
    return THREE


def cut_in_data(target):
    data = make(target, THREE)
    write(target, data[:data_middle(data, "second.bin")])
    return THREE


def header_damaged(target):
    """The second file's header claims a size of zero: the library cannot
    read it (a header that only fails its CRC is still used)."""
    data = make(target, THREE)
    data[rar5.file_block(data, b"second.bin").header_start] = 0
    write(target, data)
    return THREE


def header_cut(target):
    data = make(target, THREE)
    block = rar5.file_block(data, b"second.bin")
    write(target, data[:(block.start + block.header_end) // 2])
    return THREE


def encrypted_data(target):
    make(target, THREE, "-psecret")
    return THREE


def encrypted_headers(target):
    make(target, THREE, "-hpsecret")
    return THREE


def not_an_archive(target):
    write(target, b"This is no RAR archive, only its name says so.\n")
    return []


def volume_missing(target):
    """The first volume of a set of three whose second volume is gone."""
    make(target, ["first.txt", "volume.bin"], "-v64k", "-m0")
    os.remove(os.path.join(target, "update.part2.rar"))
    return ["first.txt", "volume.bin"]


def later_volume(target):
    """A set of three volumes; the cases open the second."""
    make(target, ["first.txt", "volume.bin"], "-v64k", "-m0")
    return ["first.txt", "volume.bin"]


def later_volume_cut(target):
    """A set of three volumes whose last is cut just before the header of its
    last file, as a download stopped there: the library reports the end of
    the archive after the file before it."""
    make(target, ["first.txt", "volume.bin", "third.txt"], "-v64k", "-m0")
    last = os.path.join(target, "update.part3.rar")
    with open(last, "rb") as f:
        data = bytearray(f.read())
    write(target, data[:rar5.file_block(data, b"third.txt").start], "update.part3.rar")
    return ["first.txt", "volume.bin", "third.txt"]


def traversal(name):
    def recipe(target):
        stand_in = placeholder(name)
        data = make(target, ["first.txt", "third.txt", "last.txt"],
                    names={"third.txt": stand_in})
        rar5.replace_in_header(data, stand_in.encode(), stand_in.encode(), name.encode())
        write(target, data)
        return {"first.txt": "first.txt", name: "third.txt", "last.txt": "last.txt"}
    return recipe


def traversal_after_directory(target):
    """A directory the destination lacks, with a file in it, then an entry
    named "../escape.txt": the directory would move whole, but nothing moves
    before the whole archive is extracted."""
    write(target, rar4.archive([(b"tools", b"", 0o040755),
                                (b"tools/first.txt", FILES["first.txt"], 0o100644),
                                (b"../escape.txt", FILES["last.txt"], 0o100644)]))
    return {"tools/first.txt": "first.txt"}


def link_escaping(target):
    make(target, ["first.txt", "link", "last.txt"], links={"link": "../outside"})
    return ["first.txt", "last.txt"]


def stream_escaping(target):
    """An NTFS stream header on first.txt whose name climbs out of the
    destination: Windows libraries apply it after the file; POSIX ones have no
    streams and skip it."""
    data = make(target, ["first.txt", "last.txt"])
    stream = rar5.service_block(b"STM", ":x\\..\\..\\stream-escape.txt".encode(), b"escaped\n")
    write(target, rar5.insert_after(data, b"first.txt", stream))
    return ["first.txt", "last.txt"]


def link_to_dots_and_surrogate(target):
    """A link whose target is ".." and an unpaired surrogate (UTF-8 ED A0 80):
    a POSIX library's narrow form of it is "..", and chained such links lead
    anywhere."""
    data = make(target, ["first.txt", "u1", "last.txt"], links={"u1": "..abc"})
    rar5.replace_in_header(data, b"u1", b"..abc", b"..\xed\xa0\x80")
    write(target, data)
    return ["first.txt"]


def special_modes(target):
    """Files stored setuid and setgid, one at the top, one in a directory."""
    make(target, ["first.txt", "last.txt"], names={"last.txt": "tools/last.txt"},
         modes={"first.txt": 0o4755, "last.txt": 0o2755})
    return {"first.txt": "first.txt", "tools/last.txt": "last.txt"}


def setgid_directory(target):
    """A plain file, then its directory's entry stored setgid: the library
    applies that mode to the directory the file made."""
    write(target, rar4.archive([(b"shared/first.txt", FILES["first.txt"], 0o100644),
                                (b"shared", b"", 0o042775)]))
    return {"shared/first.txt": "first.txt"}


def rar4_links(target, link_target):
    entries = [(b"testdir", b"", 0o040755), (b"testdir/first.txt", FILES["first.txt"], 0o100644),
               (b"testlink", link_target, 0o120777), (b"last.txt", FILES["last.txt"], 0o100644)]
    write(target, rar4.archive(entries))
    return {"testdir/first.txt": "first.txt", "last.txt": "last.txt"}


def links_into_a_planted_link(target):
    """A hard link "h" and a file reference "copy.txt", both to
    "p/secret.txt", which the archive does not hold: extracted over a link
    "p" planted in the destination."""
    with tempfile.TemporaryDirectory() as source:
        os.makedirs(os.path.join(source, "p"))
        secret = os.path.join(source, "p", "secret.txt")
        with open(secret, "wb") as f:
            f.write(FILES["first.txt"])
        os.link(secret, os.path.join(source, "h"))
        archive = os.path.abspath(os.path.join(target, ARCHIVE))
        run_rar(source, archive, ["p/secret.txt", "h"], "-oh")
        with open(archive, "rb") as f:
            hard = rar5.without_entry(bytearray(f.read()), b"p/secret.txt")
        os.remove(archive)
        shutil.copyfile(secret, os.path.join(source, "copy.txt"))
        run_rar(source, archive, ["p/secret.txt", "copy.txt"], "-oi1:1")
        with open(archive, "rb") as f:
            copy = rar5.without_entry(bytearray(f.read()), b"p/secret.txt")
    write(target, hard, "hard.rar")
    write(target, copy, "copy.rar")
    os.remove(archive)
    return []


def file_named_f(target):
    """One file, "f": extracted over a link planted at that name."""
    make(target, ["first.txt"], names={"first.txt": "f"})
    return {"f": "first.txt"}


def directory_a_with_a_file(target):
    """A directory entry "a" (mode 0700) and "a/evil.txt": extracted over a
    link planted at "a"."""
    write(target, rar4.archive([(b"a", b"", 0o040700),
                                (b"a/evil.txt", FILES["first.txt"], 0o100644)]))
    return {"a/evil.txt": "first.txt"}


def file_then_directory_of_its_name(target):
    """A file "x", a directory "x" and "x/evil" stored setuid: the library
    makes the directory where the staged file was."""
    write(target, rar4.archive([(b"x", FILES["first.txt"], 0o100644), (b"x", b"", 0o040755),
                                (b"x/evil", FILES["last.txt"], 0o104755)]))
    return {"x/evil": "last.txt"}


def setuid_hard_link(target):
    """A file "t" and "README/h", a hard link to it, both stored setuid (the
    library's chmod of the link reaches the shared file)."""
    with tempfile.TemporaryDirectory() as source:
        os.makedirs(os.path.join(source, "README"))
        with open(os.path.join(source, "t"), "wb") as f:
            f.write(FILES["first.txt"])
        os.link(os.path.join(source, "t"), os.path.join(source, "README", "h"))
        os.chmod(os.path.join(source, "t"), 0o4755)
        run_rar(source, os.path.abspath(os.path.join(target, ARCHIVE)), ["t", "README/h"], "-oh")
    return {"t": "first.txt", "README/h": "first.txt"}


def backslash_beside_directory(target):
    """"a/first.txt", then a file named "a\\b" at the top (a Unix name, one
    component): both land, the directory moving whole."""
    make(target, ["first.txt", "last.txt"], names={"first.txt": "a/first.txt", "last.txt": "a\\b"})
    return {"a/first.txt": "first.txt", "a\\b": "last.txt"}


LONG_NAME = "long/" + "a" * 70 + "/" + "b" * 70 + "/" + "c" * 60 + ".txt"


def long_path(target):
    """One file 210 characters deep: with the destination's and the staging
    directory's names above it, its path is longer than 260 characters."""
    make(target, ["first.txt"], names={"first.txt": LONG_NAME})
    return {LONG_NAME: "first.txt"}


FOUR = ["first.txt", "second.bin", "third.txt", "last.txt"]


def cut_before_block(index):
    """A four-file archive cut at a block boundary, as a download stopped
    there: before block `index` (1: the first file, ..., 5: the end record);
    answers the files complete before the cut."""
    def recipe(target):
        data = make(target, FOUR)
        cut = rar5.blocks(data)[index].start
        write(target, data[:cut])
        return FOUR[:index - 1]
    return recipe


RECIPES = {
    "normal": normal,
    "empty": empty,
    "second_damaged": second_damaged,
    "cut_in_data": cut_in_data,
    "header_damaged": header_damaged,
    "header_cut": header_cut,
    "encrypted_data": encrypted_data,
    "encrypted_headers": encrypted_headers,
    "not_an_archive": not_an_archive,
    "volume_missing": volume_missing,
    "later_volume": later_volume,
    "later_volume_cut": later_volume_cut,
    "link_escaping": link_escaping,
    "stream_escaping": stream_escaping,
    "link_to_dots_and_surrogate": link_to_dots_and_surrogate,
    "special_modes": special_modes,
    "setgid_directory": setgid_directory,
    "rar4_link_inside": lambda target: rar4_links(target, b"testdir/first.txt"),
    "rar4_link_escaping": lambda target: rar4_links(target, b"../outside.txt"),
    "file_named_f": file_named_f,
    "links_into_a_planted_link": links_into_a_planted_link,
    "directory_a_with_a_file": directory_a_with_a_file,
    "file_then_directory_of_its_name": file_then_directory_of_its_name,
    "setuid_hard_link": setuid_hard_link,
    "backslash_beside_directory": backslash_beside_directory,
    "long_path": long_path,
    "traversal_after_directory": traversal_after_directory,
}
RECIPES.update({"traversal_" + kind: traversal(name) for kind, name in TRAVERSALS.items()})
RECIPES.update({"cut_before_block_%d" % index: cut_before_block(index) for index in range(1, 6)})


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    for name, recipe in RECIPES.items():
        target = os.path.join(out, name)
        os.makedirs(target)
        held = recipe(target)
        if isinstance(held, list):
            held = {name: name for name in held}
        entries = {name: FILES[source].hex() for name, source in held.items()}
        with open(os.path.join(target, "entries.json"), "w", encoding="utf-8") as f:
            json.dump(entries, f, ensure_ascii=False, indent=1)
    print("%d archives ready in %s" % (len(RECIPES), out))


if __name__ == "__main__":
    main()
