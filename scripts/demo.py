#!/usr/bin/env python3
"""Runs the command lines of demo/commands.json against demo/package with each
build and prints what a user would see: boxes (Yes/No boxes are answered Yes,
the others OK), the exit code, and the lines the run added to the log."""

import json
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from native_runner import run_native  # noqa: E402
from wine_runner import run_under_wine  # noqa: E402

BUILD = os.path.join(ROOT, "build")
LOG_NAME = "Log.BrevantUpdater.txt"
PROGRAMS = [
    ("native", os.path.join(BUILD, "brevUpdater")),
    ("win32", os.path.join(BUILD, "windows-i686", "brevUpdater.exe")),
    ("win64", os.path.join(BUILD, "windows-x86_64", "brevUpdater64.exe")),
]


def log_size(path):
    return os.path.getsize(path) if os.path.exists(path) else 0


def new_log_lines(path, offset):
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        f.seek(offset)
        return f.read().decode("latin-1").splitlines()


def show(target, command, code, boxes):
    shown = " ".join(command["args"])
    if command.get("sfxcmd") is not None:
        shown = "sfxcmd=%r %s" % (command["sfxcmd"], shown)
    print("\n=== %s: brevUpdater %s" % (target, shown))
    for box in boxes:
        print("  [box] %s (%s, %s) -> %s" % (box.get("caption"), box.get("icon"),
                                            box.get("buttons"), box.get("answer", "")))
        for line in box.get("text", "").split("\n"):
            print("        | " + line)
    print("  exit code: %s" % code)


def main():
    with open(os.path.join(ROOT, "demo", "commands.json"), encoding="utf-8") as f:
        commands = json.load(f)
    work = tempfile.mkdtemp(prefix="bu-demo-")
    package = os.path.join(work, "package")
    shutil.copytree(os.path.join(ROOT, "demo", "package"), package)
    native_temp = os.path.join(work, "temp")
    os.makedirs(native_temp)
    wine_prefix = os.path.join(BUILD, "demo-wineprefix")
    wine_temp = os.path.join(work, "wine-temp")
    subprocess.run([os.path.join(ROOT, "tests", "wine", "make_prefix.sh"), wine_prefix, wine_temp],
                   check=True)
    try:
        for target, program in PROGRAMS:
            temp = native_temp if target == "native" else wine_temp
            log = os.path.join(temp, LOG_NAME)
            for command in commands:
                before = log_size(log)
                if target == "native":
                    code, boxes, _ = run_native(program, command["args"], package, temp,
                                                command.get("sfxcmd"), ["y"] * 8)
                else:
                    # Boxes nobody expects are answered with their default button:
                    # OK, or Yes for the confirmation.
                    boxhelper = os.path.join(os.path.dirname(program), "tests", "wine",
                                             "boxhelper.exe")
                    run = run_under_wine("wine", wine_prefix, program, command["args"], package,
                                         {"sfxcmd": command.get("sfxcmd")}, [], 60, boxhelper)
                    code, boxes = run.exit_code, run.boxes + run.unexpected_boxes
                for box in boxes:
                    box["answer"] = "yes" if box.get("buttons") == "Yes/No" else "ok"
                show(target, command, code, boxes)
                print("  log:")
                for line in new_log_lines(log, before):
                    print("    " + line)
    finally:
        subprocess.run([os.path.join(ROOT, "tests", "wine", "stop_prefix.sh"), wine_prefix])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
