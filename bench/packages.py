"""The benchmark's inputs: compressible text, RAR archives made with `rar`,
and package directories whose buConfig.xml comes from a table of products
(the end-to-end tests' own writer)."""

import itertools
import json
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "e2e"))
from deployment import configuration, windows_path  # noqa: E402

AUTH_MODULE = "TestAuth2.dll"
DEPLOY_MODULE = "TestDeploy3.dll"
UNRAR = "unrar.dll"
MODULES = (AUTH_MODULE, DEPLOY_MODULE, UNRAR)


class Text:
    """Text that compresses about as well as source code or documents do:
    lines of words drawn with Zipf-like frequencies from a fixed vocabulary."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        letters = "abcdefghijklmnopqrstuvwxyz"
        self.vocabulary = ["".join(self.rng.choices(letters, k=self.rng.randint(2, 10)))
                           for _ in range(4096)]
        self.weights = list(itertools.accumulate(1.0 / (i + 1) for i in range(4096)))

    def bytes(self, size):
        out = bytearray()
        while len(out) < size:
            words = self.rng.choices(self.vocabulary, cum_weights=self.weights,
                                     k=min(200000, size // 5 + 12))
            out += "\n".join(" ".join(words[i:i + 12]) for i in range(0, len(words), 12)).encode()
            out += b"\n"
        return bytes(out[:size])


def tree_summary(root):
    """(number of files, total bytes) below root."""
    files = size = 0
    for directory, _, names in os.walk(root):
        for name in names:
            files += 1
            size += os.lstat(os.path.join(directory, name)).st_size
    return files, size


def make_big_archive(work, scratch, large_files, large_size, small_files, nested=False):
    """An archive of `large_files` text files of `large_size` bytes and
    `small_files` files of 100 B - 4 KB in 50 directories (`nested`: in 500,
    two levels below docs/), its content written in `scratch`; kept in `work`
    and reused while its shape is the same. Answers (path, (files, bytes))."""
    shape = {"large_files": large_files, "large_size": large_size, "small_files": small_files,
             "method": "m3", "nested": nested}
    name = "extract-%dx%d-%d%s.rar" % (large_files, large_size >> 20, small_files,
                                       "-nested" if nested else "")
    path = os.path.join(work, name)
    stamp = path + ".json"
    if os.path.exists(path) and os.path.exists(stamp):
        with open(stamp) as f:
            saved = json.load(f)
        if saved.get("shape") == shape:
            return path, tuple(saved["content"])
    scratch = os.path.join(scratch, "archive-content")
    shutil.rmtree(scratch, ignore_errors=True)
    text = Text(seed=64)
    os.makedirs(os.path.join(scratch, "data"))
    for i in range(large_files):
        with open(os.path.join(scratch, "data", "large%02d.txt" % i), "wb") as f:
            f.write(text.bytes(large_size))
    pool = text.bytes(1 << 20)
    rng = random.Random(5000)
    for i in range(small_files):
        directory = os.path.join(scratch, "docs", "d%02d" % (i % 50))
        if nested:
            directory = os.path.join(scratch, "docs", "a%02d" % (i % 20), "b%02d" % (i // 20 % 25))
        os.makedirs(directory, exist_ok=True)
        start = rng.randrange(0, len(pool) - 4096)
        with open(os.path.join(directory, "f%05d.txt" % i), "wb") as f:
            f.write(pool[start:start + rng.randint(100, 4096)])
    content = tree_summary(scratch)
    if os.path.exists(path):
        os.remove(path)
    subprocess.run(["rar", "a", "-r", "-idq", "-m3", path, "*"], cwd=scratch, check=True,
                   stdout=subprocess.DEVNULL)
    shutil.rmtree(scratch)
    with open(stamp, "w") as f:
        json.dump({"shape": shape, "content": content}, f)
    return path, content


def make_small_archive(work):
    """The archive every entry of the many-entries package deploys: two small
    files."""
    path = os.path.join(work, "entry.rar")
    if os.path.exists(path):
        return path
    scratch = os.path.join(work, "entry-content")
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(os.path.join(scratch, "doc"))
    text = Text(seed=1)
    with open(os.path.join(scratch, "readme.txt"), "wb") as f:
        f.write(text.bytes(1500))
    with open(os.path.join(scratch, "doc", "notes.txt"), "wb") as f:
        f.write(text.bytes(600))
    subprocess.run(["rar", "a", "-r", "-idq", path, "*"], cwd=scratch, check=True,
                   stdout=subprocess.DEVNULL)
    shutil.rmtree(scratch)
    return path


def link_or_copy(source, target):
    try:
        os.link(source, target)
    except OSError:
        shutil.copyfile(source, target)


def make_package(directory, modules, archives, targets, windows=False):
    """A package: the signed modules (name -> file), one product per archive
    (name -> file, in order), each deployed by the test modules to its own
    directory in `targets` (in the Windows form of the path when `windows`)."""
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    for name, source in modules.items():
        shutil.copyfile(source, os.path.join(directory, name))
    products = []
    for (name, source), target in zip(archives, targets):
        link_or_copy(source, os.path.join(directory, name))
        path = windows_path(target) if windows else target
        products.append({"file": name, "desc": "Update " + name,
                         "auth": [AUTH_MODULE, "package", "auth=0"],
                         "deploy": [DEPLOY_MODULE, "package", "path=" + path]})
    with open(os.path.join(directory, "buConfig.xml"), "wb") as f:
        f.write(configuration(products))
    return directory


def write_configuration(directory, count):
    """A package directory with only a buConfig.xml of `count` products."""
    os.makedirs(directory, exist_ok=True)
    products = [{"file": "Update%05d.rar" % i, "desc": "Content update number %d" % i,
                 "auth": ["Auth%03d.dll" % (i % 100), "local", "ContentA%d" % i],
                 "deploy": ["Deploy%03d.dll" % (i % 100), "package", "path=/opt/p%05d" % i]}
                for i in range(count)]
    with open(os.path.join(directory, "buConfig.xml"), "wb") as f:
        f.write(configuration(products))
