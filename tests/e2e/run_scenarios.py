#!/usr/bin/env python3
"""Runs a scenario file against one build: the POSIX program, or one of the
Windows programs under Wine. Each scenario gets a fresh package directory and
temporary directory; the exit code, the log's bytes and every box are checked.
"""

import argparse
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import scenarios  # noqa: E402
import deployment  # noqa: E402
from native_runner import run_native  # noqa: E402

LOG_NAME = "Log.BrevantUpdater.txt"
# The exit code CTest reports as a skipped test.
SKIPPED = 77


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def find_fixture(options, relative):
    for directory in options.fixtures:
        candidate = os.path.join(directory, relative)
        if os.path.exists(candidate):
            return candidate
    raise FileNotFoundError("fixture %s not found in %s" % (relative, options.fixtures))


def run_one(options, scenario):
    work = fresh_dir(os.path.join(options.work, scenario["name"]))
    scenario = deployment.expand(scenario, deployment.run_words(options.target, work))
    package = fresh_dir(os.path.join(work, "package"))
    for name, fixture in scenario.get("files", {}).items():
        if isinstance(fixture, dict):
            scenarios.write_generated(fixture, os.path.join(package, name))
        else:
            shutil.copyfile(find_fixture(options, fixture), os.path.join(package, name))
    if scenario.get("sibling"):
        shutil.copyfile(options.sibling, os.path.join(package, "brevUpdater64.exe"))
    wine = None
    if options.target != "native":
        from wine_runner import WINE, wine_environment
        wine = (WINE, wine_environment(options.wine_prefix))
    deploy = deployment.Deployment(scenario, options.target, work,
                                   lambda fixture: find_fixture(options, fixture), wine,
                                   options.pki)
    deploy.prepare(package)
    scenario = deployment.expand(scenario, deploy.words)
    answers = [box["answer"] for box in scenario["boxes"]]

    if options.target == "native":
        temp_dir = fresh_dir(os.path.join(work, "temp"))
        if scenario.get("unwritable_temp"):
            temp_dir = os.path.join(temp_dir, "missing")
        yes_no = [("y" if a == "yes" else "n") for a, box in zip(answers, scenario["boxes"])
                  if box["buttons"] == "Yes/No"]
        code, boxes, stderr = run_native(options.program, scenario["args"], package, temp_dir,
                                         scenario["sfxcmd"], yes_no,
                                         extra_env={**options.env, **deploy.env})
        newline = "\n"
    else:
        from wine_runner import WINE, run_under_wine
        temp_dir = options.wine_temp
        os.makedirs(temp_dir, exist_ok=True)
        if os.path.exists(os.path.join(temp_dir, LOG_NAME)):
            os.remove(os.path.join(temp_dir, LOG_NAME))
        env = {"sfxcmd": scenario["sfxcmd"], **deploy.env}
        expected_boxes = [(box["caption"], box["answer"]) for box in scenario["boxes"]]
        run = run_under_wine(WINE, options.wine_prefix, options.program, scenario["args"],
                             package, env, expected_boxes, 60, options.boxhelper,
                             log=os.path.join(temp_dir, LOG_NAME))
        code, stderr = run.exit_code, run.stderr
        boxes = run.boxes + run.unexpected_boxes
        newline = "\r\n"
        if run.timed_out:
            stderr = "the program did not end and was killed\n" + stderr
        stderr = "\n".join(run.errors + [stderr])

    problems = []
    if code != scenario["exit"]:
        problems.append("exit code: expected %s, got %s" % (scenario["exit"], code))
    log_path = os.path.join(temp_dir, LOG_NAME)
    content = b""
    if os.path.exists(log_path):
        with open(log_path, "rb") as f:
            content = f.read()
    expected_log = [] if scenario.get("unwritable_temp") else scenario["expected_log"]
    problems += scenarios.check_log(content, expected_log, newline)
    problems += scenarios.check_boxes(boxes, scenario["boxes"])
    problems += deploy.check()
    deploy.clear_registry()
    if problems and stderr.strip() and options.target != "native":
        problems.append("stderr:\n" + stderr)
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--target", required=True, choices=["native", "win32", "win64"])
    parser.add_argument("--program", required=True)
    parser.add_argument("--work", required=True, help="scratch directory for the runs")
    parser.add_argument("--wine-prefix")
    parser.add_argument("--wine-temp", help="the prefix's temporary directory (Unix path)")
    parser.add_argument("--boxhelper")
    parser.add_argument("--sibling", help="the 64-bit program, for scenarios that hand over to it")
    parser.add_argument("--pki", help="the test PKI, for scenarios that sign a manifest")
    parser.add_argument("--only", help="run only the scenario of this name")
    parser.add_argument("--smoke", action="store_true",
                        help="run only the scenarios marked as the smoke set (where the program "
                             "runs only under emulation)")
    parser.add_argument("--fixtures", action="append", default=[],
                        help="a directory the scenarios' files are taken from (repeatable)")
    parser.add_argument("--native-env", action="append", default=[],
                        help="NAME=VALUE added to the POSIX program's environment (repeatable)")
    parser.add_argument("file")
    options = parser.parse_args()
    options.program = os.path.abspath(options.program)
    options.env = dict(item.split("=", 1) for item in options.native_env)

    failed = 0
    chosen = [s for s in scenarios.load(options.file, options.target)
              if not options.smoke or s.get("smoke")]
    if not chosen and options.smoke:
        print("skipped: no scenario of this file is in the smoke set")
        return SKIPPED
    for scenario in chosen:
        if options.only and scenario["name"] != options.only:
            continue
        failed += scenarios.report_case(scenario["name"], options.target,
                                        run_one(options, scenario))
    print("%d of %d scenarios failed" % (failed, len(chosen)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
