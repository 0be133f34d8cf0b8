#!/usr/bin/env python3
"""Runs brevCheck's cases (cases.json) against one build: natively, or a
Windows build under Wine. Every case builds the package that deploys (signed
test modules, the port's signed unrar.dll, an archive made with rar), breaks
one thing in it, runs `brevCheck --json <package>` and checks the exit code
and the findings the case expects; the table output must name the same
checks, hold the texts the case lists under 'table' and no control character
but line ends and tabs, and nothing in the package may change.
"""

import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(TESTS, "e2e"))
sys.path.insert(0, os.path.join(TESTS, "archives"))

sys.path.insert(0, os.path.join(os.path.dirname(TESTS), "scripts"))

import demo  # noqa: E402
import make_archives  # noqa: E402
from run_scenarios import find_fixture  # noqa: E402
from scenarios import report_case  # noqa: E402
from wine_runner import WINE, run_started, wine_environment  # noqa: E402

TIMEOUT = 120
CONFIG = """<?xml version="1.0" encoding="windows-1252"?>
<package>
  <product>
    <update-file>Update.rar</update-file>
    {description}
    <auth-dll-info><content-type>auth=0</content-type><location>package</location>
      <dll-name>{auth}</dll-name></auth-dll-info>
    <deploy-dll-info><content-type>path=x</content-type><location>{deploy_location}</location>
      <dll-name>TestDeploy3.dll</dll-name></deploy-dll-info>
  </product>
</package>
"""


def snapshot(folder):
    found = {}
    for root, _, files in os.walk(folder):
        for name in files:
            with open(os.path.join(root, name), "rb") as f:
                found[os.path.relpath(os.path.join(root, name), folder)] = hashlib.sha1(
                    f.read()).hexdigest()
    return found


def build_demo_package(options, package):
    """The demo package as scripts/demo.sh assembles it, signed by the test
    maker, with this program's sample modules and the test unrar.dll."""
    os.makedirs(package)
    shutil.copyfile(os.path.join(demo.ROOT, "demo", "package", "buConfig.xml"),
                    os.path.join(package, "buConfig.xml"))
    demo.make_archives(package)
    samples = os.path.join(os.path.dirname(options.program), "sdk")
    for name in demo.PACKAGED:
        demo.sign(options.pki, os.path.join(samples, name), os.path.join(package, name))
    shutil.copyfile(find_fixture(options, "signed/unrar.dll"), os.path.join(package, "unrar.dll"))


def build_package(options, case, package):
    if case.get("no_folder"):
        return None
    if case.get("demo"):
        return build_demo_package(options, package)
    os.makedirs(package)
    sep = "/" if options.target == "native" else "\\"
    config = {"description": "<update-description>Update</update-description>",
              "auth": "TestAuth2.dll", "deploy_location": "package"}
    for key, value in case.get("config", {}).items():
        config[key] = "" if value is None else value.replace("{sep}", sep)
    with open(os.path.join(package, "buConfig.xml"), "w") as f:
        f.write(CONFIG.format(**config))
    files = {"TestAuth2.dll": "signed/TestAuth2.dll", "TestDeploy3.dll": "signed/TestDeploy3.dll",
             "unrar.dll": "signed/unrar.dll"}
    files.update(case.get("files", {}))
    for name, fixture in files.items():
        if fixture == "{directory}":  # a name that is no file: unreadable as one
            os.makedirs(os.path.join(package, name))
        elif fixture is not None:
            shutil.copyfile(find_fixture(options, fixture), os.path.join(package, name))
        elif os.path.exists(os.path.join(package, name)):
            os.remove(os.path.join(package, name))
    if case.get("sibling"):
        shutil.copyfile(options.sibling, os.path.join(package, "brevUpdater64.exe"))
    archive = case.get("archive")
    if "Update.rar" in files:
        return
    with tempfile.TemporaryDirectory() as made:
        if archive:
            make_archives.RECIPES[archive](made)
        else:
            make_archives.make(made, ["first.txt", "last.txt"])
        shutil.copyfile(os.path.join(made, case.get("archive_file", make_archives.ARCHIVE)),
                        os.path.join(package, "Update.rar"))


def add_manifest(options, package, spec):
    """The manifest this program's `brevCheck --manifest` writes, signed by
    the test maker unless 'signer' is null (the POSIX program reads the
    appended form), then the files of 'changed' changed by one byte."""
    code, printed = run_check(options, ["--manifest", package])
    if code != 0:
        raise RuntimeError("brevCheck --manifest failed: " + printed)
    manifest = os.path.join(package, "buManifest.dll")
    if spec.get("signer", "maker") is not None:
        demo.sign(options.pki, manifest, manifest, appended=options.target == "native")
    for name in spec.get("changed", []):
        with open(os.path.join(package, name), "ab") as f:
            f.write(b"\n")


def plant_links(package, links):
    """Each name becomes a symbolic link to its target; a file already at the
    name is moved to the target first (out of the package, say)."""
    for name, target in links.items():
        path = os.path.join(package, name)
        if os.path.exists(path):
            os.rename(path, os.path.join(os.path.dirname(path), target))
        os.symlink(target, path)


def run_check(options, arguments):
    env = dict(os.environ, LC_ALL="C.UTF-8", TMPDIR=options.work)
    if options.target == "native":
        env.update(SSL_CERT_FILE=os.path.join(options.pki, "root.pem"), SSL_CERT_DIR=options.pki)
        command = [options.program] + arguments
    else:
        env = wine_environment(options.wine_prefix)
        command = [WINE, options.program] + [
            "Z:" + a.replace("/", "\\") if a.startswith("/") else a for a in arguments]
    # Into a file, not a pipe: processes Wine starts would hold a pipe open.
    with tempfile.TemporaryFile() as output:
        done = run_started(command, env=env, stdin=subprocess.DEVNULL, stdout=output,
                           stderr=subprocess.STDOUT, timeout=TIMEOUT)
        output.seek(0)
        return done.returncode, output.read().decode("utf-8", "replace")


def run_case(options, case):
    package = os.path.join(options.work, case["name"], "package")
    shutil.rmtree(os.path.dirname(package), ignore_errors=True)
    build_package(options, case, package)
    if "manifest" in case:
        add_manifest(options, package, case["manifest"])
    plant_links(package, case.get("links", {}))
    before = snapshot(package)
    problems = []
    extra = case.get("options", [])
    code, printed = run_check(options, ["--json"] + extra + [package])
    table_code, table = run_check(options, extra + [package])
    if code != case["exit"] or table_code != case["exit"]:
        problems.append("exit codes %s (--json) and %s, expected %s" % (code, table_code,
                                                                       case["exit"]))
    try:
        report = json.loads(printed)
    except ValueError:
        return problems + ["not one JSON document:\n" + printed]
    sep = "/" if options.target == "native" else "\\"
    for check, level, text in case["expect"]:
        check = check.replace("{sep}", sep)
        found = [f for f in report["findings"] if f["check"] == check]
        if not any(f["level"] == level and text in f["detail"] for f in found):
            problems.append("no %s finding for %r with %r; found %r" % (level, check, text, found))
        elif check not in table:
            problems.append("the table does not name %r" % check)
    for text in case.get("table", []):
        if text not in table:
            problems.append("the table does not hold %r" % text)
    if any(ord(c) < 0x20 and c not in "\t\r\n" for c in table):
        problems.append("the table holds a control character")
    if report["ok"] != (report["errors"] == 0) or (case["exit"] == 0) != report["ok"]:
        problems.append("summary: %r" % {k: report[k] for k in ("ok", "errors", "warnings")})
    if snapshot(package) != before:
        problems.append("the package changed")
    if problems:
        problems.append("the table:\n" + table)
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--target", required=True, choices=["native", "win32", "win64"])
    parser.add_argument("--program", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--pki", required=True)
    parser.add_argument("--fixtures", action="append", default=[])
    parser.add_argument("--sibling")
    parser.add_argument("--wine-prefix")
    parser.add_argument("cases")
    options = parser.parse_args()
    options.work = os.path.abspath(options.work)
    os.makedirs(options.work, exist_ok=True)
    with open(options.cases) as f:
        cases = [c for c in json.load(f)["cases"] if options.target in c.get("targets", [options.target])]
    failed = 0
    for case in cases:
        failed += report_case(case["name"], options.target, run_case(options, case))
    print("%d of %d check cases failed" % (failed, len(cases)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
