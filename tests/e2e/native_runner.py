"""Runs the POSIX program as a user would, answering its boxes on stdin."""

import os
import subprocess

BOX_OPEN = "--- "
BOX_CLOSE = ("--- [OK] ---", "--- [Yes/No] ---")


def parse_boxes(stderr):
    """The boxes in the fixed form the POSIX port writes to standard error."""
    boxes = []
    current = None
    for line in stderr.split("\n"):
        if current is None:
            if line.startswith(BOX_OPEN) and line.endswith(") ---"):
                caption, _, icon = line[len(BOX_OPEN):-len(") ---")].rpartition(" (")
                current = {"caption": caption, "icon": icon, "lines": []}
        elif line in BOX_CLOSE:
            current["buttons"] = line[len("--- ["):-len("] ---")]
            current["text"] = "\n".join(current.pop("lines"))
            boxes.append(current)
            current = None
        else:
            current["lines"].append(line)
    return boxes


def run_native(program, args, cwd, temp_dir, sfxcmd, answers, timeout=30, extra_env=None):
    """Returns (exit code, boxes, stderr). `answers` feeds the Yes/No boxes."""
    env = dict(os.environ)
    env.pop("sfxcmd", None)
    if sfxcmd is not None:
        env["sfxcmd"] = sfxcmd
    env["TMPDIR"] = temp_dir
    env.update(extra_env or {})
    stdin = "".join(answer + "\n" for answer in answers)
    done = subprocess.run([program] + list(args), cwd=cwd, env=env, input=stdin.encode(),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    stderr = done.stderr.decode("utf-8", "replace")
    return done.returncode, parse_boxes(stderr), stderr
