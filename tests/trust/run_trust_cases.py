#!/usr/bin/env python3
"""Runs the signature check's cases (cases.json) against one build: the POSIX
probe natively, or a Windows probe under Wine. For each case the probe checks
the case's files in one process; its answer and the exact log lines are
compared with the table. Natively it also loads a signed shared object with
dlopen. Prints one line per case and the time each check took.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
from wine_runner import WINE, run_started  # noqa: E402

LOG_NAME = "Log.BrevantUpdater.txt"
STAMP = re.compile(r"^[A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4} : ")
ANSWER = re.compile(r"^(.*): (true|false) ([0-9.]+) ms( still open)?$")
TIMEOUT = 60


def log_lines(path, newline):
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    lines = text.split(newline)
    if lines and lines[-1] == "":
        lines.pop()
    return [STAMP.sub("", line, count=1) if STAMP.match(line) else "<unstamped> " + line
            for line in lines]


def run_probe(options, probe, cwd, files, dll_overrides=None):
    """(exit code, stdout, log lines) of one probe run in `cwd`."""
    if options.target == "native":
        temp = os.path.join(options.work, "temp")
        shutil.rmtree(temp, ignore_errors=True)
        os.makedirs(temp)
        env = dict(os.environ, TMPDIR=temp, SSL_CERT_FILE=options.root,
                   SSL_CERT_DIR=os.path.dirname(options.root))
        command, newline = [probe] + files, "\n"
    else:
        temp = options.wine_temp
        if os.path.exists(os.path.join(temp, LOG_NAME)):
            os.remove(os.path.join(temp, LOG_NAME))
        env = dict(os.environ, WINEPREFIX=options.wine_prefix, WINEDEBUG="-all")
        if dll_overrides:
            env["WINEDLLOVERRIDES"] = dll_overrides
        env.pop("DISPLAY", None)
        command, newline = [WINE, probe] + files, "\r\n"
    # Into a file, not a pipe: helper processes that Wine starts inherit the
    # probe's output and would hold a pipe open for a second after it ended.
    # The probe answers "false" with exit code 1, but never without a word.
    with tempfile.TemporaryFile() as output, tempfile.TemporaryFile() as errors:
        done = run_started(command, log=os.path.join(temp, LOG_NAME), cwd=cwd, env=env,
                           stdout=output, stderr=errors, timeout=TIMEOUT)
        output.seek(0)
        stdout = output.read().decode("utf-8", "replace").replace("\r\n", "\n")
    return done.returncode, stdout, log_lines(os.path.join(temp, LOG_NAME), newline)


def planted_directory(options, cases_dir, files):
    """A folder holding the probe, a stand-in wintrust.dll and the files:
    the program's folder and the current directory both hold the plant."""
    directory = os.path.join(options.work, "planted")
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    for source in [options.probe, options.planted] + [os.path.join(cases_dir, f) for f in files]:
        shutil.copy(source, directory)
    return directory, os.path.join(directory, os.path.basename(options.probe))


def run_case(options, case, cases_dir, ext, timings):
    files = [name + ext for name in case.get("files", [case["name"]])]
    cwd, probe = cases_dir, options.probe
    if case.get("planted"):
        cwd, probe = planted_directory(options, cases_dir, files)
    code, stdout, log = run_probe(options, probe, cwd, files, case.get("dll_overrides"))

    problems = []
    answers = [ANSWER.match(line) for line in stdout.splitlines()]
    if len(answers) != len(files) or not all(answers):
        problems.append("probe printed %r" % stdout)
    else:
        for match in answers:
            timings.setdefault(case["name"], []).append(float(match.group(3)))
            if match.group(4):
                problems.append("%s is still held open after its check" % match.group(1))
    expected_code = 0 if case["answer"] else 1
    if code != expected_code:
        problems.append("answer: expected %s (exit %d), got exit %d"
                        % (case["answer"], expected_code, code))
    if log != case["log"]:
        problems.append("log differs\n  expected:\n%s\n  actual:\n%s" % (
            "\n".join("    " + repr(line) for line in case["log"]),
            "\n".join("    " + repr(line) for line in log)))
    return problems


def check_dlopen(options, cases_dir, ext):
    """A signed shared object still loads and runs."""
    signed = os.path.abspath(os.path.join(cases_dir, "signed_by_maker" + ext))
    done = subprocess.run([options.dlopen_check, signed], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=TIMEOUT)
    if done.returncode != 0:
        return ["dlopen of the signed shared object failed: %s" % done.stdout.decode()]
    return []


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("cases")
    parser.add_argument("--fixtures", required=True, help="make_fixtures.py's output")
    parser.add_argument("--target", required=True, choices=["native", "win32", "win64"])
    parser.add_argument("--probe", required=True)
    parser.add_argument("--work", help="scratch directory (default: <fixtures>/<target>/work)")
    parser.add_argument("--dlopen-check", help="native: the dlopen test program")
    parser.add_argument("--planted", help="Windows: the stand-in wintrust.dll")
    parser.add_argument("--wine-prefix")
    parser.add_argument("--wine-temp", help="the prefix's temporary directory (Unix path)")
    options = parser.parse_args()
    options.probe = os.path.abspath(options.probe)
    options.root = os.path.join(os.path.abspath(options.fixtures), "pki", "root.pem")
    options.work = os.path.abspath(options.work or os.path.join(options.fixtures, options.target,
                                                                "work"))
    os.makedirs(options.work, exist_ok=True)
    with open(options.cases) as f:
        cases = json.load(f)["cases"]

    cases_dir = os.path.join(os.path.abspath(options.fixtures), options.target, "cases")
    ext = ".so" if options.target == "native" else ".dll"
    failed, ran, timings = 0, 0, {}
    started = time.monotonic()
    for case in cases:
        if options.target not in case.get("targets", [options.target]):
            continue
        problems = run_case(options, case, cases_dir, ext, timings)
        ran += 1
        failed += bool(problems)
        shown = " ".join("%.2f" % t for t in timings.get(case["name"], []))
        print("%-4s %s [%s] %s ms" % ("FAIL" if problems else "ok", case["name"], options.target,
                                      shown))
        for problem in problems:
            print("     " + problem.replace("\n", "\n     "))
    if options.dlopen_check:
        problems = check_dlopen(options, cases_dir, ext)
        ran += 1
        failed += bool(problems)
        print("%-4s signed_shared_object_loads_with_dlopen [%s]"
              % ("FAIL" if problems else "ok", options.target))
        for problem in problems:
            print("     " + problem)
    print("%d of %d cases failed (%.1f s)" % (failed, ran, time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
