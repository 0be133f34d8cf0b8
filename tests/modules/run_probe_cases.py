#!/usr/bin/env python3
"""Runs the module contract's driver cases (probe_cases.json) against one
build: the POSIX driver natively, or a Windows driver under Wine. Each case
runs the driver once in a fresh directory and compares what it printed, the
test modules' trace (what was loaded, called with which arguments, released
and unloaded) and the exact log lines with the table.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
from scenarios import report_case  # noqa: E402
from wine_runner import WINE, run_started  # noqa: E402

LOG_NAME = "Log.BrevantUpdater.txt"
STAMP = re.compile(r"^[A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4} : ")
TIMEOUT = 60

VERIFIED = ["AUTH TVXSIGNED BEGIN: Started.",
            "AUTH TVXSIGNED CLASS3 BEGIN: Entering CriticalSection Initialization .",
            "AUTH TVXSIGNED CLASS3: Finding code signing : TRUE.",
            "AUTH TVXSIGNED END: Finished processing. Returns TRUE"]
REFUSED = ["AUTH TVXSIGNED BEGIN: Started.",
           "AUTH TVXSIGNED: Provider is unknown, returning FALSE."]
LOADED = {
    "auth": ["AUTH TVXSIGNED SUCCESS: Successfully verified Tarvenix Signature for the "
             "authorization dll {auth}",
             "AUTH LOAD SUCCESS: Successfully loaded the authorization dll - {auth}"],
    "deploy": ["DEPLOY TVXSIGNED SUCCESS: Successfully verified Tarvenix Signature for the "
               "deployment dll {deploy}",
               "DEPLOY LOAD SUCCESS: Successfully loaded the deployment dll - {deploy}"],
}


def read_lines(path, newline):
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").split(newline)
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def log_lines(path, newline):
    return [STAMP.sub("", line, count=1) if STAMP.match(line) else "<unstamped> " + line
            for line in read_lines(path, newline)]


class Target:
    def __init__(self, options):
        self.options = options
        self.native = options.target == "native"

    def path(self, unix_path):
        """A file name as the driver must be given it."""
        if self.native:
            return unix_path
        return "Z:" + os.path.abspath(unix_path).replace("/", "\\")

    def run(self, arguments, cwd, env_extra):
        options = self.options
        env = dict(os.environ)
        if self.native:
            temp = os.path.join(options.work, "temp")
            shutil.rmtree(temp, ignore_errors=True)
            os.makedirs(temp)
            env.update(TMPDIR=temp, SSL_CERT_FILE=os.path.join(options.pki, "root.pem"),
                       SSL_CERT_DIR=options.pki, LC_ALL="C.UTF-8")
            command, newline = [options.probe] + arguments, "\n"
        else:
            temp = options.wine_temp
            if os.path.exists(os.path.join(temp, LOG_NAME)):
                os.remove(os.path.join(temp, LOG_NAME))
            env.update(WINEPREFIX=options.wine_prefix, WINEDEBUG="-all")
            env.pop("DISPLAY", None)
            command, newline = [WINE, options.probe] + arguments, "\r\n"
        env.update(env_extra)
        # Into a file, not a pipe: processes Wine starts inherit the output
        # and would hold a pipe open after the driver ended.
        with tempfile.TemporaryFile() as output:
            done = run_started(command, log=os.path.join(temp, LOG_NAME), cwd=cwd, env=env,
                               stdout=output, stderr=subprocess.STDOUT, timeout=TIMEOUT)
            output.seek(0)
            stdout = output.read().decode("utf-8", "replace").replace("\r\n", "\n")
        return done.returncode, stdout.splitlines(), log_lines(os.path.join(temp, LOG_NAME),
                                                               newline)


def expand_log(lines, names):
    expanded = []
    for line in lines:
        if line == "{verified}":
            expanded += VERIFIED
        elif line == "{refused}":
            expanded += REFUSED
        elif line in ("{auth loaded}", "{deploy loaded}"):
            expanded += VERIFIED + LOADED[line[1:-8]]
        else:
            expanded.append(line)
    return [fill(line, names) for line in expanded]


def fill(text, names):
    for mark, value in names.items():
        text = text.replace("{%s}" % mark, value)
    return text


def run_case(target, case):
    options = target.options
    work = os.path.join(options.work, case["name"])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    fixtures = os.path.join(options.fixtures, options.target)
    for name, source in case.get("place", {}).items():
        shutil.copyfile(os.path.join(fixtures, source), os.path.join(work, name))
    for directory in case.get("dirs", []):
        os.makedirs(os.path.join(work, directory))
    for name, text in case.get("write", {}).items():
        with open(os.path.join(work, name), "w") as f:
            f.write(text)

    names = {"work": target.path(work)}
    for kind in ("auth", "deploy"):
        module = case[kind]
        names[kind] = target.path(os.path.join(fixtures, module)) if "/" in module else module
    trace = os.path.join(work, "trace.txt")
    env = {name: fill(value, names) for name, value in case.get("env", {}).items()}
    env["BU_MODULE_TRACE"] = target.path(trace)
    arguments = case.get("options", []) + [names["auth"], names["deploy"]] + [
        fill(text, names) for text in case["types"]]
    code, stdout, log = target.run(arguments, work, env)

    problems = []
    expected_stdout = [fill(line, names) for line in case["stdout"]]
    for what, expected, actual in (("output", expected_stdout, stdout),
                                   ("trace", case["trace"], read_lines(trace, "\n")),
                                   ("log", expand_log(case["log"], names), log)):
        if expected != actual:
            problems.append("%s differs\n  expected:\n%s\n  actual:\n%s" % (
                what, "\n".join("    " + repr(line) for line in expected),
                "\n".join("    " + repr(line) for line in actual)))
    codes = [int(line.split()[1]) for line in stdout if line.split()[0] != "releaseModules"]
    expected_code = next((c for c in codes if c != 0), 0)
    if code != expected_code:
        problems.append("exit code %d, expected %d" % (code, expected_code))
    for name, text in case.get("files", {}).items():
        path = os.path.join(work, name)
        found = open(path).read().replace("\r\n", "\n") if os.path.exists(path) else None
        if found != text:
            problems.append("%s holds %r, expected %r" % (name, found, text))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("cases")
    parser.add_argument("--fixtures", required=True, help="sign_modules.py's output")
    parser.add_argument("--pki", required=True, help="the test PKI (root.pem)")
    parser.add_argument("--target", required=True, choices=["native", "win32", "win64"])
    parser.add_argument("--probe", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--wine-prefix")
    parser.add_argument("--wine-temp", help="the prefix's temporary directory (Unix path)")
    options = parser.parse_args()
    options.probe = os.path.abspath(options.probe)
    options.work = os.path.abspath(options.work)
    options.fixtures = os.path.abspath(options.fixtures)
    options.pki = os.path.abspath(options.pki)
    os.makedirs(options.work, exist_ok=True)
    with open(options.cases) as f:
        cases = json.load(f)["cases"]

    target = Target(options)
    failed = 0
    for case in cases:
        failed += report_case(case["name"], options.target, run_case(target, case))
    print("%d of %d cases failed" % (failed, len(cases)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
