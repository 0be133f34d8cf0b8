"""What the fault tests do to the machine: file systems that cannot be
written or run full, a writer that races the program, and a few helpers.
Used by run_faults.py."""

import contextlib
import os
import random
import string
import subprocess
import threading
import time

import deployment


class Skip(Exception):
    """The machine does not allow this fault; the reason is printed."""


@contextlib.contextmanager
def unwritable(path):
    """`path` cannot be written while the block runs, by the superuser either:
    a read-only file system is mounted over it (without the right to mount,
    its mode forbids writing, which binds any other user)."""
    if os.geteuid() == 0:
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "ro,size=4k", "bu-fault-ro", path],
                                 capture_output=True, text=True)
        if mounted.returncode != 0:
            raise Skip("cannot mount a read-only file system: " + mounted.stderr.strip())
        try:
            yield
        finally:
            subprocess.run(["umount", path], check=True)
    else:
        mode = os.stat(path).st_mode
        os.chmod(path, 0o555)
        try:
            yield
        finally:
            os.chmod(path, mode)


@contextlib.contextmanager
def full_file_system(path):
    """A 64 KB file system mounted at `path` while the block runs."""
    if os.geteuid() != 0:
        raise Skip("mounting a small file system needs the superuser")
    os.makedirs(path, exist_ok=True)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "bu-fault-full", path],
                             capture_output=True, text=True)
    if mounted.returncode != 0:
        raise Skip("cannot mount a 64 KB tmpfs: " + mounted.stderr.strip())
    try:
        yield
    finally:
        subprocess.run(["umount", path], check=True)


def random_text(size):
    """Text that compresses badly: an archive of it is about as large."""
    generator = random.Random(size)
    alphabet = string.ascii_letters + string.digits
    return "".join(generator.choice(alphabet) for _ in range(size))


def wait_for(condition, seconds, process=None):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        if process is not None and process.poll() is not None:
            return condition()
        time.sleep(0.02)
    return False


class NativeRacer:
    """Keeps putting one of two files' bytes in the place of a third, in turn:
    in place, or through a new file renamed over it."""

    def __init__(self, path, first, second, work):
        self.path, self.contents = path, [first, second]
        self.stop, self.rounds, self.refused = threading.Event(), 0, 0
        self.thread = threading.Thread(target=self._race, daemon=True)
        self.thread.start()

    def _race(self):
        beside = self.path + ".new"
        while not self.stop.is_set():
            data = self.contents[self.rounds % 2]
            try:
                with open(beside if self.rounds // 2 % 2 else self.path, "wb") as f:
                    f.write(data)
                if self.rounds // 2 % 2:
                    os.replace(beside, self.path)
            except OSError:
                self.refused += 1
            self.rounds += 1
            # Each content stays a moment, so that a check may find either
            # whole, as well as one half written.
            time.sleep(0.0005 * (self.rounds % 3))

    def finish(self):
        self.stop.set()
        self.thread.join()
        return "rounds=%d refused=%d" % (self.rounds, self.refused)


class WineRacer:
    """The same race from a Windows process, which meets the share modes."""

    def __init__(self, options, path, first, second, work):
        self.stop_file = os.path.join(work, "stop-racing")
        with contextlib.suppress(FileNotFoundError):
            os.remove(self.stop_file)
        from wine_runner import WINE, note_not_started, started, wine_environment
        with open(second, "rb") as f:
            second_bytes = f.read()
        for attempt in (1, 2):
            self.process = subprocess.Popen(
                [WINE, options.racer] + [deployment.windows_path(p)
                                           for p in (path, first, second, self.stop_file)],
                env=wine_environment(options.wine_prefix), stdin=subprocess.DEVNULL,
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            # It races once it has put the second file in place; an end
            # before, with 1 and no word, is a start that Wine failed.
            racing = wait_for(lambda: open(path, "rb").read() == second_bytes, 30, self.process)
            if racing or self.process.poll() is None or attempt == 2 or started(
                    self.process.returncode, self.process.communicate(timeout=60)[0]):
                break
            note_not_started(options.racer)

    def finish(self):
        open(self.stop_file, "w").close()
        out, _ = self.process.communicate(timeout=60)
        return out.strip()
