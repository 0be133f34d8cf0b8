"""What a deployment scenario adds to a run: a configuration written from a
table of products, modules installed outside the package and registered, a
module trace, and the files that must land.

Scenario fields (all optional):

  products   list of products, each {"file", "desc", "auth": [dll, location,
             content type], "deploy": [dll, location, content type]}; written
             as the package's buConfig.xml. "desc" defaults to the file name.
  run_oem_only  true: the configuration has an info element setting
             run-oem-only to yes (else it has no info element)
  archives   map: archive name in the package -> {path: text} of its files,
             made with rar when the scenario runs; the key "@rar" holds more
             options for rar (e.g. "-v64k -m0" makes volumes name.partN.rar)
  installed  map: name in the install directory -> fixture path
  registry   map: value name -> data, registered under the modules' key;
             "registry_views" chooses the Wine views ("32", "64"; both unless
             said). The POSIX program reads a registry directory.
  trace      the lines the test modules append to their trace, in order
  tree       map: path below the deployment target -> file content (text), or
             null for a directory; the target must hold exactly these
  sibling    true: the 64-bit program is copied into the package as
             brevUpdater64.exe (Windows only)
  manifest, policy  the package's manifest and the machine's policy (see
             manifest.py)

Words, in every text of the scenario: {target} the deployment directory,
{installed} the install directory, {work} the scenario's directory, each in
the form the program under test writes paths; {target_lower} is {target}
lower-cased A-Z, as the Windows programs store an /extract path; {sep} the
directory separator.
"""

import os
import re
import shutil
import subprocess
import tempfile
from xml.sax.saxutils import escape

import manifest
from wine_runner import run_started

REGISTRY_KEY = r"SOFTWARE\Tarvenix\BrevantUpdater\LocalDLLs"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def lower_ascii(text):
    return re.sub(r"[A-Z]", lambda m: m.group(0).lower(), text)


def run_words(target, work):
    """The per-run words of a scenario's texts."""
    form = (lambda p: p) if target == "native" else windows_path
    words = {
        "target": form(os.path.join(work, "target")),
        "installed": form(os.path.join(work, "installed")),
        "work": form(work),
    }
    words["target_lower"] = words["target"] if target == "native" else lower_ascii(words["target"])
    words["sep"] = "/" if target == "native" else "\\"
    return words


def expand(value, words):
    if isinstance(value, list):
        return [expand(v, words) for v in value]
    if isinstance(value, dict):
        return {expand(k, words): expand(v, words) for k, v in value.items()}
    if isinstance(value, str):
        return re.sub(r"\{(\w+)\}", lambda m: words.get(m.group(1), m.group(0)), value)
    return value


def configuration(products, oem_only=False):
    """buConfig.xml for a table of products (8-bit text, as a package holds it)."""
    def module(tag, fields):
        dll, location, content = fields
        return ("    <%s>\n      <content-type>%s</content-type>\n      <location>%s</location>\n"
                "      <dll-name>%s</dll-name>\n    </%s>\n"
                % (tag, escape(content), escape(location), escape(dll), tag))
    parts = ['<?xml version="1.0" encoding="windows-1252"?>\n<package>\n']
    if oem_only:
        parts.append("  <info>\n    <run-oem-only>yes</run-oem-only>\n  </info>\n")
    for p in products:
        parts.append("  <product>\n    <update-file>%s</update-file>\n"
                     "    <update-description>%s</update-description>\n"
                     % (escape(p["file"]), escape(p.get("desc", p["file"]))))
        parts.append(module("auth-dll-info", p["auth"]))
        parts.append(module("deploy-dll-info", p["deploy"]))
        parts.append("  </product>\n")
    parts.append("</package>\n")
    return "".join(parts).encode("cp1252")


class Deployment:
    """Sets up one scenario's deployment side and checks what it left."""

    def __init__(self, scenario, target, work, find_fixture, wine=None, pki=None):
        self.pki = pki
        self.scenario = scenario
        self.target = target
        self.work = work
        self.find_fixture = find_fixture
        self.wine = wine  # (wine command, prefix environment) under Wine
        self.env = {}
        self.words = {}  # words known once the package is made
        self.views = scenario.get("registry_views", ["32", "64"])

    def prepare(self, package):
        s = self.scenario
        os.makedirs(os.path.join(self.work, "target"), exist_ok=True)
        if "products" in s:
            with open(os.path.join(package, "buConfig.xml"), "wb") as f:
                f.write(configuration(s["products"], s.get("run_oem_only", False)))
        for archive, files in s.get("archives", {}).items():
            make_archive(os.path.join(package, archive), files,
                         os.path.join(self.work, "archive-" + archive))
        if "manifest" in s:
            self.words = manifest.write(package, s["manifest"], s.get("products", []),
                                        self.target, self.pki)
        installed = os.path.join(self.work, "installed")
        for name, fixture in s.get("installed", {}).items():
            os.makedirs(installed, exist_ok=True)
            shutil.copyfile(self.find_fixture(fixture), os.path.join(installed, name))
        if "trace" in s:
            trace = os.path.join(self.work, "trace.txt")
            self.env["BU_MODULE_TRACE"] = trace if self.target == "native" else windows_path(trace)
        self._write_registry(s.get("registry"))

    def _write_registry(self, values):
        if self.target == "native":
            # The key exists only when the scenario registers something, as
            # under Wine.
            root = os.path.join(self.work, "registry")
            key = os.path.join(root, *REGISTRY_KEY.split("\\"))
            os.makedirs(key if values is not None else root, exist_ok=True)
            for name, data in (values or {}).items():
                with open(os.path.join(key, name), "wb") as f:
                    f.write(data.encode("utf-8"))
            if self.scenario.get("policy"):
                policy = os.path.join(root, *manifest.POLICY_KEY.split("\\"))
                os.makedirs(policy, exist_ok=True)
                with open(os.path.join(policy, manifest.POLICY_VALUE), "w") as f:
                    f.write("1\n")
            self.env["BU_REGISTRY_ROOT"] = root
            return
        self.clear_registry()
        for name, data in (values or {}).items():
            for view in self.views:
                self._reg("add", "HKLM\\" + REGISTRY_KEY, "/v", name, "/d", data, "/f",
                          "/reg:" + view)
        if self.scenario.get("policy"):
            for view in self.views:
                self._reg("add", "HKLM\\" + manifest.POLICY_KEY, "/v", manifest.POLICY_VALUE,
                          "/t", "REG_DWORD", "/d", "1", "/f", "/reg:" + view)

    def clear_registry(self):
        if self.target != "native":
            for view in ("32", "64"):
                self._reg("delete", "HKLM\\SOFTWARE\\Tarvenix", "/f", "/reg:" + view, check=False)

    def _reg(self, *args, check=True):
        wine, env = self.wine
        # Into a file, whose size tells a start that Wine failed from a run.
        with tempfile.TemporaryFile() as out:
            run_started([wine, "reg", *args], env=env, stdout=out, stderr=subprocess.STDOUT,
                        check=check, timeout=60)

    def check(self):
        problems = []
        s = self.scenario
        if "trace" in s:
            path = os.path.join(self.work, "trace.txt")
            lines = []
            if os.path.exists(path):
                with open(path, encoding="utf-8", errors="replace") as f:
                    lines = f.read().splitlines()
            if lines != s["trace"]:
                problems.append("module trace differs\n  expected:\n%s\n  actual:\n%s" % (
                    "\n".join("    " + l for l in s["trace"]),
                    "\n".join("    " + l for l in lines)))
        if "tree" in s:
            actual = tree(os.path.join(self.work, "target"))
            if actual != s["tree"]:
                problems.append("files at the target differ\n  expected: %r\n  actual:   %r"
                                % (s["tree"], actual))
        return problems


def make_archive(path, files, scratch):
    """A RAR archive of `files` ({path: text}), stored under their paths."""
    os.makedirs(scratch)
    options = files.get("@rar", "").split()
    files = {name: text for name, text in files.items() if name != "@rar"}
    for name, text in files.items():
        os.makedirs(os.path.dirname(os.path.join(scratch, name)), exist_ok=True)
        with open(os.path.join(scratch, name), "w", encoding="utf-8") as f:
            f.write(text)
    subprocess.run(["rar", "a", "-r", "-idq", *options, os.path.abspath(path), "*"], cwd=scratch,
                   check=True, stdout=subprocess.DEVNULL)


def tree(root):
    """Every file (its text) and directory (None) below `root`, by relative path."""
    found = {}
    for directory, subdirs, files in os.walk(root):
        for d in subdirs:
            found[os.path.relpath(os.path.join(directory, d), root)] = None
        for name in files:
            with open(os.path.join(directory, name), "rb") as f:
                found[os.path.relpath(os.path.join(directory, name), root)] = \
                    f.read().decode("utf-8", "replace")
    return found
