#!/usr/bin/env python3
"""The benchmarks of the POSIX program (and one figure under Wine): each
figure compares two commands run side by side, alternating, and takes the
medians. Prints a table, then one `name=value` line per figure.

  bench.py --build <dir> [--quick] [--windows <i686 build dir>] [--only NAME...]

<dir> is a POSIX build configured with BU_BENCHMARKS=ON whose test fixtures
(signed modules, test PKI) have been made; bench/run.sh does both.

The program trusts the test root as the end-to-end tests make it do: a trust
file holding only that root. The figures named *_system_store repeat a run
with the system's trust store plus the test root, as on a real machine,
where reading the store costs more.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import measure
import packages

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "e2e"))
import manifest  # noqa: E402
from packages import AUTH_MODULE, DEPLOY_MODULE, UNRAR

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SYSTEM_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"
SYSTEM_CERT_DIR = "/etc/ssl/certs"
# Where the runs' outputs go unless --scratch says: a memory file system, so
# that what is measured is the programs' work and not the disk's (on a disk
# mounted with online discard, deleting the outputs of one run takes minutes).
SCRATCH_BASES = ("/dev/shm",)

# Shape of each benchmark: full run, --quick.
SHAPES = {
    False: dict(large_files=4, large_size=16 << 20, small_files=5000, many_files=50000, runs=7,
                entries=1000, wine_entries=1000, wine_runs=5, products=10000, parse_rounds=11,
                log_lines=2000, log_rounds=11),
    True: dict(large_files=2, large_size=8 << 20, small_files=5000, many_files=10000, runs=5,
               entries=300, wine_entries=60, wine_runs=5, products=10000, parse_rounds=7,
               log_lines=1000, log_rounds=7),
}

STARTED = time.monotonic()


def say(text):
    print("[%5.1f s] %s" % (time.monotonic() - STARTED, text), file=sys.stderr, flush=True)


class Bench:
    def __init__(self, options):
        self.build = os.path.abspath(options.build)
        self.shape = SHAPES[options.quick]
        self.work = os.path.abspath(options.work or os.path.join(self.build, "bench-work"))
        self.program = os.path.join(self.build, "brevUpdater")
        self.launcher = os.path.join(self.build, "bench", "bu_bench_launch")
        self.pki = os.path.join(self.build, "tests", "trust", "fixtures", "pki")
        signed = os.path.join(self.build, "tests", "modules", "fixtures", "native", "signed")
        self.modules = {name: os.path.join(signed, name) for name in packages.MODULES}
        self.windows = options.windows or os.path.join(self.build, "windows-i686")
        self.figures = []  # (name, what, ours, reference, unit, value, goal)
        self.notes = []
        os.makedirs(self.work, exist_ok=True)
        base = options.scratch or next((d for d in SCRATCH_BASES if os.path.isdir(d)), self.work)
        self.scratch = tempfile.mkdtemp(prefix="bu-bench-", dir=base)
        self.trash = os.path.join(self.scratch, "trash")
        self.trashed = 0
        self.log_dir = os.path.join(self.work, "tmp")
        os.makedirs(self.log_dir, exist_ok=True)
        registry = os.path.join(self.work, "registry")
        os.makedirs(registry, exist_ok=True)
        base_env = dict(os.environ, LC_ALL="C.UTF-8", TMPDIR=self.log_dir,
                        BU_REGISTRY_ROOT=registry)
        base_env.pop("sfxcmd", None)
        self.env = dict(base_env, SSL_CERT_FILE=os.path.join(self.pki, "root.pem"),
                        SSL_CERT_DIR=self.pki)
        self.system_env = dict(base_env, SSL_CERT_FILE=self._system_bundle(),
                               SSL_CERT_DIR=SYSTEM_CERT_DIR)

    def _system_bundle(self):
        bundle = os.path.join(self.work, "trust-bundle.pem")
        with open(bundle, "wb") as out:
            if os.path.exists(SYSTEM_BUNDLE):
                with open(SYSTEM_BUNDLE, "rb") as f:
                    out.write(f.read())
            else:
                self.notes.append("no system trust store here: *_system_store runs trust the "
                                  "test root only")
            with open(os.path.join(self.pki, "root.pem"), "rb") as f:
                out.write(f.read())
        return bundle

    # A run's output is moved aside, not deleted, until the end: with a
    # scratch directory on ext4, files created soon after thousands were
    # deleted pay for a scan of the recently freed inodes, which would land on
    # whichever run came next.
    def discard(self, directory):
        os.makedirs(self.trash, exist_ok=True)
        self.trashed += 1
        os.rename(directory, os.path.join(self.trash, str(self.trashed)))

    def remove_scratch(self):
        say("removing the runs' outputs...")
        shutil.rmtree(self.scratch, ignore_errors=True)

    def figure(self, name, what, ours, reference, unit, value, goal):
        self.figures.append((name, what, ours, reference, unit, value, goal))

    def clear_log(self, directory=None):
        path = os.path.join(directory or self.log_dir, "Log.BrevantUpdater.txt")
        if os.path.exists(path):
            os.remove(path)

    # extract_ratio, extract_rss_ratio: our /q /extract of a one-entry package
    # against `unrar x` of the same archive, each into a fresh directory;
    # extract_many_ratio: the same on an archive of many small files in nested
    # folders, where a cost per file shows.
    def extract(self):
        s = self.shape
        say("making the extraction archives (kept for later runs)...")
        archive, content = packages.make_big_archive(self.work, self.scratch, s["large_files"],
                                                     s["large_size"], s["small_files"])
        ours, unrar, system, manifested = self.extract_contenders("extract", archive, content,
                                                                  True, with_manifest=True)
        size = "%.0f MB, %d files" % (content[1] / 1e6, content[0])
        self.figure("extract_ratio", "/q /extract vs unrar x, %s: time" % size,
                    ours.seconds, unrar.seconds, "s", ours.seconds / unrar.seconds, 1.05)
        self.figure("extract_rss_ratio", "the same: peak resident memory",
                    ours.max_rss_kb / 1024, unrar.max_rss_kb / 1024, "MB",
                    ours.max_rss_kb / unrar.max_rss_kb, 1.5)
        self.figure("extract_ratio_system_store", "the same with the system's trust store: time",
                    system.seconds, unrar.seconds, "s", system.seconds / unrar.seconds, None)
        self.notes.append("extract: CPU time (user+sys) %.3f s ours, %.3f s unrar x, %.3f s ours "
                          "with the system store" % (ours.cpu_seconds, unrar.cpu_seconds,
                                                     system.cpu_seconds))
        # extract_manifest_ratio: the same package with a signed manifest, in
        # the same rounds: the archive is also read into the sealed copy the
        # library reads, and hashed on the way.
        self.figure("extract_manifest_ratio", "the same with a signed package manifest: time",
                    manifested.seconds, unrar.seconds, "s", manifested.seconds / unrar.seconds,
                    1.10)
        self.figure("extract_manifest_rss_ratio", "the same: peak resident memory",
                    manifested.max_rss_kb / 1024, unrar.max_rss_kb / 1024, "MB",
                    manifested.max_rss_kb / unrar.max_rss_kb, None)
        self.notes.append("extract_manifest: CPU time (user+sys) %.3f s ours, %.3f s unrar x"
                          % (manifested.cpu_seconds, unrar.cpu_seconds))
        archive, content = packages.make_big_archive(self.work, self.scratch, 0, 0,
                                                     s["many_files"], nested=True)
        ours, unrar, _, _ = self.extract_contenders("extract-many", archive, content, False)
        self.figure("extract_many_ratio", "the same, %d small files in 500 nested folders: time"
                    % content[0], ours.seconds, unrar.seconds, "s", ours.seconds / unrar.seconds,
                    1.10)
        self.notes.append("extract_many: CPU time (user+sys) %.3f s ours, %.3f s unrar x"
                          % (ours.cpu_seconds, unrar.cpu_seconds))
        # extract_over_ratio: the same archive over an older copy of its own
        # tree (what an update meets), against unrar x -o+.
        older = os.path.join(self.work, "extract-over-older")
        if packages.tree_summary(older) != content:
            shutil.rmtree(older, ignore_errors=True)
            os.makedirs(older)
            subprocess.run(["unrar", "x", "-idq", archive, older + "/"], check=True)
        ours, unrar, _, _ = self.extract_contenders("extract-over", archive, content, False,
                                                    older=older)
        self.figure("extract_over_ratio", "the same over an older copy of its tree, vs unrar x "
                    "-o+: time", ours.seconds, unrar.seconds, "s", ours.seconds / unrar.seconds,
                    1.15)
        self.notes.append("extract_over: CPU time (user+sys) %.3f s ours, %.3f s unrar x -o+"
                          % (ours.cpu_seconds, unrar.cpu_seconds))

    # Runs ours and `unrar x` (and ours with the system store, and ours on the
    # package with a signed manifest, when asked) on `archive`, alternating;
    # answers the four contenders (those not asked None). With `older`, each
    # run extracts over a fresh copy of that tree.
    def extract_contenders(self, name, archive, content, with_system_store, older=None,
                           with_manifest=False):
        s = self.shape
        package = packages.make_package(os.path.join(self.work, name + "-package"), self.modules,
                                        [("Content.rar", archive)],
                                        [os.path.join(self.work, "unused")])
        signed = None
        if with_manifest:
            signed = packages.make_package(os.path.join(self.work, name + "-manifest-package"),
                                           self.modules, [("Content.rar", archive)],
                                           [os.path.join(self.work, "unused")])
            manifest.write(signed, {}, [{"file": "Content.rar"}], "native", self.pki)
        out = os.path.join(self.scratch, "extract-out")
        ours_argv = [self.program, "/q", "/extract", "Content.rar", out]

        def contender(label, argv, cwd, env):
            def prepare():
                if older:
                    subprocess.run(["cp", "-a", older, out], check=True)
                else:
                    os.makedirs(out)
                self.clear_log()
                return argv, cwd, env

            def finish(sample):
                measure.check_exit(0, label)(sample)
                found = packages.tree_summary(out)
                if found != content:
                    raise RuntimeError("%s left %r (files, bytes), expected %r" %
                                       (label, found, content))
                self.discard(out)
            return measure.Contender(label, self.launcher, prepare, finish)

        ours = contender("brevUpdater /q /extract", ours_argv, package, self.env)
        unrar = contender("unrar x", ["unrar", "x", "-idq"] + (["-o+"] if older else []) +
                          [archive, out + "/"], self.work, self.env)
        system = (contender("the same, system store", ours_argv, package, self.system_env)
                  if with_system_store else None)
        manifested = (contender("the same, signed manifest", ours_argv, signed, self.env)
                      if with_manifest else None)
        say("%s: %d files, %.1f MB, archive %.1f MB" %
            (name, content[0], content[1] / 1e6, os.path.getsize(archive) / 1e6))
        measure.alternate([c for c in (ours, unrar, system, manifested) if c], s["runs"],
                          progress=say)
        return ours, unrar, system, manifested

    def entry_package(self, name, count, modules, windows=False):
        small = packages.make_small_archive(self.work)
        out = os.path.join(self.scratch, name + "-out")
        archives = [("E%04d.rar" % i, small) for i in range(count)]
        targets = [os.path.join(out, "%04d" % i) for i in range(count)]
        package = packages.make_package(os.path.join(self.work, name), modules, archives, targets,
                                        windows)
        return package, out

    def entries_contender(self, label, argv, package, out, count, env, log_dir, timeout=900):
        def prepare():
            self.clear_log(log_dir)
            return argv, package, env

        def finish(sample):
            measure.check_exit(0, label)(sample)
            deployed = len(os.listdir(out)) if os.path.isdir(out) else 0
            if deployed != count:
                raise RuntimeError("%s deployed %d of %d entries" % (label, deployed, count))
            self.discard(out)
        return measure.Contender(label, self.launcher, prepare, finish, timeout)

    # entry_ms: a silent full run of many entries, per entry; beside it a run
    # of a single entry, the fixed cost of a run.
    def entries(self):
        count = self.shape["entries"]
        argv = [self.program, "/q"]
        many, many_out = self.entry_package("entries", count, self.modules)
        one, one_out = self.entry_package("entries-one", 1, self.modules)
        runs = [self.entries_contender("entries", argv, many, many_out, count, self.env,
                                       self.log_dir),
                self.entries_contender("one entry", argv, one, one_out, 1, self.env,
                                       self.log_dir),
                self.entries_contender("entries, system store", argv, many, many_out, count,
                                       self.system_env, self.log_dir)]
        say("entries: %d per run" % count)
        measure.alternate(runs, self.shape["runs"], progress=say)
        many_run, one_run, system_run = runs
        self.figure("entry_ms", "full run of %d entries / %d (reference: 1 entry)" % (count, count),
                    many_run.seconds * 1000 / count, one_run.seconds * 1000, "ms",
                    many_run.seconds * 1000 / count, 5.0)
        self.figure("entry_ms_system_store", "the same with the system's trust store",
                    system_run.seconds * 1000 / count, None, "ms",
                    system_run.seconds * 1000 / count, None)
        self.notes.append("entry_ms: CPU time (user+sys) %.2f ms per entry, %.2f ms with the "
                          "system store" % (many_run.cpu_seconds * 1000 / count,
                                            system_run.cpu_seconds * 1000 / count))

    def sign_windows_modules(self):
        signed = os.path.join(self.work, "wine-modules")
        os.makedirs(signed, exist_ok=True)
        sources = {AUTH_MODULE: os.path.join(self.windows, "tests", "modules", AUTH_MODULE),
                   DEPLOY_MODULE: os.path.join(self.windows, "tests", "modules", DEPLOY_MODULE),
                   UNRAR: os.path.join(self.windows, UNRAR)}
        modules = {}
        for name, source in sources.items():
            modules[name] = os.path.join(signed, name)
            subprocess.run(["bash", os.path.join(ROOT, "scripts", "sign_file.sh"),
                            os.path.join(self.pki, "maker.pem"), os.path.join(self.pki, "leaf.key"),
                            os.path.join(self.pki, "root.pem"), source, modules[name]], check=True)
        return modules

    # entry_ms_wine: the same kind of run with brevUpdater.exe under Wine, in
    # a prefix of the benchmark's own that trusts the test root.
    def wine_entries(self):
        exe = os.path.join(self.windows, "brevUpdater.exe")
        if not (os.path.exists(exe) and shutil.which("wine")):
            self.notes.append("entry_ms_wine skipped: no %s or no wine" % exe)
            return
        count = self.shape["wine_entries"]
        modules = self.sign_windows_modules()
        prefix = os.path.join(self.work, "wine", "prefix")
        temp = os.path.join(self.work, "wine", "temp")
        say("wine prefix %s..." % prefix)
        subprocess.run([os.path.join(ROOT, "tests", "wine", "make_prefix.sh"), prefix, temp],
                       check=True, timeout=600)
        try:
            subprocess.run([os.path.join(ROOT, "tests", "trust", "trust_root_in_prefix.sh"),
                            prefix, os.path.join(self.pki, "root.pem")], check=True, timeout=300,
                           stdout=subprocess.DEVNULL)
            package, out = self.entry_package("wine-entries", count, modules, windows=True)
            shutil.copyfile(exe, os.path.join(package, "brevUpdater.exe"))
            env = dict(os.environ, WINEPREFIX=os.path.realpath(prefix), WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
            for name in ("DISPLAY", "WAYLAND_DISPLAY", "sfxcmd"):
                env.pop(name, None)
            run = self.entries_contender("wine", ["wine", "brevUpdater.exe", "/q"], package, out,
                                         count, env, temp)
            say("entries under Wine: %d per run" % count)
            measure.alternate([run], self.shape["wine_runs"], progress=say)
            self.figure("entry_ms_wine", "the same, brevUpdater.exe under Wine, %d entries" % count,
                        run.seconds * 1000 / count, None, "ms", run.seconds * 1000 / count, None)
            self.notes.append("entry_ms_wine: CPU time of the wine process (user+sys) %.2f ms "
                              "per entry, wineserver not included"
                              % (run.cpu_seconds * 1000 / count))
        finally:
            subprocess.run([os.path.join(ROOT, "tests", "wine", "stop_prefix.sh"), prefix])

    def in_process(self, program, args, env):
        done = subprocess.run([os.path.join(self.build, "bench", program), *map(str, args)],
                              env=env, stdout=subprocess.PIPE, text=True, check=True)
        return {k: float(v) for k, v in re.findall(r"^(\w+)=([0-9.eE+-]+)$", done.stdout, re.M)}

    # parse_10k_ratio: loadConfigurationFile + parseConfiguration against
    # TinyXML's LoadFile and a walk, in one process (bench/parse_bench.cpp).
    def parse(self):
        s = self.shape
        directory = os.path.join(self.work, "parse-package")
        packages.write_configuration(directory, s["products"])
        self.clear_log()
        found = self.in_process("bu_bench_parse", [directory, s["parse_rounds"], s["products"]],
                                self.env)
        ours, reference = found["parse_ours_s"], found["parse_reference_s"]
        self.figure("parse_10k_ratio", "load + parse %d products vs TinyXML alone" % s["products"],
                    ours * 1000, reference * 1000, "ms", ours / reference, 1.5)

    # log_line_ratio: WriteLog against open, append, flush, close of the same
    # bytes (bench/log_bench.cpp).
    def log(self):
        s = self.shape
        directory = os.path.join(self.work, "log-tmp")
        shutil.rmtree(directory, ignore_errors=True)
        os.makedirs(directory)
        found = self.in_process("bu_bench_log", [s["log_lines"], s["log_rounds"]],
                                dict(self.env, TMPDIR=directory))
        ours, reference = found["log_line_ours_s"], found["log_line_reference_s"]
        self.figure("log_line_ratio", "one WriteLog line vs open+append+flush+close", ours * 1e6,
                    reference * 1e6, "us", ours / reference, 1.3)

    def print_report(self):
        rows = [("figure", "what", "ours", "reference", "value", "goal", "")]
        for name, what, ours, reference, unit, value, goal in self.figures:
            rows.append((name, what, "%.3f %s" % (ours, unit),
                         "-" if reference is None else "%.3f %s" % (reference, unit),
                         "%.3f" % value, "-" if goal is None else "<= %g" % goal,
                         "" if goal is None else ("met" if value <= goal else "MISSED")))
        widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
        for index, row in enumerate(rows):
            print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())
            if index == 0:
                print("  ".join("-" * width for width in widths))
        for note in self.notes:
            print("note: " + note)
        print()
        for name, _, _, _, _, value, _ in self.figures:
            print("%s=%.3f" % (name, value))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--windows", help="the i686 Windows build (default <build>/windows-i686)")
    parser.add_argument("--work", help="inputs and packages (default <build>/bench-work)")
    parser.add_argument("--scratch", help="where the runs' outputs go (default /dev/shm)")
    parser.add_argument("--only", nargs="+",
                        choices=["extract", "entries", "wine", "parse", "log"],
                        help="run only these benchmarks")
    options = parser.parse_args()
    bench = Bench(options)
    bench.notes.append("load average at the start: %.2f %.2f %.2f" % os.getloadavg())
    steps = {"extract": bench.extract, "entries": bench.entries, "wine": bench.wine_entries,
             "parse": bench.parse, "log": bench.log}
    try:
        for name, step in steps.items():
            if options.only is None or name in options.only:
                step()
    finally:
        bench.remove_scratch()
    bench.notes.append("load average at the end: %.2f %.2f %.2f" % os.getloadavg())
    bench.print_report()


if __name__ == "__main__":
    main()
