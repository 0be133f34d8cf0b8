#!/usr/bin/env python3
"""What happens to the destination when an extraction is killed, or raced,
with the POSIX driver and Debian's UnRAR library.

  crash     the driver is killed (strace injects SIGKILL) at each rename,
            removal and flush of an extraction over an older tree in turn;
            the next run, of a damaged archive, must find the dead run's
            staging directory, undo or finish it (one log line saying
            which) and leave exactly the old tree or exactly the new one;
            a run after it leaves the new one; no staging directory stays.
            Two runs at once into one destination both land it, whole.
  redirect  while extractions of 2,000 files run into a world-writable
            destination, another process keeps renaming the staging
            directory and putting a link to a directory outside in its
            place: nothing may appear outside, and a run that answers 0 must
            have placed every file.

  run_placement_races.py crash|redirect --archives <made archives> --pki <test PKI>
      --driver <extract_probe> --unrar <the library> --work <scratch>
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import threading

from run_archive_cases import LOG_NAME, plant_older, prepare_libraries, read_log, tree_state

STAGING = ".bu-extract-"
# The calls that change the destination or the staging directory, or flush
# the journal: a kill just before each of them in turn.
CRASH_POINTS = ("renameat2", "unlinkat", "fsync", "syncfs")
RECOVERED = re.compile(r"^UNRAR RECOVERY: (Rolled back|Finished the clean-up of) ")
TIMEOUT = 120


class Runner:
    def __init__(self, options):
        self.options = options
        self.library = prepare_libraries(options)["signed"]

    def package(self, base, archive):
        package = os.path.join(base, "package")
        os.makedirs(package, exist_ok=True)
        shutil.copyfile(os.path.join(self.options.archives, archive, "update.rar"),
                        os.path.join(package, "update.rar"))
        shutil.copyfile(self.library, os.path.join(package, "unrar.dll"))
        return package

    def run(self, base, archive, destination, prefix=()):
        """Runs the driver on `archive` into `destination`: exit code and log."""
        package = self.package(base, archive)
        temp = os.path.join(base, "temp")
        os.makedirs(temp, exist_ok=True)
        log = os.path.join(temp, LOG_NAME)
        if os.path.exists(log):
            os.remove(log)
        pki = self.options.pki
        env = dict(os.environ, LC_ALL="C.UTF-8", TMPDIR=temp,
                   SSL_CERT_FILE=os.path.join(pki, "root.pem"), SSL_CERT_DIR=pki)
        done = subprocess.run(list(prefix) + [self.options.driver, "update.rar", destination],
                              cwd=package, env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=TIMEOUT)
        return done.returncode, read_log(log, "\n", "utf-8")


def contents(destination):
    """The tree below `destination` as tree_state gives it, but for the
    times of directories, which each run sets anew where it makes one."""
    state = {}
    for name, looks in tree_state(destination).items():
        mode, time, what = looks.split(" ", 2)
        if name != ".":
            state[name] = looks if what != "directory" else mode + " " + what
    return state


def staging_left(destination):
    return [name for name in os.listdir(destination) if name.startswith(STAGING)]


def older_tree(base, entries):
    """An older install of part of the archive: the rest is new to it, so the
    update both replaces files and adds directories."""
    destination = os.path.join(base, "destination")
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(destination)
    plant_older(destination, [name for name in entries if name.startswith(("docs/", "read"))])
    return destination


def crash(runner, options):
    with open(os.path.join(options.archives, "normal", "entries.json"), encoding="utf-8") as f:
        entries = sorted(__import__("json").load(f))
    base = os.path.join(options.work, "crash")
    destination = older_tree(base, entries)
    old = contents(destination)
    code, _ = runner.run(base, "normal", destination)
    if code != 0:
        return ["the extraction without a kill answered %s" % code]
    new = contents(destination)

    trace = os.path.join(options.work, "crash-trace.txt")
    destination = older_tree(base, entries)
    runner.run(base, "normal", destination,
               ["strace", "-qq", "-o", trace, "-e", "trace=" + ",".join(CRASH_POINTS)])
    with open(trace) as f:
        calls = [line.split("(")[0].strip() for line in f if "(" in line]
    problems, kills = [], 0
    for call in CRASH_POINTS:
        for when in range(1, calls.count(call) + 1):
            point = "killed before %s #%d" % (call, when)
            destination = older_tree(base, entries)
            code, _ = runner.run(base, "normal", destination,
                                 ["strace", "-qq", "-o", "/dev/null", "-e", "trace=" + call,
                                  "-e", "inject=%s:signal=SIGKILL:when=%d" % (call, when)])
            if code == 0:
                continue  # the run ended before that call was made
            kills += 1
            code, log = runner.run(base, "second_damaged", destination)
            recovered = [line for line in log if RECOVERED.match(line)]
            if contents(destination) not in (old, new):
                problems.append("%s: after recovery the tree is neither the old nor the new"
                                % point)
            if len(recovered) != 1 or staging_left(destination):
                problems.append("%s: recovery logged %r and left %r" % (
                    point, recovered, staging_left(destination)))
            code, _ = runner.run(base, "normal", destination)
            if code != 0 or contents(destination) != new or staging_left(destination):
                problems.append("%s: the next extraction did not land the new tree" % point)
    # Two runs at once into one destination take turns: both land, whole.
    destination = older_tree(base, entries)
    pair = [threading.Thread(target=lambda i=i: results.append(
        runner.run(os.path.join(base, "run%d" % i), "normal", destination)[0])) for i in (1, 2)]
    results = []
    for thread in pair:
        thread.start()
    for thread in pair:
        thread.join()
    if results != [0, 0] or contents(destination) != new or staging_left(destination):
        problems.append("two runs at once answered %r and left %s tree" % (
            results, "the new" if contents(destination) == new else "another"))
    print("%d kills at %d calls" % (kills, len(calls)))
    if kills < len(calls) // 2:
        problems.append("only %d of %d kills took effect" % (kills, len(calls)))
    return problems


def make_many(work, count):
    source = os.path.join(work, "many-source")
    shutil.rmtree(source, ignore_errors=True)
    for index in range(count):
        folder = os.path.join(source, "d%02d" % (index % 20))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "f%04d.txt" % index), "w") as f:
            f.write("file %d\n" % index * 20)
    archive = os.path.join(work, "many", "update.rar")
    os.makedirs(os.path.dirname(archive), exist_ok=True)
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["rar", "a", "-ma5", "-idq", "-r", archive, "."], cwd=source, check=True)
    return tree_state(source)


def redirect(runner, options, rounds=5):
    expected = make_many(options.work, 2000)
    expected.pop(".")
    runner.options.archives = options.work
    problems = []
    for round_ in range(rounds):
        base = os.path.join(options.work, "redirect")
        shutil.rmtree(base, ignore_errors=True)
        destination, outside = os.path.join(base, "destination"), os.path.join(base, "outside")
        os.makedirs(destination)
        os.makedirs(outside)
        os.chmod(destination, 0o777)
        stop = threading.Event()
        swaps = []

        def swap():
            while not stop.is_set():
                for name in staging_left(destination):
                    path = os.path.join(destination, name)
                    try:
                        if os.path.islink(path) or name.endswith(".moved"):
                            continue
                        os.rename(path, path + ".moved")
                        os.symlink(outside, path)
                        swaps.append(name)
                    except OSError:
                        pass
        racer = threading.Thread(target=swap)
        racer.start()
        try:
            code, _ = runner.run(base, "many", destination)
        finally:
            stop.set()
            racer.join()
        landed = {name: state for name, state in tree_state(destination).items()
                  if not name.startswith(STAGING) and name != "."}
        if os.listdir(outside):
            problems.append("round %d: %d names appeared outside" % (round_, len(os.listdir(outside))))
        if code == 0 and landed != expected:
            problems.append("round %d: answered 0 with %d of %d paths" % (
                round_, len(set(landed) & set(expected)), len(expected)))
        print("round %d: exit %s, %d swaps" % (round_, code, len(swaps)))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("test", choices=["crash", "redirect"])
    for name in ("archives", "pki", "driver", "unrar", "work"):
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()
    for name in ("archives", "pki", "driver", "unrar", "work"):
        setattr(options, name, os.path.abspath(getattr(options, name)))
    options.unloadable, options.target = None, "native"
    os.makedirs(options.work, exist_ok=True)
    runner = Runner(options)
    problems = crash(runner, options) if options.test == "crash" else redirect(runner, options)
    for problem in problems:
        print("FAIL " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
