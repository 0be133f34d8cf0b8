#!/usr/bin/env python3
"""Fault tests: whole runs of the real program while the machine misbehaves,
natively or for one Windows program under Wine. The package side (products
table -> buConfig.xml, archives made with rar, installed modules, registry,
module trace, expected tree) is the end-to-end scenarios' own
(tests/e2e/deployment.py); this runner adds the faults.

A case (faults.json) has the fields of a deployment scenario - name, targets,
args, files, products, archives, installed, registry, trace, tree - plus:

  fault      what goes wrong (see FAULTS below)
  skip       {target: reason} for targets where the case cannot mean what it
             says
  exit       the expected exit code of every run that ends by itself
  boxes      the boxes the run shows, with the answer given; compared between
             runs, their texts are not written down
  log_has    lines the log must hold in this order, among others
  repeat     the products are written that many times, "{n}" in their texts
             replaced by 1, 2, ...
  runs       concurrent_log: the runs' names; "{run}" in the products' texts
             is replaced by each
  full_has   full_file_system: {path: text} that must stay below {work}/full
  full_before  full_file_system: {path: text} written there before the run
  kill_after killed: the log line after which the program is killed
  race       racing_writer: {"file": the package file raced, "with": the
             fixture put in its place in turn, "never": that module's trace
             name, "loaded": the raced module's load marker in the trace,
             "verified": the log line that says it was verified, "outcomes":
             {name: log line pattern} each of which some run must show,
             "runs": at most how many runs until they have all shown}
  trace_file the modules trace their calls, but the trace is not compared
  wine_dll_overrides  Wine's load order for the run (WINEDLLOVERRIDES), so
             that a DLL planted under a system DLL's name is taken as Windows
             would take it
  program_in_package  the program is copied into the package and started
             from there, so that its own directory is the package's
  program    "check": the run is the package check's (--check-program) with
             the case's args, not the updater's
"""

import argparse
import collections
import contextlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))

import deployment  # noqa: E402
import scenarios  # noqa: E402
from native_runner import run_native  # noqa: E402
from wine_runner import WINE, TimedProcess, note_not_started, started  # noqa: E402
from machine_faults import (NativeRacer, Skip, WineRacer, full_file_system,  # noqa: E402
                            random_text, unwritable, wait_for)

LOG_NAME = "Log.BrevantUpdater.txt"
WHOLE_LINE = re.compile(scenarios.TIMESTAMP + " : ([^\r\n]*)")
RUN_TIMEOUT = 120
# Concurrent runs that did not overlap are run again, at most this often: on a
# loaded machine the scheduler may run the two one after the other several
# times in a row (an attempt that overlaps ends the loop).
OVERLAP_ATTEMPTS = 20


class Target:
    """Starts the program under test and knows where its log goes."""

    def __init__(self, options):
        self.options = options
        self.name = options.target
        self.native = self.name == "native"
        self.newline = "\n" if self.native else "\r\n"
        if not self.native:
            from wine_runner import wine_environment
            self.wine_env = wine_environment

    def temp_dir(self, work):
        if self.native:
            path = os.path.join(work, "temp")
        else:
            path = self.options.wine_temp
        os.makedirs(path, exist_ok=True)
        return path

    def form(self, path):
        return path if self.native else deployment.windows_path(path)

    def program(self, package, case):
        source = self.options.check_program if case.get("program") == "check" \
            else self.options.program
        if not case.get("program_in_package"):
            return source
        copy = os.path.join(package, os.path.basename(source))
        shutil.copyfile(source, copy)
        os.chmod(copy, 0o755)
        return copy

    def environment(self, temp, extra):
        if self.native:
            env = dict(os.environ)
            env.pop("sfxcmd", None)
            env.update(self.options.env, TMPDIR=temp, **extra)
            return env
        return self.wine_env(self.options.wine_prefix, {"sfxcmd": None, **extra})

    def start(self, program, package, args, temp, extra):
        """A silent run in the background."""
        command = [program] + args if self.native else [WINE, program] + args
        return TimedProcess(command, cwd=package, env=self.environment(temp, extra),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)

    def started(self, process, logged):
        """False for a background run that Wine did not start (see
        wine_runner.started; the program prints nothing, its output is not
        kept), which is then said in the output."""
        if self.native or started(process.poll(), "", logged, process.seconds):
            return True
        note_not_started(self.options.program)
        return False

    def kill(self, process):
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, signal.SIGKILL)
        process.wait()

    def run(self, program, package, args, temp, extra, answers):
        """Runs to the end, answering the boxes: (exit code, boxes, problems)."""
        if self.native:
            yes_no = ["y" if a == "yes" else "n" for a in answers if a in ("yes", "no")]
            env = {**self.options.env, **extra}
            code, boxes, _ = run_native(program, args, package, temp, None, yes_no,
                                        RUN_TIMEOUT, env)
            return code, boxes, []
        from wine_runner import run_under_wine
        caption = scenarios.string_table()[102]
        run = run_under_wine(WINE, self.options.wine_prefix, program, args, package,
                             {"sfxcmd": None, **extra}, [(caption, a) for a in answers],
                             RUN_TIMEOUT, self.options.boxhelper, log=os.path.join(temp, LOG_NAME))
        return run.exit_code, run.boxes + run.unexpected_boxes, run.errors


class Case:
    """One case's package, deployment side and log."""

    def __init__(self, options, target, case, work, products=None):
        self.options, self.target, self.work = options, target, work
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        if products is not None:
            case = {**case, "products": products}
        case = deployment.expand(case, deployment.run_words(target.name, work))
        if "repeat" in case:
            case["products"] = [deployment.expand(p, {"n": str(n)})
                                for n in range(1, case["repeat"] + 1) for p in case["products"]]
        for files in case.get("archives", {}).values():
            for path, text in files.items():
                if isinstance(text, dict):
                    files[path] = random_text(text["random"])
        self.case = case
        self.package = os.path.join(work, "package")
        os.makedirs(self.package)
        for name, fixture in case.get("files", {}).items():
            shutil.copyfile(self.fixture(fixture), os.path.join(self.package, name))
        wine = None if target.native else (WINE, target.wine_env(options.wine_prefix))
        self.deploy = deployment.Deployment(case, target.name, work, self.fixture, wine)
        self.deploy.prepare(self.package)
        if case.get("wine_dll_overrides"):
            # Wine prefers its own copy of a system DLL to any other file of
            # that name; Windows takes the first file its search finds.
            self.deploy.env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;" + case["wine_dll_overrides"]
        if case.get("trace_file"):
            # Traced, but not compared line by line.
            self.deploy.env["BU_MODULE_TRACE"] = target.form(os.path.join(work, "trace.txt"))
        self.program = target.program(self.package, case)
        self.temp = target.temp_dir(work)
        self.log_path = os.path.join(self.temp, LOG_NAME)
        self.clear_outputs()

    def fixture(self, relative):
        for directory in self.options.fixtures:
            candidate = os.path.join(directory, relative)
            if os.path.exists(candidate):
                return candidate
        raise FileNotFoundError("fixture %s not found in %s" % (relative, self.options.fixtures))

    def clear_outputs(self):
        """Forgets the previous run: log, trace, deployed files."""
        with contextlib.suppress(FileNotFoundError):
            os.remove(self.log_path)
        with contextlib.suppress(FileNotFoundError):
            os.remove(os.path.join(self.work, "trace.txt"))
        shutil.rmtree(os.path.join(self.work, "target"), ignore_errors=True)
        os.makedirs(os.path.join(self.work, "target"))

    def run(self):
        return self.target.run(self.program, self.package, self.case.get("args", []),
                               self.temp, self.deploy.env,
                               [b["answer"] for b in self.case.get("boxes", [])])

    def start(self):
        return self.target.start(self.program, self.package, self.case.get("args", []),
                                 self.temp, self.deploy.env)

    def log(self):
        if not os.path.exists(self.log_path):
            return None
        with open(self.log_path, "rb") as f:
            return f.read()

    def trace(self):
        path = os.path.join(self.work, "trace.txt")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read().splitlines()

    def finish(self):
        self.deploy.clear_registry()


# --- checks ------------------------------------------------------------------

def log_messages(content, newline, problems):
    """The messages of a log's lines; a torn or unfinished line is a problem."""
    text = (content or b"").decode("latin-1")
    if text and not text.endswith(newline):
        problems.append("the log ends inside a line: %r" % text[-80:])
    messages = []
    for line in text.split(newline)[:-1]:
        match = WHOLE_LINE.fullmatch(line)
        if match is None:
            problems.append("torn log line: %r" % line)
        else:
            messages.append(match.group(1))
    return messages


def has_in_order(messages, wanted):
    """The wanted lines missing from `messages` (in order; others may come between)."""
    missing, at = [], 0
    for line in wanted:
        try:
            at = messages.index(line, at) + 1
        except ValueError:
            missing.append(line)
    return ["log lacks, in this order: %r" % line for line in missing]


def box_texts(boxes):
    return [{k: b.get(k) for k in ("caption", "text", "buttons", "icon")} for b in boxes]


def finished_run(case, label):
    """Runs to the end and checks what every case expects of such a run."""
    code, boxes, problems = case.run()
    problems = ["%s: %s" % (label, p) for p in problems]
    if code != case.case["exit"]:
        problems.append("%s: exit code %s, expected %s" % (label, code, case.case["exit"]))
    if len(boxes) != len(case.case.get("boxes", [])):
        problems.append("%s: %d boxes, expected %d: %r" % (label, len(boxes),
                                                          len(case.case.get("boxes", [])), boxes))
    messages = log_messages(case.log(), case.target.newline, problems)
    problems += has_in_order(messages, case.case.get("log_has", []))
    for text, count in case.case.get("log_count", {}).items():
        if messages.count(text) != count:
            problems.append("%s: %d lines %r, expected %d" % (label, messages.count(text), text, count))
    problems += ["%s: %s" % (label, p) for p in case.deploy.check()]
    return boxes, messages, problems


# --- faults ------------------------------------------------------------------

def fault_unwritable_temp(options, target, raw, work):
    """The same results, boxes and files with and without a log."""
    case = Case(options, target, raw, work)
    with_log, messages, problems = finished_run(case, "with a log")
    if not messages:
        problems.append("the run with a writable temporary directory wrote no log")
    calls = case.trace()
    case.clear_outputs()
    with unwritable(case.temp):
        without, _, more = finished_run(case, "without a log")
        problems += more
        if case.log() is not None:
            problems.append("a log appeared in the unwritable temporary directory")
    if not calls or case.trace() != calls:
        problems.append("the modules were called differently\n  with a log:    %r\n"
                        "  without a log: %r" % (calls, case.trace()))
    if box_texts(without) != box_texts(with_log):
        problems.append("the boxes differ\n  with a log:    %r\n  without a log: %r"
                        % (box_texts(with_log), box_texts(without)))
    case.finish()
    return problems


def fault_full_file_system(options, target, raw, work):
    """A destination that runs out of room mid-archive."""
    case = Case(options, target, raw, work)
    full = os.path.join(work, "full")
    with full_file_system(full):
        for path, text in case.case.get("full_before", {}).items():
            os.makedirs(os.path.dirname(os.path.join(full, path)), exist_ok=True)
            with open(os.path.join(full, path), "w", encoding="utf-8") as f:
                f.write(text)
        _, _, problems = finished_run(case, "run")
        for path, text in case.case["full_has"].items():
            try:
                with open(os.path.join(full, path), encoding="utf-8") as f:
                    if f.read() != text:
                        problems.append("%s on the full file system changed" % path)
            except OSError as error:
                problems.append("%s on the full file system is gone: %s" % (path, error))
    case.finish()
    return problems


def fault_killed(options, target, raw, work):
    """Killed mid-run: whole lines before, and a second run that deploys."""
    case = Case(options, target, raw, work)
    mark = case.case["kill_after"]
    problems = []
    reached_mark = lambda: mark in log_messages(case.log(), target.newline, [])  # noqa: E731
    process = case.start()
    reached = wait_for(reached_mark, 60, process)
    if not reached and not target.started(process, case.log() is not None):
        process = case.start()
        reached = wait_for(reached_mark, 60, process)
    ended = process.poll()
    target.kill(process)
    if not reached or ended is not None:
        problems.append("the run %s before it logged %r" % ("ended" if ended is not None
                                                            else "timed out", mark))
    messages = log_messages(case.log(), target.newline, problems)
    if messages and messages[-1] != mark:
        problems.append("the killed run logged past %r: %r" % (mark, messages[-1]))
    _, _, more = finished_run(case, "second run")
    problems += more
    case.finish()
    return problems


def fault_concurrent_log(options, target, raw, work):
    """Two runs at once append to one log: every line of each, whole, in order."""
    cases = [Case(options, target, raw, os.path.join(work, run),
                  deployment.expand(raw["products"], {"run": run})) for run in raw["runs"]]
    # Both logs in one place: the first run's temporary directory.
    for case in cases[1:]:
        case.temp, case.log_path = cases[0].temp, cases[0].log_path
    problems, alone = [], []
    for case, run in zip(cases, raw["runs"]):
        case.clear_outputs()
        _, messages, more = finished_run(case, "%s alone" % run)
        problems += more
        alone.append(messages)
    # The test means something only if the runs wrote at the same time. How
    # far apart two processes start is up to the scheduler (under Wine one may
    # be done before the other writes), so the pair runs again until they overlap.
    for attempt in range(1, OVERLAP_ATTEMPTS + 1):
        cases[0].clear_outputs()
        processes = [case.start() for case in cases]
        wait_for(lambda: all(process.poll() is not None for process in processes), RUN_TIMEOUT)
        for process in processes:
            if process.poll() is None:
                target.kill(process)
                problems.append("a concurrent run did not end")
        log = cases[0].log() or b""
        if not all(target.started(process, (run + "-").encode() in log)
                   for process, run in zip(processes, raw["runs"])):
            continue
        together = log_messages(cases[0].log(), target.newline, problems)
        if collections.Counter(together) != collections.Counter(sum(alone, [])):
            lost = collections.Counter(sum(alone, [])) - collections.Counter(together)
            problems.append("%d line(s) lost, e.g. %r" % (sum(lost.values()), list(lost)[:3]))
        for run, messages in zip(raw["runs"], alone):
            own = lambda lines: [m for m in lines if run + "-" in m]  # noqa: E731
            if own(together) != own(messages):
                problems.append("the lines of run %s are out of order" % run)
        owners = [run for m in together for run in raw["runs"] if run + "-" in m]
        switches = sum(1 for a, b in zip(owners, owners[1:]) if a != b)
        print("     attempt %d: the runs' lines alternate %d times in the shared log"
              % (attempt, switches))
        if problems or switches >= 2:
            break
    else:
        problems.append("the two runs did not write at the same time in %d attempts"
                        % OVERLAP_ATTEMPTS)
    for case in cases:
        case.finish()
    return problems


def fault_racing_writer(options, target, raw, work):
    """A file replaced between its check and its load: what runs was verified."""
    case = Case(options, target, raw, work)
    race = case.case["race"]
    path = os.path.join(case.package, race["file"])
    good = os.path.join(work, "verified-" + race["file"])
    shutil.copyfile(path, good)
    with open(good, "rb") as f:
        good_bytes = f.read()
    with open(case.fixture(race["with"]), "rb") as f:
        other_bytes = f.read()
    other = os.path.join(work, "other-" + race["file"])
    with open(other, "wb") as f:
        f.write(other_bytes)
    problems, outcomes = [], collections.Counter()
    # Runs until every outcome has been seen, at most "runs" times.
    for number in range(race.get("runs", 1)):
        if number > 0 and all(outcomes[o] for o in race["outcomes"]):
            break
        case.clear_outputs()
        if target.native:
            racer = NativeRacer(path, good_bytes, other_bytes, work)
        else:
            racer = WineRacer(options, path, good, other, work)
        wait_for(lambda: open(path, "rb").read() == other_bytes, 30)
        _, messages, more = finished_run(case, "run %d" % (number + 1))
        print("     run %d: racer %s" % (number + 1, racer.finish()))
        shutil.copyfile(good, path)
        problems += more
        trace = case.trace()
        ran = [line for line in trace if "never" in race and line.startswith(race["never"] + " ")]
        if ran:
            problems.append("run %d: the file that replaced the verified one ran: %r"
                            % (number + 1, ran[:3]))
        if "loaded" in race:
            # Each time the module's code starts, the log has just verified it.
            loads = trace.count(race["loaded"])
            verified = sum(1 for m in messages if re.fullmatch(race["verified"], m))
            if loads != verified:
                problems.append("run %d: the module started %d times, was verified %d times"
                                % (number + 1, loads, verified))
        for line in messages:
            for outcome, pattern in race["outcomes"].items():
                if re.fullmatch(pattern, line):
                    outcomes[outcome] += 1
    print("     outcomes: %s" % dict(outcomes))
    for outcome in race["outcomes"]:
        if outcomes[outcome] == 0:
            problems.append("no run saw the outcome %r: the race did not happen" % outcome)
    case.finish()
    return problems


def fault_none(options, target, raw, work):
    """An ordinary run, for cases whose fault is planted in the package."""
    case = Case(options, target, raw, work)
    _, _, problems = finished_run(case, "run")
    case.finish()
    return problems


FAULTS = {
    "unwritable_temp": fault_unwritable_temp,
    "full_file_system": fault_full_file_system,
    "killed": fault_killed,
    "concurrent_log": fault_concurrent_log,
    "racing_writer": fault_racing_writer,
    "none": fault_none,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--target", required=True, choices=["native", "win32", "win64"])
    parser.add_argument("--program", required=True)
    parser.add_argument("--check-program", help="the package check of the same build")
    parser.add_argument("--work", required=True)
    parser.add_argument("--fixtures", action="append", default=[])
    parser.add_argument("--native-env", action="append", default=[])
    parser.add_argument("--wine-prefix")
    parser.add_argument("--wine-temp")
    parser.add_argument("--boxhelper")
    parser.add_argument("--racer", help="racing_writer.exe, under Wine")
    parser.add_argument("--only")
    parser.add_argument("cases")
    options = parser.parse_args()
    options.program = os.path.abspath(options.program)
    if options.check_program:
        options.check_program = os.path.abspath(options.check_program)
    options.env = dict(item.split("=", 1) for item in options.native_env)
    with open(options.cases, encoding="utf-8") as f:
        cases = [c for c in json.load(f) if options.target in c.get("targets", [options.target])
                 and options.only in (None, c["name"])]

    failed = 0
    for raw in cases:
        if options.target in raw.get("skip", {}):
            print("skip %s [%s]: %s" % (raw["name"], options.target, raw["skip"][options.target]))
            continue
        try:
            problems = FAULTS[raw["fault"]](options, Target(options), raw,
                                            os.path.join(options.work, raw["name"]))
        except Skip as skip:
            print("skip %s [%s]: %s" % (raw["name"], options.target, skip))
            continue
        failed += scenarios.report_case(raw["name"], options.target, problems)
    print("%d of %d fault cases failed" % (failed, len(cases)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
