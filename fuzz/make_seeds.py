#!/usr/bin/env python3
"""Assembles the fuzz targets' seed corpora from the test suite's own inputs.

    make_seeds.py --source DIR --out DIR [--string-module-writer PROGRAM]

Each target gets a directory under --out named after it:
  command_line        the sfxcmd lines of the grammar's and the splitter's unit-test tables
  configuration       every file of tests/fixtures/configs, and the demo package's buConfig.xml
  registry_value      the value bytes and names of the module-location tests, and the size edges
  archive_entry_name  the entry-name table's cases: type byte, name, NUL, target
  extraction          every archive the extraction tests make (tests/archives/make_archives.py):
                      damaged, cut, encrypted, climbing names, link chains, RAR 4 links
  string_module       what the writer program makes (the program's and the test module's
  appended_signature  tables, signed and unsigned); the trailer target starts from the same files
  package_manifest    manifest images that the scenarios' own writer (tests/e2e/manifest.py) makes
Nothing is kept in the repository: the seeds come from the files they are read from.
"""
import argparse
import hashlib
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

LITERAL = r'"((?:[^"\\]|\\.)*)"'
ESCAPES = {'n': 0x0A, 't': 0x09, 'r': 0x0D, '0': 0x00, '\\': 0x5C, '"': 0x22, "'": 0x27,
           'a': 0x07, 'b': 0x08, 'f': 0x0C, 'v': 0x0B, '?': 0x3F}


def c_literal(body, wide=False):
    """The bytes of a C++ string literal's body: UTF-8 for wide literals, whose
    escapes give code points; the narrow escapes give bytes."""
    out = bytearray()
    i = 0
    while i < len(body):
        c = body[i]
        if c != '\\':
            out += c.encode('utf-8')
            i += 1
            continue
        e = body[i + 1]
        if e == 'x':
            m = re.match(r'[0-9a-fA-F]+', body[i + 2:])
            value, i = int(m.group(0), 16), i + 2 + len(m.group(0))
        elif e in 'uU':
            n = 4 if e == 'u' else 8
            value, i = int(body[i + 2:i + 2 + n], 16), i + 2 + n
            out += chr(value).encode('utf-8')
            continue
        elif e in '01234567':
            m = re.match(r'[0-7]{1,3}', body[i + 1:])
            value, i = int(m.group(0), 8), i + 1 + len(m.group(0))
        else:
            value, i = ESCAPES[e], i + 2
        out += chr(value).encode('utf-8', 'surrogatepass') if wide else bytes([value])
    return bytes(out)


class Corpus:
    def __init__(self, root, name):
        self.dir = root / name
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        self.count = 0

    def add(self, data):
        # Named by content, as the fuzzer names what it adds: duplicates collapse.
        path = self.dir / hashlib.sha1(data).hexdigest()
        if not path.exists():
            path.write_bytes(data)
            self.count += 1


def command_lines(source, corpus):
    grammar = (source / 'tests/unit/command_line_test.cpp').read_text()
    for m in re.finditer(r'\{"\w+",\s*' + LITERAL + r',\s*\d+,', grammar):
        corpus.add(c_literal(m.group(1)))
    splitter = (source / 'tests/unit/argv_splitter_test.cpp').read_text()
    for m in re.finditer(r'Case\{L' + LITERAL, splitter):
        corpus.add(c_literal(m.group(1), wide=True))


def configurations(source, corpus):
    for path in sorted((source / 'tests/fixtures/configs').iterdir()):
        corpus.add(path.read_bytes())
    demo = source / 'demo/package/buConfig.xml'
    if demo.exists():
        corpus.add(demo.read_bytes())


def registry_values(source, corpus):
    text = (source / 'tests/unit/module_location_test.cpp').read_text()
    for m in re.finditer(r'\{\{' + LITERAL + r',\s*' + LITERAL + r'\}\}', text):
        corpus.add(c_literal(m.group(1)))
        corpus.add(c_literal(m.group(2)))
    for m in re.finditer(r'std::string\(' + LITERAL + r',\s*(\d+)\)', text):
        corpus.add(c_literal(m.group(1))[:int(m.group(2))])
    for m in re.finditer(r'entry\("local",\s*' + LITERAL + r'\)', text):
        corpus.add(c_literal(m.group(1)))
    # The capacity's edges: 8192 bytes fit, with a newline too; 8193 do not.
    for data in (b'p' * 8192, b'p' * 8192 + b'\n', b'p' * 8193, b'a\0' + b'p' * 8191):
        corpus.add(data)


def entry_names(source, corpus):
    text = (source / 'tests/unit/archive_entry_name_test.cpp').read_text()
    types = {'kNotALink': 0}
    for m in re.finditer(r'constexpr unsigned (\w+) = (\d+);', text):
        types[m.group(1)] = int(m.group(2))
    case = r'Case\{"\w+",\s*L' + LITERAL + r',\s*(\w+),\s*L' + LITERAL
    for m in re.finditer(case, text):
        corpus.add(bytes([types[m.group(2)]]) + c_literal(m.group(1), wide=True) + b'\0' +
                   c_literal(m.group(3), wide=True))


def string_modules(writer, corpora):
    scratch = corpora[0].dir.parent / '.string-modules'
    shutil.rmtree(scratch, ignore_errors=True)
    scratch.mkdir()
    subprocess.run([str(writer), str(scratch)], check=True)
    for path in sorted(scratch.iterdir()):
        for corpus in corpora:
            corpus.add(path.read_bytes())
    shutil.rmtree(scratch)


def archives(source, corpus):
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([sys.executable, str(source / 'tests' / 'archives' / 'make_archives.py'), out],
                       check=True, stdout=subprocess.DEVNULL)
        for path in sorted(Path(out).rglob('*.rar')):
            corpus.add(path.read_bytes())


def manifests(source, corpus):
    sys.path.insert(0, str(source / 'tests' / 'e2e'))
    import manifest
    record = b'sha256 ' + hashlib.sha256(b'').hexdigest().encode() + b' '
    for names in ([], [b'buConfig.xml'], [b'buConfig.xml', b'Update%201.rar', b'sub/caf%e9.rar']):
        text = b'bu-manifest 1\n' + b''.join(record + n + b'\n' for n in names) + b'end\n'
        corpus.add(manifest.resource_image(text))
        corpus.add(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--source', type=Path, required=True, help='the source tree')
    parser.add_argument('--out', type=Path, required=True, help='where the corpora go')
    parser.add_argument('--string-module-writer', type=Path,
                        help='the string_module_seeds program of the fuzz build')
    args = parser.parse_args()

    made = []
    for name, fill in (('command_line', command_lines), ('configuration', configurations),
                       ('registry_value', registry_values), ('archive_entry_name', entry_names),
                       ('extraction', archives), ('package_manifest', manifests)):
        corpus = Corpus(args.out, name)
        fill(args.source, corpus)
        made.append(corpus)
    if args.string_module_writer:
        corpora = [Corpus(args.out, 'string_module'), Corpus(args.out, 'appended_signature')]
        string_modules(args.string_module_writer, corpora)
        made += corpora
    for corpus in made:
        if corpus.count == 0:
            sys.exit(f'{sys.argv[0]}: no seeds found for {corpus.dir.name}: did a table change form?')
        print(f'{corpus.dir.name}: {corpus.count} seeds')


if __name__ == '__main__':
    main()
