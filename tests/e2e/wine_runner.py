"""Runs a Windows program under Wine and answers the message boxes it shows.

The prefix must have been prepared by tests/wine/make_prefix.sh (null graphics
driver, so boxes are real windows that block until answered, and a persistent
wineserver). Boxes are answered by boxhelper.exe (tests/wine/boxhelper.cpp),
run in the same prefix; it finds a box by caption, reports it as one JSON line
and clicks the requested button.

Exit codes: `wine prog.exe` runs the program inside the wine process itself,
for console and GUI programs alike, so it waits until the program ends and
exits with the program's exit code - modulo 256, as any Unix status
(ExitProcess(300) gives 44, ExitProcess(-1) gives 255).

Only one run at a time per prefix: boxes are found by caption across the whole
prefix, and the search for unexpected boxes takes any box.

Wine's loader now and then fails to start a program: it exits with 1 at once
(about 0.02 s) and prints nothing. `started` tells such a run from a real one;
run_under_wine, run_started (subprocess.run for the other runners) and the box
helper's runs start the program again when it was not started.

    run = run_under_wine(WINE, prefix, "build/brevUpdater.exe", ["-x"], cwd,
                         {"sfxcmd": "", "OTHER": None},
                         [("Brevant Updater", "yes")], 60, "build/boxhelper.exe",
                         log=temp_dir + "/Log.BrevantUpdater.txt")
    run.exit_code, run.boxes, run.unexpected_boxes, run.missing_boxes, run.stderr

Self-test (builds throwaway programs under /tmp, needs MinGW and Wine):
    python3 tests/e2e/wine_runner.py --self-test
"""

from __future__ import annotations

import json
import os
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Sequence, Tuple

# Runs a program through the Wine loader of the program's architecture, and
# Wine's own programs (reg, regedit, ...) as 64-bit: see tests/wine/wine.sh.
WINE = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "wine", "wine.sh")

# How long a box may take to appear, unless the whole run's deadline is sooner.
BOX_TIMEOUT = 20.0
# Once the program has ended no box of its can appear; a helper still running
# then gets this long to finish (it prints its JSON before it clicks, so what
# it found is kept even if it has to be stopped).
EXIT_GRACE = 0.2
# After the last expected box, how long the program may take to end before
# the search for unexpected boxes starts.
SETTLE = 0.5
# Where a program runs only under emulation (tests/wine/i386_host.sh gate sets
# it there), every start is that many times slower: the run's and the boxes'
# time limits grow by that factor.
TIME_SCALE_VARIABLE = "BU_WINE_TIME_SCALE"
# A run that Wine failed to start ends sooner than this (seen: 0.02 s).
FAILED_START_SECONDS = 1.0


@dataclass
class WineRun:
    exit_code: Optional[int]  # None when the program was killed on timeout
    boxes: List[dict]  # the expected boxes, as boxhelper printed them, in order
    unexpected_boxes: List[dict] = field(default_factory=list)  # answered with their default button
    missing_boxes: List[str] = field(default_factory=list)  # expected captions never shown
    errors: List[str] = field(default_factory=list)  # helper failures, kills, ...
    timed_out: bool = False
    stdout: str = ""
    stderr: str = ""
    seconds: float = 0.0

    @property
    def clean(self) -> bool:
        """Every expected box answered, no other box, and the program ended by itself."""
        return not (self.unexpected_boxes or self.missing_boxes or self.errors or self.timed_out)


def wine_environment(prefix: str, env_extra: Optional[Dict[str, Optional[str]]] = None) -> Dict[str, str]:
    """The environment for a program in the prefix.

    A value of "" reaches the program as an existing, empty variable; None
    removes the variable. Windows names are case-insensitive, so every spelling
    of a name given here is replaced.
    """
    env = dict(os.environ)
    env["WINEPREFIX"] = os.path.abspath(prefix)
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    # Wine takes the ANSI code page from the Unix locale: the expected texts
    # are code page 1252's, whatever the caller's locale.
    env["LC_ALL"] = "C.UTF-8"
    env.pop("LANGUAGE", None)
    for name, value in (env_extra or {}).items():
        for key in [k for k in env if k.upper() == name.upper()]:
            del env[key]
        if value is not None:
            env[name] = value
    return env


def started(code: Optional[int], printed, traced=False, seconds: Optional[float] = None) -> bool:
    """Whether Wine started the program of a run that ended with `code`.

    Wine's loader now and then fails to start a program: exit code 1 at once,
    nothing printed, no log line. No program the tests start ends so (the
    program and the test drivers never exit with 1 themselves; a probe that
    answers with 1 prints its answer), so such a run was not started and may
    be started again. `printed` is its stdout and stderr (anything true: it
    printed), `traced` whether it left another trace (a log line, a box), and
    `seconds` how long it ran, when known.
    """
    return not (code == 1 and not printed and not traced
                and (seconds is None or seconds < FAILED_START_SECONDS))


def note_not_started(program: str) -> None:
    """Says in the runner's output that a program is started again."""
    print("     (Wine did not start %s: started it again)" % os.path.basename(program), flush=True)


def _size(path: Optional[str]) -> int:
    """The size of a file, -1 when there is none."""
    try:
        return os.path.getsize(path) if path else -1
    except OSError:
        return -1


def _output_size(stream) -> Optional[int]:
    """The size of the file a run's output goes to: 0 for stderr=STDOUT (it
    goes with stdout), None when it is no file (inherited, DEVNULL, a pipe)
    and nothing tells whether the program printed."""
    if stream is None or isinstance(stream, int) and stream < 0:
        return 0 if stream == subprocess.STDOUT else None
    try:
        return os.fstat(stream if isinstance(stream, int) else stream.fileno()).st_size
    except (AttributeError, OSError):
        return None


def run_started(command: Sequence[str], log: Optional[str] = None, check: bool = False,
                **kwargs) -> subprocess.CompletedProcess:
    """subprocess.run(command, **kwargs); a program started through WINE is
    run once more when Wine did not start it (see `started`). Its stdout and
    stderr must go to files (as every runner's do: processes Wine starts would
    hold a pipe open), whose size tells whether it printed; `log` is a file it
    appends to, when there is one. `check` raises as subprocess.run's does,
    after the rerun."""
    outputs = [kwargs.get("stdout"), kwargs.get("stderr")]
    for attempt in (1, 2) if command[0] == WINE else (2,):
        sizes = [_output_size(stream) for stream in outputs]
        logged = _size(log)
        done = subprocess.run(command, **kwargs)
        printed = any(size is None or _output_size(stream) != size
                      for stream, size in zip(outputs, sizes))
        if attempt == 2 or started(done.returncode, printed, _size(log) != logged):
            break
        note_not_started(command[1])
    if check:
        done.check_returncode()
    return done


def _kill(proc: subprocess.Popen) -> None:
    # wine.sh execs the loader, so the process (and its group, made by
    # start_new_session) is the Windows program itself.
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    proc.wait()


def _run_helper(wine: str, boxhelper: str, env: Dict[str, str], caption: Optional[str], answer: str,
                timeout: float, program: Optional[subprocess.Popen] = None) -> Tuple[Optional[dict], int, str]:
    """Runs boxhelper: (the box as it printed it or None, its exit code, its stderr).

    While the helper waits, `program` is watched: once it has ended, no box can
    come any more and the search is given up after EXIT_GRACE (exit code 1,
    like the helper's own timeout, unless it had already found its box). A
    helper that Wine did not start (exit code 1, silent: its own timeout
    always prints a message) is started again, once and then while time remains.
    Output goes to files, not pipes: a wineserver started by the helper would
    otherwise hold the pipe open for as long as it lives.
    """
    deadline = time.monotonic() + timeout
    again = False
    while True:
        box, rc, message, printed = _run_helper_once(wine, boxhelper, env, caption, answer,
                                                     deadline - time.monotonic(), program)
        if started(rc, printed) or (again and time.monotonic() >= deadline) or (
                program is not None and program.poll() is not None):
            return box, rc, message
        if not again:
            note_not_started(boxhelper)
        again = True
        time.sleep(0.05)


def _run_helper_once(wine, boxhelper, env, caption, answer, timeout, program):
    """One run of boxhelper: _run_helper's answer, and whether it printed."""
    cmd = [wine, boxhelper, "--answer", answer, "--timeout-ms", str(max(0, int(timeout * 1000)))]
    if caption is not None:
        cmd += ["--caption", caption]
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        helper = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  start_new_session=True)
        ended_at = None
        while helper.poll() is None:
            if program is not None and program.poll() is not None:
                ended_at = ended_at or time.monotonic()
                if time.monotonic() - ended_at > EXIT_GRACE:
                    _kill(helper)
                    break
            time.sleep(0.01)
        out.seek(0)
        err.seek(0)
        lines = out.read().decode("utf-8", "replace").strip().splitlines()
        message = err.read().decode("utf-8", "replace").strip()
    printed = bool(lines or message)
    box = json.loads(lines[-1]) if lines else None
    rc = helper.returncode
    if rc < 0:  # stopped by us
        rc = 0 if box is not None else 1
        message = message or "the program ended before the box appeared"
    return box, rc, message, printed


def close_all_boxes(wine: str, prefix: str, boxhelper: str, limit: int = 10) -> List[dict]:
    """Answers every message box left in the prefix with its default button."""
    env = wine_environment(prefix)
    closed = []
    for _ in range(limit):
        box, rc, _ = _run_helper(wine, boxhelper, env, None, "default", 0)
        if box is None:
            break
        closed.append(box)
    return closed


class TimedProcess(subprocess.Popen):
    """A process that notes when it was first seen to have ended: `seconds`
    is how long it ran, as closely as it is polled or waited for."""

    begun = 0.0
    seconds: Optional[float] = None

    def __init__(self, *args, **kwargs):
        self.begun = time.monotonic()
        super().__init__(*args, **kwargs)

    def poll(self):
        return self._note(super().poll())

    def wait(self, timeout=None):
        return self._note(super().wait(timeout))

    def _note(self, code):
        if code is not None and self.seconds is None:
            self.seconds = time.monotonic() - self.begun
        return code


def run_under_wine(wine: str, prefix: str, exe: str, args: Sequence[str], cwd: str,
                   env_extra: Optional[Dict[str, Optional[str]]],
                   boxes: Sequence[Tuple[str, str]], timeout: float, boxhelper: str,
                   box_timeout: float = BOX_TIMEOUT, log: Optional[str] = None) -> WineRun:
    """Runs `wine exe args...` in `cwd` and answers `boxes`, a list of
    (caption, answer) in the order the program should show them; answer is
    ok, yes, no, cancel or default. The whole run is limited to `timeout`
    seconds; the program is killed when it is exceeded.

    `log` is the file the program logs to: with it, a run that Wine did not
    start (see `started`: no output, no box, no log line, exit code 1 within
    FAILED_START_SECONDS) is started once more."""
    scale = max(1.0, float(os.environ.get(TIME_SCALE_VARIABLE) or 1))
    timeout, box_timeout = timeout * scale, box_timeout * scale
    logged = _size(log)
    run, seconds = _run_once(wine, prefix, exe, args, cwd, env_extra, boxes, timeout, boxhelper,
                             box_timeout)
    if log is None or started(run.exit_code, run.stdout + run.stderr,
                              run.boxes or run.unexpected_boxes or _size(log) != logged, seconds):
        return run
    note_not_started(exe)
    return _run_once(wine, prefix, exe, args, cwd, env_extra, boxes, timeout, boxhelper,
                     box_timeout)[0]


def _run_once(wine, prefix, exe, args, cwd, env_extra, boxes, timeout, boxhelper,
              box_timeout) -> Tuple[WineRun, Optional[float]]:
    """One run of run_under_wine's, and how long the program ran."""
    start = time.monotonic()
    deadline = start + timeout
    helper_env = wine_environment(prefix)
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        program = TimedProcess([wine, exe, *args], cwd=cwd, env=wine_environment(prefix, env_extra),
                               stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                               start_new_session=True)
        run = WineRun(exit_code=None, boxes=[])

        for caption, answer in boxes:
            wait = min(box_timeout, deadline - time.monotonic())
            box, rc, msg = _run_helper(wine, boxhelper, helper_env, caption, answer, wait, program)
            if box is not None:
                run.boxes.append(box)
            if rc == 1:
                run.missing_boxes.append(caption)
                run.errors.append(f"box {caption!r} not shown: {msg}")
            elif rc != 0:
                run.errors.append(f"box {caption!r} not answered with {answer!r}: {msg}")
                # Unblock the program with the box's default button.
                _run_helper(wine, boxhelper, helper_env, caption, "default", 1.0, program)

        # Any further box would block the program: answer each with its
        # default button until the program ends or the time is up.
        try:
            program.wait(max(0.0, min(SETTLE, deadline - time.monotonic())))
        except subprocess.TimeoutExpired:
            pass
        while program.poll() is None and time.monotonic() < deadline:
            box, _, _ = _run_helper(wine, boxhelper, helper_env, None, "default",
                                    deadline - time.monotonic(), program)
            if box is not None:
                run.unexpected_boxes.append(box)

        if program.poll() is None:
            run.timed_out = True
            run.errors.append(f"killed after {timeout} s")
            _kill(program)
        run.exit_code = None if run.timed_out else program.returncode

        if not run.clean:
            for box in close_all_boxes(wine, prefix, boxhelper):
                run.errors.append(f"closed a leftover box {box.get('caption')!r}")

        out.seek(0)
        err.seek(0)
        run.stdout = out.read().decode("utf-8", "replace")
        run.stderr = err.read().decode("utf-8", "replace")
    run.seconds = time.monotonic() - start
    return run, program.seconds


# --- Self-test --------------------------------------------------------------

_SHOWBOX_SOURCE = r"""
// Throwaway: runs the commands of its command line in order.
//   box <caption> <text> <style-hex>   MessageBoxW; the answer becomes the exit code
//   exit <n> | sleep <ms> | env <name> (exit code 0 absent, 1 empty, 2 set)
#include <windows.h>
#include <shellapi.h>
#include <cwchar>
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  int code = 0;
  for (int i = 1; i < argc; ++i) {
    if (!wcscmp(argv[i], L"box") && i + 3 < argc) {
      UINT style = (UINT)wcstoul(argv[i + 3], nullptr, 16);
      code = MessageBoxW(NULL, argv[i + 2], argv[i + 1], style | MB_TOPMOST | MB_SETFOREGROUND);
      i += 3;
    } else if (!wcscmp(argv[i], L"exit") && i + 1 < argc) {
      return _wtoi(argv[++i]);
    } else if (!wcscmp(argv[i], L"sleep") && i + 1 < argc) {
      Sleep(_wtoi(argv[++i]));
    } else if (!wcscmp(argv[i], L"env") && i + 1 < argc) {
      wchar_t buf[64];
      SetLastError(0);
      DWORD n = GetEnvironmentVariableW(argv[++i], buf, 64);
      code = n ? 2 : GetLastError() == ERROR_ENVVAR_NOT_FOUND ? 0 : 1;
    }
  }
  return code;
}
"""


def _self_test(prefix: str, wine: str) -> int:
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    work = tempfile.mkdtemp(prefix="wine-runner-selftest-", dir="/tmp")
    subprocess.run([os.path.join(root, "tests/wine/make_prefix.sh"), prefix, prefix.rstrip("/") + "-temp"],
                   check=True)
    src = os.path.join(work, "showbox.cpp")
    with open(src, "w") as f:
        f.write(_SHOWBOX_SOURCE)
    builds = {}
    for arch in ("i686", "x86_64"):
        cxx = f"{arch}-w64-mingw32-g++-win32"
        flags = ["-std=c++17", "-O2", "-municode", "-static", "-static-libgcc", "-static-libstdc++"]
        showbox = os.path.join(work, f"showbox-{arch}.exe")
        helper = os.path.join(work, f"boxhelper-{arch}.exe")
        subprocess.run([cxx, *flags, "-mwindows", src, "-o", showbox, "-lshell32"], check=True)
        subprocess.run([cxx, *flags, os.path.join(root, "tests/wine/boxhelper.cpp"), "-o", helper],
                       check=True)
        builds[arch] = (showbox, helper)

    def box(caption, text, buttons, icon):
        return {"caption": caption, "text": text, "buttons": buttons, "icon": icon}

    text = 'Line 1\nLine 2 "q" \\ \u00e9\u20ac\t\u00fc'
    # (name, program args, env_extra, boxes to answer, expected exit code or
    #  None for a kill, expected boxes, unexpected boxes, missing captions)
    cases = [
        ("question yes", ["box", "Brevant Updater", text, "24"], {}, [("Brevant Updater", "yes")], 6,
         [box("Brevant Updater", text, "Yes/No", "question")], [], []),
        ("question no", ["box", "Q", "x", "24"], {}, [("Q", "no")], 7,
         [box("Q", "x", "Yes/No", "question")], [], []),
        ("error ok, CR LF kept", ["box", "E", "a\r\nb", "10"], {}, [("E", "ok")], 1,
         [box("E", "a\r\nb", "OK", "error")], [], []),
        ("warning then information", ["box", "W", "w", "30", "box", "I", "i", "40"], {},
         [("W", "ok"), ("I", "ok")], 1,
         [box("W", "w", "OK", "warning"), box("I", "i", "OK", "information")], [], []),
        ("no icon, cancel", ["box", "N", "n", "1"], {}, [("N", "cancel")], 2,
         [box("N", "n", "OK/Cancel", "none")], [], []),
        ("non-ASCII caption", ["box", "\u00dcber \u65e5\u672c", "t", "0"], {}, [("\u00dcber \u65e5\u672c", "ok")],
         1, [box("\u00dcber \u65e5\u672c", "t", "OK", "none")], [], []),
        ("unexpected second box", ["box", "A", "a", "0", "box", "B", "b", "4"], {}, [("A", "ok")], 6,
         [box("A", "a", "OK", "none")], [box("B", "b", "Yes/No", "none")], []),
        ("missing box", ["box", "A", "a", "0"], {}, [("A", "ok"), ("B", "ok")], 1,
         [box("A", "a", "OK", "none")], [], ["B"]),
        ("exit code passes", ["exit", "42"], {}, [], 42, [], [], []),
        ("env absent", ["env", "BU_SELFTEST_VAR"], {"BU_SELFTEST_VAR": None}, [], 0, [], [], []),
        ("env empty", ["env", "BU_SELFTEST_VAR"], {"BU_SELFTEST_VAR": ""}, [], 1, [], [], []),
        ("env set", ["env", "bu_selftest_var"], {"BU_SELFTEST_VAR": "x"}, [], 2, [], [], []),
        ("killed on timeout", ["sleep", "60000"], {}, [], None, [], [], []),
    ]
    failures = 0
    box_times = []
    for arch, (showbox, helper) in builds.items():
        for name, args, env_extra, answers, code, seen, unexpected, missing in cases:
            limit = 3 if code is None else 30
            run = run_under_wine(wine, prefix, showbox, args, work, env_extra, answers, limit, helper,
                                 box_timeout=3)
            got = (run.exit_code, run.boxes, run.unexpected_boxes, run.missing_boxes)
            want = (code, seen, unexpected, missing)
            ok = got == want and run.timed_out == (code is None)
            failures += not ok
            n = len(run.boxes) + len(run.unexpected_boxes)
            if ok and n and not missing:
                box_times.append(run.seconds / n)
            print(f"{'ok  ' if ok else 'FAIL'} {arch:6} {name:28} {run.seconds:5.2f} s")
            if not ok:
                print(f"     got  {got} timed_out={run.timed_out} errors={run.errors}\n     want {want}")
    if box_times:
        print(f"mean run time per box (program start included): {sum(box_times) / len(box_times):.2f} s")
    print(f"{failures} failure(s); throwaway programs in {work}")
    return 1 if failures else 0


if __name__ == "__main__":
    import argparse
    import sys

    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--self-test", action="store_true", required=True)
    parser.add_argument("--prefix", default="/tmp/wine-runner-selftest-prefix")
    parser.add_argument("--wine", default=WINE)
    options = parser.parse_args()
    sys.exit(_self_test(options.prefix, options.wine))
