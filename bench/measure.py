"""Running commands side by side: wall time, CPU time and peak resident memory
of each run (measured by bench/launch.cpp), alternating the order of the
contenders from round to round, and the medians."""

import os
import signal
import statistics
import subprocess
import threading
from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional, Sequence


@dataclass
class Sample:
    seconds: float
    max_rss_kb: int
    exit_code: int
    cpu_seconds: float  # user + system


def run_once(launcher: str, argv: Sequence[str], cwd: str, env: Dict[str, str],
             timeout: float) -> Sample:
    """One run of argv through the launcher (bench/launch.cpp), which measures
    it; output discarded. The run is killed when it exceeds `timeout`."""
    proc = subprocess.Popen([launcher, *argv], cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            start_new_session=True)
    timer = threading.Timer(timeout, lambda: _kill_group(proc.pid))
    timer.start()
    try:
        report, errors = proc.communicate()
    finally:
        timer.cancel()
    found = dict(item.split("=", 1) for item in report.split())
    if proc.returncode != 0 or "seconds" not in found:
        raise RuntimeError("could not run %s: %s" % (argv[0], errors.strip() or "killed"))
    return Sample(float(found["seconds"]), int(found["max_rss_kb"]), int(found["exit_code"]),
                  float(found["cpu_seconds"]))


def _kill_group(pid: int) -> None:
    try:
        os.killpg(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


@dataclass
class Contender:
    """One side of a comparison. `prepare` runs before every run and answers
    (argv, cwd, env); `finish` runs after it with the sample and raises when
    the run did not do its job. Neither is timed."""
    name: str
    launcher: str
    prepare: Callable[[], tuple]
    finish: Callable[[Sample], None] = lambda sample: None
    timeout: float = 600.0
    samples: List[Sample] = field(default_factory=list)

    def run(self, keep: bool) -> None:
        argv, cwd, env = self.prepare()
        sample = run_once(self.launcher, argv, cwd, env, self.timeout)
        self.finish(sample)
        if keep:
            self.samples.append(sample)

    @property
    def seconds(self) -> float:
        return statistics.median(s.seconds for s in self.samples)

    @property
    def cpu_seconds(self) -> float:
        return statistics.median(s.cpu_seconds for s in self.samples)

    @property
    def max_rss_kb(self) -> float:
        return statistics.median(s.max_rss_kb for s in self.samples)


def alternate(contenders: Sequence[Contender], runs: int, warm_up: int = 1,
              progress: Optional[Callable[[str], None]] = None) -> None:
    """`warm_up` untimed runs of each, then `runs` timed runs of each, the
    order of the contenders reversed every other round."""
    for round_ in range(warm_up + runs):
        order = list(contenders) if round_ % 2 == 0 else list(reversed(contenders))
        for contender in order:
            contender.run(keep=round_ >= warm_up)
        if progress is not None:
            progress("round %d/%d" % (round_ + 1, warm_up + runs))


def check_exit(expected: int, what: str) -> Callable[[Sample], None]:
    def finish(sample: Sample) -> None:
        if sample.exit_code != expected:
            raise RuntimeError("%s exited with %d, expected %d" %
                               (what, sample.exit_code, expected))
    return finish
