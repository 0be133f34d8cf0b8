#!/usr/bin/env python3
"""Makes the signature tests' fixtures, afresh on every run: a test PKI and,
for each port, the signed files of every case and the resource modules.

  make_fixtures.py <cases.json> <out> --native <payload.so> <string module>
                   [--pe <port> <payload.dll> <buResource.dll> <with code>]...

<out>/pki             root.pem (the test root: trusted natively through
                      SSL_CERT_FILE, in Wine through the prefix's Root store),
                      other-root.pem (never trusted), leaf.key (one key for
                      every leaf) and <leaf>.pem for each leaf of cases.json
<out>/<port>/cases    <case><ext>: the file of each case (none when missing)
<out>/<port>/signed_module/buResource.dll      signed by the maker
<out>/<port>/unsigned_module/buResource.dll    as built
<out>/<port>/unloadable_module/buResource.dll  signed, but no resource module
<out>/<port>/code_module/buResource.dll        (PE only) signed, with an entry
                                               point that ends the process

Leaf certificates are signed with SHA-1 so that Wine checks their chain as
Windows does, and every signature carries the root. No key or certificate
outlives the build tree.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SIGN_FILE = os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts", "sign_file.sh")

ROOTS = {"root": "/O=Brevant Updater tests/CN=Brevant Test Root",
         "other-root": "/O=Brevant Updater tests/CN=Untrusted Test Root"}

CA_CONFIG = """[ca]
default_ca = test_ca
[test_ca]
database = {db}/index.txt
new_certs_dir = {db}
serial = {db}/serial
policy = any_subject
unique_subject = no
email_in_dn = no
[any_subject]
organizationName = optional
organizationalUnitName = optional
commonName = supplied
"""

LEAF_EXTENSIONS = """[leaf]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def run(*command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if done.returncode != 0:
        sys.exit("%s failed:\n%s" % (" ".join(command), done.stdout))


def make_root(pki, name):
    key, cert = os.path.join(pki, name + ".key"), os.path.join(pki, name + ".pem")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
        "-subj", ROOTS[name], "-days", "7300", "-sha256",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    db = os.path.join(pki, name + "-db")
    os.makedirs(db)
    open(os.path.join(db, "index.txt"), "w").close()
    with open(os.path.join(db, "serial"), "w") as f:
        f.write("1000\n")
    with open(os.path.join(pki, name + ".cnf"), "w") as f:
        f.write(CA_CONFIG.format(db=db))


def make_leaf(pki, name, leaf):
    root = leaf.get("root", "root")
    request = os.path.join(pki, name + ".csr")
    run("openssl", "req", "-new", "-key", os.path.join(pki, "leaf.key"), "-subj", leaf["subject"],
        "-out", request)
    extensions = os.path.join(pki, name + ".ext")
    with open(extensions, "w") as f:
        f.write(LEAF_EXTENSIONS)
        if leaf["usages"]:
            f.write("extendedKeyUsage = %s\n" % leaf["usages"])
    validity = ["-days", "3650"]
    if "valid" in leaf:
        validity = ["-startdate", leaf["valid"][0], "-enddate", leaf["valid"][1]]
    run("openssl", "ca", "-batch", "-notext", "-preserveDN", "-md", "sha1",
        "-config", os.path.join(pki, root + ".cnf"), "-cert", os.path.join(pki, root + ".pem"),
        "-keyfile", os.path.join(pki, root + ".key"), "-in", request,
        "-out", os.path.join(pki, name + ".pem"), "-extfile", extensions, "-extensions", "leaf",
        *validity)


def make_pki(pki, leaves):
    shutil.rmtree(pki, ignore_errors=True)
    os.makedirs(pki)
    for root in ROOTS:
        make_root(pki, root)
    run("openssl", "genrsa", "-out", os.path.join(pki, "leaf.key"), "2048")
    for name, leaf in leaves.items():
        make_leaf(pki, name, leaf)


def sign(pki, leaves, leaf, source, target):
    root = leaves[leaf].get("root", "root")
    run("bash", SIGN_FILE, os.path.join(pki, leaf + ".pem"), os.path.join(pki, "leaf.key"),
        os.path.join(pki, root + ".pem"), source, target)


def flip_byte(path, offset):
    with open(path, "r+b") as f:
        f.seek(offset)
        byte = f.read(1)
        f.seek(offset)
        f.write(bytes([byte[0] ^ 0xFF]))


def unloadable_module(resource_module, scratch):
    """A file that is no resource module, to be signed like one: on Windows a
    PE image the loader refuses (its section alignment is not a power of two),
    on POSIX a string module cut short."""
    with open(resource_module, "rb") as f:
        data = bytearray(f.read())
    if data[:2] == b"MZ":
        pe = int.from_bytes(data[0x3C:0x40], "little")
        data[pe + 24 + 32:pe + 24 + 36] = (0x1001).to_bytes(4, "little")  # SectionAlignment
    else:
        data = data[:len(data) // 2]
    path = os.path.join(scratch, "unloadable")
    with open(path, "wb") as f:
        f.write(data)
    return path


def make_port(out, port, payload, resource_module, cases, leaves, pki, module_with_code=None):
    base = os.path.join(out, port)
    shutil.rmtree(base, ignore_errors=True)
    ext = os.path.splitext(payload)[1]
    directory = os.path.join(base, "cases")
    os.makedirs(directory)
    for case in cases:
        if "files" in case or case.get("missing"):
            continue
        target = os.path.join(directory, case["name"] + ext)
        if case["leaf"] is None:
            shutil.copyfile(payload, target)
            continue
        sign(pki, leaves, case["leaf"], payload, target)
        if case.get("altered"):
            flip_byte(target, os.path.getsize(payload) // 2)

    with tempfile.TemporaryDirectory() as scratch:
        unloadable = unloadable_module(resource_module, scratch)
        for kind, source, leaf in (("signed_module", resource_module, "maker"),
                                   ("unsigned_module", resource_module, None),
                                   ("unloadable_module", unloadable, "maker"),
                                   ("code_module", module_with_code, "maker")):
            if source is None:
                continue
            os.makedirs(os.path.join(base, kind))
            target = os.path.join(base, kind, "buResource.dll")
            if leaf is None:
                shutil.copyfile(source, target)
            else:
                sign(pki, leaves, leaf, source, target)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("cases")
    parser.add_argument("out")
    parser.add_argument("--native", nargs=2, metavar=("PAYLOAD", "MODULE"), required=True)
    parser.add_argument("--pe", nargs=4, action="append", default=[],
                        metavar=("PORT", "PAYLOAD", "MODULE", "MODULE_WITH_CODE"))
    options = parser.parse_args()
    with open(options.cases) as f:
        table = json.load(f)

    pki = os.path.join(options.out, "pki")
    make_pki(pki, table["leaves"])
    for port, payload, module, *with_code in [("native", *options.native)] + options.pe:
        make_port(options.out, port, payload, module, table["cases"], table["leaves"], pki,
                  *with_code)
    print("trust fixtures ready in %s (%s)" % (
        options.out, ", ".join(["native"] + [p[0] for p in options.pe])))


if __name__ == "__main__":
    main()
