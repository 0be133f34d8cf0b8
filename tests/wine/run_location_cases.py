#!/usr/bin/env python3
"""Module location through the real Windows registry, in the Wine test prefix.

Makes the LocalDLLs key with `wine reg add`, values in the 32-bit and the
64-bit view, runs location_probe.exe (tests/wine/location_probe.cpp) for each
case and compares the path it prints and the lines it logs. A 32-bit program
reads the 32-bit view by default and the 64-bit view when asked; a 64-bit
program sees the 64-bit view either way. The key is removed from both views
before and after the cases, so the first cases find no key at all.

    run_location_cases.py --arch win32|win64 --probe location_probe.exe
                          --wine-prefix DIR --wine-temp DIR
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
from wine_runner import WINE, run_started  # noqa: E402

LOG_NAME = "Log.BrevantUpdater.txt"
STAMP = re.compile(r"^[A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4} : ")
TIMEOUT = 60

KEY = "SOFTWARE\\Tarvenix\\BrevantUpdater\\LocalDLLs\\"
REG_KEY = "HKLM\\" + KEY.rstrip("\\")
OPENED = "REG SUCCESS: Success while opening key " + KEY
FETCHED = "REG SUCCESS: Succeeded while fetching the path from registry."
NOT_FETCHED = "REG FAILURE: Failed while fetching the path from registry."
NO_KEY = "REG FAILURE: Failed while opening the key " + KEY + " from registry. Return code: 2"


def short_notice(name):
    return "AUTH DLL LOCATION: BU will read the DLL %s location from registry." % name


def full_notice(kind, name):
    return "%s DLL LOCATION: BU will read the DLL location from registry - %s" % (kind, name)


def packaged(name):
    return "AUTH DLL LOCATION: The Authorization DLL %s is expected to be packaged with BU." % name


def found(entry):
    return "AUTH DLL: DLL found for Entry number %d." % entry


FITS = "x" * 4095   # with its terminator exactly 8192 bytes
TOO_LONG = "x" * 4096  # 8194 bytes

# (view, name, type, data); "both" adds the value to each view.
VALUES = [
    ("64", "Only64.dll", "REG_SZ", "C:\\Product64\\Only64.dll"),
    ("32", "Only32.dll", "REG_SZ", "C:\\Product32\\Only32.dll"),
    ("64", "Both.dll", "REG_SZ", "C:\\Product64\\Both.dll"),
    ("32", "Both.dll", "REG_SZ", "C:\\Product32\\Both.dll"),
    ("both", "Fits.dll", "REG_SZ", FITS),
    ("both", "TooLong.dll", "REG_SZ", TOO_LONG),
    ("both", "Expand.dll", "REG_EXPAND_SZ", "%SystemRoot%\\Expand.dll"),
    ("both", "Multi.dll", "REG_MULTI_SZ", "C:\\first\\0C:\\second"),
    ("both", "Dword.dll", "REG_DWORD", "0x00410042"),  # bytes 42 00 41 00: "BA", no NUL
]

# (what, probe arguments, {arch: (path, log)}); "any" stands for both arches.
NO_KEY_CASES = [
    ("key absent: both reads fail with 2", ["find", "local=Only64.dll"],
     {"any": ("", [short_notice("Only64.dll"), NO_KEY, NO_KEY])}),
    ("key absent: resolve fails with 2", ["resolve", "auth", "full", "local=Only64.dll"],
     {"any": ("", [full_notice("AUTH", "Only64.dll"), NO_KEY])}),
]

VALUE_CASES = [
    ("64-bit view only: found on the first read", ["find", "local=Only64.dll"],
     {"any": ("C:\\Product64\\Only64.dll",
              [short_notice("Only64.dll"), OPENED, FETCHED, found(0)])}),
    ("32-bit view only: found on the second read by the 32-bit program",
     ["find", "local=Only32.dll"],
     {"win32": ("C:\\Product32\\Only32.dll",
                [short_notice("Only32.dll"), OPENED, NOT_FETCHED, OPENED, FETCHED, found(0)]),
      "win64": ("", [short_notice("Only32.dll"), OPENED, NOT_FETCHED, OPENED, NOT_FETCHED])}),
    ("the walk goes on to a packaged entry", ["find", "local=Missing.dll", "package=Pkg.dll"],
     {"any": ("Pkg.dll", [short_notice("Missing.dll"), OPENED, NOT_FETCHED, OPENED, NOT_FETCHED,
                          packaged("Pkg.dll"), found(1)])}),
    ("resolve reads the default view", ["resolve", "auth", "full", "local=Both.dll"],
     {"win32": ("C:\\Product32\\Both.dll", [full_notice("AUTH", "Both.dll"), OPENED, FETCHED]),
      "win64": ("C:\\Product64\\Both.dll", [full_notice("AUTH", "Both.dll"), OPENED, FETCHED])}),
    ("deployment module in the 64-bit view only", ["resolve", "deploy", "full", "local=Only64.dll"],
     {"win32": ("", [full_notice("DEPLOY", "Only64.dll"), OPENED, NOT_FETCHED]),
      "win64": ("C:\\Product64\\Only64.dll", [full_notice("DEPLOY", "Only64.dll"), OPENED, FETCHED])}),
    ("value names ignore case on Windows", ["resolve", "auth", "short", "local=ONLY32.DLL"],
     {"win32": ("C:\\Product32\\Only32.dll", [short_notice("ONLY32.DLL"), OPENED, FETCHED]),
      "win64": ("", [short_notice("ONLY32.DLL"), OPENED, NOT_FETCHED])}),
    ("8192 bytes fit", ["resolve", "auth", "full", "local=Fits.dll"],
     {"any": (FITS, [full_notice("AUTH", "Fits.dll"), OPENED, FETCHED])}),
    ("8194 bytes do not", ["resolve", "auth", "full", "local=TooLong.dll"],
     {"any": ("", [full_notice("AUTH", "TooLong.dll"), OPENED, NOT_FETCHED])}),
    ("no expansion of environment references", ["resolve", "auth", "full", "local=Expand.dll"],
     {"any": ("%SystemRoot%\\Expand.dll", [full_notice("AUTH", "Expand.dll"), OPENED, FETCHED])}),
    ("the data ends at its first NUL", ["resolve", "auth", "full", "local=Multi.dll"],
     {"any": ("C:\\first", [full_notice("AUTH", "Multi.dll"), OPENED, FETCHED])}),
    ("the type is ignored, the data ends with the data", ["resolve", "auth", "full", "local=Dword.dll"],
     {"any": ("BA", [full_notice("AUTH", "Dword.dll"), OPENED, FETCHED])}),
]


class Wine:
    def __init__(self, prefix, temp):
        self.temp = temp
        self.env = dict(os.environ, WINEPREFIX=os.path.abspath(prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("DISPLAY", None)

    def run(self, args, check=True):
        """(exit code, stdout) of `wine args...`. Output goes to files, not pipes:
        Wine's helper processes would hold a pipe open after the program ended."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = run_started([WINE] + args, log=os.path.join(self.temp, LOG_NAME),
                               env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                               timeout=TIMEOUT)
            out.seek(0)
            err.seek(0)
            stdout = out.read().decode("latin-1").replace("\r\n", "\n")
            stderr = err.read().decode("latin-1")
        if check and done.returncode != 0:
            raise RuntimeError("wine %s: exit code %d\n%s" % (" ".join(args), done.returncode, stderr))
        return done.returncode, stdout

    def delete_key(self):
        for view in ("32", "64"):
            self.run(["reg", "delete", REG_KEY, "/f", "/reg:" + view], check=False)

    def add_values(self):
        for view, name, kind, data in VALUES:
            for v in (["32", "64"] if view == "both" else [view]):
                self.run(["reg", "add", REG_KEY, "/v", name, "/t", kind, "/d", data, "/f",
                          "/reg:" + v])

    def log(self):
        path = os.path.join(self.temp, LOG_NAME)
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
        if lines and lines[-1] == "":
            lines.pop()
        return [STAMP.sub("", line, count=1) for line in lines]

    def clear_log(self):
        path = os.path.join(self.temp, LOG_NAME)
        if os.path.exists(path):
            os.remove(path)


def run_cases(wine, probe, arch, cases):
    failures = 0
    for what, args, expected in cases:
        path, log = expected.get(arch, expected.get("any"))
        wine.clear_log()
        code, stdout = wine.run([probe] + args, check=False)
        actual_path = stdout.strip()
        problems = []
        if code != 0:
            problems.append("exit code %d" % code)
        if actual_path != "path=[%s]" % path:
            problems.append("printed %r, expected path=[%s]" % (actual_path[:200], path[:200]))
        actual_log = wine.log()
        if actual_log != log:
            problems.append("log differs\n  expected:\n%s\n  actual:\n%s" % (
                "\n".join("    " + repr(line) for line in log),
                "\n".join("    " + repr(line[:200]) for line in actual_log)))
        print("%s %s: %s" % ("FAIL" if problems else "ok  ", arch, what))
        for problem in problems:
            print("    " + problem)
        failures += bool(problems)
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--arch", required=True, choices=["win32", "win64"])
    parser.add_argument("--probe", required=True)
    parser.add_argument("--wine-prefix", required=True)
    parser.add_argument("--wine-temp", required=True)
    options = parser.parse_args()

    wine = Wine(options.wine_prefix, options.wine_temp)
    failures = 0
    wine.delete_key()
    try:
        failures += run_cases(wine, options.probe, options.arch, NO_KEY_CASES)
        wine.add_values()
        failures += run_cases(wine, options.probe, options.arch, VALUE_CASES)
    finally:
        wine.delete_key()
        wine.clear_log()
    print("%d case(s) failed" % failures if failures else "all cases passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
