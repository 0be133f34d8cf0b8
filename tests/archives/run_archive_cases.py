#!/usr/bin/env python3
"""Runs the extraction cases (cases.json) against one build: the POSIX driver
natively, or a Windows driver under Wine, always through the real UnRAR
library. For each case and archive it lays out a package (the archive and an
unrar.dll), runs the driver there on an absolute destination, and compares the
exit code, every log line and every file outside the package with the table.

  run_archive_cases.py <cases.json> --archives <make_archives.py's output>
      --pki <test PKI> --target native|win32|win64 --driver <extract_probe>
      --unrar <the library> [--unloadable <a library that cannot load>]
      --planted <stand-in unrar.dll> --work <scratch>
      [--wine-prefix <prefix> --wine-temp <its temporary directory>]
      [--hold-open <helper that holds a file open, unshared (Windows)>]
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
from wine_runner import WINE, started as wine_started  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SIGN_FILE = os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts", "sign_file.sh")
LOG_NAME = "Log.BrevantUpdater.txt"
STAMP = re.compile(r"^[A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4} : ")
DEFAULT_ARCHIVE = "update.rar"
# Exit code of the stand-in library: it ends the process when loaded.
PLANTED_RAN = 77
TIMEOUT = 60


class Target:
    """How the driver runs, and how its paths and 8-bit texts look."""

    def __init__(self, options):
        self.options = options
        self.native = options.target == "native"
        # Cases may expect another outcome on Windows, under the key "windows".
        self.family = "native" if self.native else "windows"

    def path(self, unix_path):
        if self.native:
            return unix_path
        return "Z:" + unix_path.replace("/", "\\")

    def eight_bit(self, text):
        """The log's form of a wide text: natively the UTF-8 locale's, under
        Wine the ANSI code page 1252's, where other characters become '?'."""
        if self.native:
            # A byte the locale cannot read (a lone surrogate here) shows as '?'.
            return text.encode("utf-8", "replace").decode("utf-8")
        return text.encode("cp1252", "replace").decode("cp1252")

    def run(self, driver, arguments, cwd, extra_env):
        options = self.options
        env = dict(os.environ, LC_ALL="C.UTF-8")
        env.update(extra_env)
        env.pop("LANGUAGE", None)
        if self.native:
            temp = os.path.join(cwd, "..", "temp")
            os.makedirs(temp, exist_ok=True)
            env.update(TMPDIR=temp, SSL_CERT_FILE=os.path.join(options.pki, "root.pem"),
                       SSL_CERT_DIR=options.pki)
            command, newline, encoding = [driver] + arguments, "\n", "utf-8"
        else:
            temp = options.wine_temp
            env.update(WINEPREFIX=options.wine_prefix, WINEDEBUG="-all")
            env.pop("DISPLAY", None)
            command, newline, encoding = [WINE, driver] + arguments, "\r\n", "cp1252"
        log = os.path.join(temp, LOG_NAME)
        if os.path.exists(log):
            os.remove(log)
        # Into files, not pipes: processes Wine starts inherit the output and
        # would hold a pipe open after the driver ended.
        with tempfile.TemporaryFile() as output:
            try:
                done = subprocess.run(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                      stdout=output, stderr=subprocess.STDOUT, timeout=TIMEOUT)
                code = done.returncode
            except subprocess.TimeoutExpired:
                code = None
            output.seek(0)
            printed = output.read().decode("utf-8", "replace")
        return code, printed, read_log(log, newline, encoding)


    def hold(self, path):
        """Starts the helper that holds `path` open, unshared, until its input
        ends; answers it once it holds the file, None when it could not.
        POSIX has no unshared opens: there the file is made immutable
        (chattr +i), which keeps it from being moved aside just as well."""
        if self.native:
            done = subprocess.run(["chattr", "+i", path], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
            return path if done.returncode == 0 else None
        env = dict(os.environ, WINEPREFIX=self.options.wine_prefix, WINEDEBUG="-all")
        env.pop("DISPLAY", None)
        holder = subprocess.Popen([WINE, self.options.hold_open, self.path(path)], env=env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        if holder.stdout.readline().strip() == b"held":
            return holder
        self.release(holder)
        return None

    @staticmethod
    def release(holder):
        if isinstance(holder, str):
            subprocess.run(["chattr", "-i", holder], check=True)
            return
        holder.stdin.close()
        holder.wait(timeout=TIMEOUT)
        holder.stdout.close()


def read_log(path, newline, encoding):
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        lines = f.read().decode(encoding, "replace").split(newline)
    if lines and lines[-1] == "":
        lines.pop()
    return [STAMP.sub("", line, count=1) if STAMP.match(line) else "<unstamped> " + line
            for line in lines]


def sign(pki, source, target):
    os.makedirs(os.path.dirname(target), exist_ok=True)
    done = subprocess.run(["bash", SIGN_FILE, os.path.join(pki, "maker.pem"),
                           os.path.join(pki, "leaf.key"), os.path.join(pki, "root.pem"),
                           source, target], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        sys.exit("signing %s failed:\n%s" % (source, done.stdout.decode(errors="replace")))


def prepare_libraries(options):
    """The unrar.dll of each kind a case may ask for, by kind."""
    base = os.path.join(options.work, "libraries")
    shutil.rmtree(base, ignore_errors=True)
    library = os.path.realpath(options.unrar)  # Debian's is reached through a link
    kinds = {kind: os.path.join(base, kind, "unrar.dll")
             for kind in ("signed", "unsigned", "unloadable")}
    sign(options.pki, library, kinds["signed"])
    os.makedirs(os.path.dirname(kinds["unsigned"]))
    shutil.copyfile(library, kinds["unsigned"])
    unloadable = options.unloadable
    if unloadable is None:
        # The library marked as one of 32-bit code, as if built for another
        # architecture: the loader refuses it before it maps anything.
        unloadable = os.path.join(base, "other_class.so")
        with open(library, "rb") as f:
            data = bytearray(f.read())
        data[4] = 1  # EI_CLASS: ELFCLASS32
        with open(unloadable, "wb") as f:
            f.write(data)
    sign(options.pki, os.path.realpath(unloadable), kinds["unloadable"])
    return kinds


def expand(lines, groups, values):
    expanded = []
    for line in lines:
        if line.startswith("@"):
            expanded += expand(groups[line[1:]], groups, values)
        else:
            expanded.append(line.format(**values))
    return expanded


def files_below(directory, skip):
    """Every file (and link) below `directory`, outside the `skip` folders:
    relative path -> content."""
    found = {}
    for root, folders, files in os.walk(directory):
        if root == directory:
            folders[:] = [f for f in folders if f not in skip]
        for name in files + [f for f in folders if os.path.islink(os.path.join(root, f))]:
            path = os.path.join(root, name)
            relative = os.path.relpath(path, directory)
            if os.path.islink(path):
                found[relative] = "link to " + os.readlink(path)
            else:
                with open(path, "rb") as f:
                    found[relative] = f.read().hex()
    return found


def plant(base, before):
    """Makes what a case finds before its run, below the case's directory:
    path -> {"file": text, "mode": octal} | {"dir": octal mode} | {"link": target}.
    Answers how each thing looks, to compare with after the run."""
    for relative, spec in before.items():
        path = os.path.join(base, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if "link" in spec:
            os.symlink(spec["link"], path)
        elif "dir" in spec:
            os.makedirs(path, exist_ok=True)
        else:
            with open(path, "w") as f:
                f.write(spec["file"])
        if "link" not in spec:
            os.chmod(path, int(spec.get("mode", spec.get("dir", "644")), 8))
    return {relative: looks(os.path.join(base, relative)) for relative in before}


def looks(path):
    """A path's kind, mode and content or link target, as one comparable text."""
    if os.path.islink(path):
        return "link to " + os.readlink(path)
    if not os.path.exists(path):
        return "missing"
    mode = "%o" % (os.stat(path).st_mode & 0o7777)
    if os.path.isdir(path):
        return "directory " + mode
    with open(path, "rb") as f:
        return "file %s %s" % (mode, f.read().hex())


# An older install under the destination: every entry of the archive with
# other bytes, another mode and a time long past, so that a failed run that
# touched any of it shows.
OLDER_TIME = 1000000000
OLDER_MODE = 0o640


def plant_older(destination, entries):
    for name in entries:
        path = os.path.join(destination, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(b"older: " + name.encode("utf-8", "surrogateescape"))
        os.chmod(path, OLDER_MODE)
    for root, folders, files in os.walk(destination, topdown=False):
        for name in files + folders:
            os.utime(os.path.join(root, name), (OLDER_TIME, OLDER_TIME))
    os.utime(destination, (OLDER_TIME, OLDER_TIME))


def tree_state(directory):
    """Everything below `directory`, the directory itself included: kind,
    mode, modification time and content or link target, by relative path.
    Times are compared in Windows' unit, 100 ns: a time put back under Wine
    keeps no finer digits."""
    state = {}
    for root, folders, files in os.walk(directory):
        for name in [""] + folders + files if root == directory else folders + files:
            path = os.path.join(root, name) if name else root
            status = os.lstat(path)
            if os.path.islink(path):
                what = "link to " + os.readlink(path)
            elif os.path.isdir(path):
                what = "directory"
            else:
                with open(path, "rb") as f:
                    what = f.read().hex()
            state[os.path.relpath(path, directory)] = "%o %d %s" % (
                status.st_mode & 0o7777, status.st_mtime_ns // 100, what)
    return state


def run_case(target, case, archive, groups, libraries):
    options = target.options
    base = os.path.join(options.work, case["name"], archive or "no_archive")
    shutil.rmtree(base, ignore_errors=True)
    package = os.path.join(base, "package")
    os.makedirs(package)
    entries = {}
    if archive is not None:
        source = os.path.join(options.archives, archive)
        for name in os.listdir(source):
            if name == "entries.json":
                with open(os.path.join(source, name), encoding="utf-8") as f:
                    entries = json.load(f)
            else:
                shutil.copyfile(os.path.join(source, name), os.path.join(package, name))
    kind = case.get("unrar", "signed")
    if kind != "absent":
        shutil.copyfile(libraries[kind], os.path.join(package, "unrar.dll"))

    driver, extra_env = options.driver, {}
    if case.get("planted"):
        folder = os.path.join(base, "bin")
        os.makedirs(folder)
        driver = shutil.copy(options.driver, folder)
        shutil.copyfile(options.planted, os.path.join(folder, "unrar.dll"))
        extra_env["LD_LIBRARY_PATH"] = folder

    if case.get("locale") and target.native:
        extra_env["LC_ALL"] = case["locale"]
    destination_name = case.get("destination", "destination")
    destination = os.path.join(base, "out", destination_name)
    if not case.get("missing_destination"):
        os.makedirs(destination)
    # An empty destination: the library extracts into the current directory,
    # the package's, and the log names the empty path.
    argument = "" if case.get("empty_destination") else target.path(destination)
    planted = plant(base, case.get("before", {}))
    if case.get("older"):
        plant_older(destination, entries)
    older = tree_state(destination)
    # "hold_open": a file of the destination another program holds open
    # without sharing it while the driver runs.
    holder = (target.hold(os.path.join(destination, *case["hold_open"].split("/")))
              if case.get("hold_open") else None)
    archive_name = case.get("archive_name", DEFAULT_ARCHIVE)
    started = time.monotonic()
    code, printed, log = target.run(driver, [archive_name, argument], package,
                                    extra_env)
    seconds = time.monotonic() - started
    # The driver never exits with 1 itself: that is Wine's loader failing to
    # start it, without a word, seen once in a CI run (0.02 s, no log line).
    # Such a start is tried once more; a driver that ran is never rerun.
    if not target.native and not wine_started(code, printed.strip(), bool(log)):
        print("     (Wine did not start the driver: tried again)")
        code, printed, log = target.run(driver, [archive_name, argument],
                                        package, extra_env)
    if holder is not None:
        target.release(holder)

    expected = dict(case, **case.get(target.family, {}))
    expected.update(case.get("by_archive", {}).get(archive, {}))
    problems = []
    if case.get("hold_open") and holder is None:
        problems.append("%s could not be held open" % case["hold_open"])
    if code is None:
        problems.append("the driver was still running after %d s" % TIMEOUT)
    elif code == PLANTED_RAN:
        problems.append("the stand-in unrar.dll beside the driver was loaded")
    elif code != expected["exit"]:
        problems.append("exit code: expected %d, got %d" % (expected["exit"], code))
    values = {"archive": target.eight_bit(archive_name),
              "destination": target.eight_bit(argument),
              "code": expected.get("code", "")}
    expected_log = expand(expected["log"], groups, values)
    if log != expected_log:
        problems.append("log differs\n  expected:\n%s\n  actual:\n%s" % (
            "\n".join("    " + repr(line) for line in expected_log),
            "\n".join("    " + repr(line) for line in log)))

    # "unchanged": the destination must be exactly as the run found it.
    if expected["files"] == "unchanged":
        after = tree_state(destination)
        for name in sorted(set(older) | set(after)):
            if older.get(name) != after.get(name):
                problems.append("changed: %s, was %s, now %s" % (name, older.get(name, "missing"),
                                                                 after.get(name, "missing")))
        return finish_case(problems, printed), seconds
    # A file is named by its archived name, or by its name on disk and the
    # archived name whose content it holds.
    wanted = list(entries) if expected["files"] == "all" else expected["files"]
    prefix = "package" if case.get("empty_destination") else os.path.join("out", destination_name)
    expected_files = {}
    for name in wanted:
        disk, entry = (name, name) if isinstance(name, str) else name
        expected_files[os.path.join(prefix, *disk.split("/"))] = entries[entry]
    prefix_links = {os.path.join(prefix, *name.split("/")): "link to " + link
                    for name, link in expected.get("links", {}).items()}
    expected_files.update(prefix_links)
    # What was planted must be as it was; nothing else may appear beside it.
    replaced = set(expected.get("replaced", []))
    planted = {relative: before for relative, before in planted.items() if relative not in replaced}
    for relative, before in planted.items():
        after = looks(os.path.join(base, relative))
        if after != before:
            problems.append("changed: %s, was %s, now %s" % (relative, before, after))
    package_files = {os.path.join("package", name) for name in os.listdir(package)} \
        if not case.get("empty_destination") else {os.path.join("package", name) for name in
                                                   ("unrar.dll", archive_name)}
    actual_files = {name: content
                    for name, content in files_below(base, {"bin", "temp"}).items()
                    if name not in planted and name not in package_files}
    for name, mode in (expected.get("modes", {}) if target.native else {}).items():
        path = os.path.join(destination, *name.split("/"))
        if os.path.exists(path) and "%o" % (os.stat(path).st_mode & 0o7777) != mode:
            problems.append("mode of %s: expected %s, got %o" % (name, mode,
                                                                 os.stat(path).st_mode & 0o7777))
    for name in sorted(set(expected_files) | set(actual_files)):
        if name not in actual_files:
            problems.append("missing: %s" % name)
        elif name not in expected_files:
            problems.append("unexpected file: %s" % name)
        elif actual_files[name] != expected_files[name]:
            problems.append("wrong content: %s" % name)
    return finish_case(problems, printed), seconds


def finish_case(problems, printed):
    if problems and printed.strip():
        problems.append("the driver printed:\n" + printed.strip())
    return problems


def can_make_immutable(work):
    probe = os.path.join(work, "immutable-probe")
    open(probe, "w").close()
    made = subprocess.run(["chattr", "+i", probe], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0
    if made:
        subprocess.run(["chattr", "-i", probe], check=True)
    os.remove(probe)
    return made


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("cases")
    parser.add_argument("--archives", required=True)
    parser.add_argument("--pki", required=True)
    parser.add_argument("--target", required=True, choices=["native", "win32", "win64"])
    parser.add_argument("--driver", required=True)
    parser.add_argument("--unrar", required=True)
    parser.add_argument("--unloadable")
    parser.add_argument("--planted", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--wine-prefix")
    parser.add_argument("--wine-temp")
    parser.add_argument("--hold-open")
    options = parser.parse_args()
    for name in ("archives", "pki", "driver", "unrar", "planted", "work", "wine_prefix",
                 "wine_temp", "hold_open"):
        if getattr(options, name):
            setattr(options, name, os.path.abspath(getattr(options, name)))
    with open(options.cases, encoding="utf-8") as f:
        table = json.load(f)

    os.makedirs(options.work, exist_ok=True)
    libraries = prepare_libraries(options)
    target = Target(options)
    failed = ran = 0
    started = time.monotonic()
    for case in table["cases"]:
        # Links planted in the destination are Unix links, which Wine follows
        # without showing them to the program: those cases are the POSIX port's.
        if case.get("native_only") and not target.native:
            continue
        # Natively the file is made immutable, which takes root and a file
        # system with that flag.
        if case.get("hold_open") and target.native and not can_make_immutable(options.work):
            print("skip %s [native]: no immutable files here" % case["name"])
            continue
        for archive in case["archives"]:
            problems, seconds = run_case(target, case, archive, table["groups"], libraries)
            ran += 1
            failed += bool(problems)
            print("%-4s %s [%s, %s] %.2f s" % ("FAIL" if problems else "ok", case["name"],
                                               archive, options.target, seconds))
            for problem in problems:
                print("     " + problem.replace("\n", "\n     "))
    print("%d of %d cases failed (%.1f s)" % (failed, ran, time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
