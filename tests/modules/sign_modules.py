#!/usr/bin/env python3
"""Signs the test and sample modules of each port with the test PKI that
tests/trust/make_fixtures.py made, afresh on every run.

  sign_modules.py <pki> <out> --port <port> <module>... [--port <port> <module>...]

<out>/<port>/signed/<module>      signed by the maker's certificate
                                  (a module given as <name>=<path> is stored
                                  under <name>, e.g. unrar.dll=libunrar.so.5)
<out>/<port>/unsigned/<module>    as built
<out>/<port>/unloadable/TestAuth2.dll, TestDeploy2.dll
                                  signed by the maker, but not loadable by the
                                  port: natively a text file, on Windows the
                                  other architecture's module (when both
                                  Windows ports are given)
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SIGN_FILE = os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts", "sign_file.sh")
OTHER_ARCHITECTURE = {"win32": "win64", "win64": "win32"}
UNLOADABLE = ("TestAuth2.dll", "TestDeploy2.dll")


def sign(pki, source, target):
    done = subprocess.run(["bash", SIGN_FILE, os.path.join(pki, "maker.pem"),
                           os.path.join(pki, "leaf.key"), os.path.join(pki, "root.pem"),
                           source, target],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if done.returncode != 0:
        sys.exit("signing %s failed:\n%s" % (source, done.stdout))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("pki")
    parser.add_argument("out")
    parser.add_argument("--port", nargs="+", action="append", required=True,
                        metavar=("PORT", "MODULE"))
    options = parser.parse_args()
    ports = {port[0]: port[1:] for port in options.port}

    for port, modules in ports.items():
        base = os.path.join(options.out, port)
        shutil.rmtree(base, ignore_errors=True)
        for kind in ("signed", "unsigned", "unloadable"):
            os.makedirs(os.path.join(base, kind))
        for module in modules:
            # "<name>=<path>" gives the file its package name.
            name, _, path = module.rpartition("=")
            module = path
            name = name or os.path.basename(module)
            shutil.copyfile(module, os.path.join(base, "unsigned", name))
            sign(options.pki, module, os.path.join(base, "signed", name))

    with tempfile.TemporaryDirectory() as scratch:
        text = os.path.join(scratch, "text")
        with open(text, "w") as f:
            f.write("A signed file that is no module.\n")
        for port in ports:
            other = OTHER_ARCHITECTURE.get(port)
            if other is not None and other not in ports:
                continue
            for name in UNLOADABLE:
                source = text if other is None else os.path.join(options.out, other, "unsigned",
                                                                 name)
                sign(options.pki, source, os.path.join(options.out, port, "unloadable", name))
    print("signed modules ready in %s (%s)" % (options.out, ", ".join(ports)))


if __name__ == "__main__":
    main()
