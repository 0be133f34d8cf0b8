"""End-to-end scenarios, written once as data and run against every build.

A scenario file is a JSON list of scenarios:

  name      what the scenario does and how it ends, as a sentence in snake case
  args      the program's arguments (list of strings)
  sfxcmd    the "sfxcmd" variable: a string (may be empty) or absent/null
  files     optional map: name in the package directory -> fixture path,
            looked up in the --fixtures directories (sources and build tree),
            or -> {"pieces": [[text, times], ...]} for a file made at test time
            (see write_generated)
  targets   optional list restricting the builds ("native", "win32", "win64")
  smoke     optional, true for the few scenarios that still run where the
            program runs only under emulation (the 32-bit one on a host
            without i386 code): what only that build has
  exit      the expected exit code
  log       the lines the run appends after the startup lines, without timestamps
  startup   optional, false when the run writes no startup lines
  string_table  optional [header, macro]: the string table that "@<id>" texts
            come from, e.g. a resource module's (default: the program's own)
  boxes     the boxes in the order shown: caption, text, buttons ("OK",
            "Yes/No"), icon ("none", "information", "error") and the answer
            given ("ok", "yes", "no")
  wow64     optional {"log": [...], "boxes": [...]}: what the 32-bit program
            adds under WOW64 (win32) when it checks the configuration for the
            64-bit decision: lines before "Identified as 32-bit ...", boxes
            before all others

Texts of the program's string table are written "@<id>" (the whole text) or
"{@<id>}" (inside a text) and looked up in the one source of those texts,
res/string_table.h. Words in braces are replaced
per target (see TARGET_WORDS), because paths are written differently there.
"""

import codecs
import json
import os
import re
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

STARTUP_LINES = [
    "*" * 66,
    "\t\tStarting Brevant Updater - Version 5.1.7.9",
    "*" * 66,
    "AUTH TVXSIGNED BEGIN: Started.",
    "AUTH TVXSIGNED: File handle is invalid, returning FALSE.",
    "BU RES TVXSIGNED FAILED: External BU resource DLL buResource DLL is not Tarvenix Signed. "
    "Using the internal resource file..",
]

# The program that runs under WOW64 in the test prefix, and the line after
# which every run of it goes on in the 32-bit process.
WOW64_TARGET = "win32"
STAYS_32_BIT = "Identified as 32-bit product installation. Continuing..."

# An absolute destination as typed, and as the program stores it: Windows
# lower-cases it, POSIX keeps its case.
TARGET_WORDS = {
    "native": {"abs": "/Srv/Update Target", "abs_stored": "/Srv/Update Target"},
    "win32": {"abs": "D:\\Srv\\Update Target", "abs_stored": "d:\\srv\\update target"},
    "win64": {"abs": "D:\\Srv\\Update Target", "abs_stored": "d:\\srv\\update target"},
}

TIMESTAMP = (r"(?:Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
             r"(?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
             r"\d\d \d\d:\d\d:\d\d \d{4}")


def string_table(header="res/string_table.h", macro="BU_STRING_TABLE"):
    """The texts of a string table by id (by default the program's own), read
    from their single source through the C preprocessor, as the compilers
    read them."""
    source = '#include "%s"\n#define X(id, text) @@id text\n%s(X)\n' % (
        os.path.join(ROOT, header), macro)
    expanded = subprocess.run(["cpp", "-P", "-I", os.path.join(ROOT, "res")], input=source,
                              capture_output=True, text=True, check=True).stdout
    table = {}
    for match in re.finditer(r'@@(\d+)((?:\s*"(?:[^"\\]|\\.)*")+)', expanded):
        pieces = re.findall(r'"((?:[^"\\]|\\.)*)"', match.group(2))
        table[int(match.group(1))] = codecs.decode("".join(pieces), "unicode_escape")
    return table


def _expand(value, words, table):
    if isinstance(value, list):
        return [_expand(v, words, table) for v in value]
    if isinstance(value, dict):
        return {k: _expand(v, words, table) for k, v in value.items()}
    if isinstance(value, str):
        if re.fullmatch(r"@\d+", value):
            return table[int(value[1:])]
        value = re.sub(r"\{@(\d+)\}", lambda m: table[int(m.group(1))], value)
        return re.sub(r"\{(\w+)\}", lambda m: words.get(m.group(1), m.group(0)), value)
    return value


def load(path, target):
    """The scenarios of `path` that apply to `target`, with words expanded."""
    with open(path, encoding="utf-8") as f:
        scenarios = json.load(f)
    tables = {}
    words = TARGET_WORDS[target]
    chosen = []
    for scenario in scenarios:
        if target not in scenario.get("targets", [target]):
            continue
        source = tuple(scenario.get("string_table", ()))
        if source not in tables:
            tables[source] = string_table(*source)
        s = _expand(scenario, words, tables[source])
        s.setdefault("sfxcmd", None)
        s.setdefault("boxes", [])
        expected_log = (STARTUP_LINES if s.get("startup", True) else []) + s["log"]
        if target == WOW64_TARGET and "wow64" in s:
            # The 32-bit program on 64-bit Windows checks the configuration
            # once more, for the 64-bit decision, before it says it stays.
            at = expected_log.index(STAYS_32_BIT)
            expected_log = expected_log[:at] + s["wow64"].get("log", []) + expected_log[at:]
            s["boxes"] = s["wow64"].get("boxes", []) + s["boxes"]
        s["expected_log"] = expected_log
        chosen.append(s)
    return chosen


def write_generated(spec, path):
    """Writes the file that {"pieces": [[text, times], ...]} describes: each
    text repeated that many times, in order, its characters taken as bytes
    ("\u00e3" is the byte 0xE3). Large files, such as deeply nested XML, are
    made this way when the tests run instead of being committed."""
    with open(path, "wb") as f:
        for text, times in spec["pieces"]:
            f.write(text.encode("latin-1") * times)


def check_log(content, expected, newline):
    """Differences between the log file's bytes and the expected lines."""
    text = content.decode("latin-1")
    pattern = "".join(TIMESTAMP + " : " + re.escape(line) + re.escape(newline) for line in expected)
    if re.fullmatch(pattern, text):
        return []
    actual = text.split(newline)
    shown = "\n".join("    " + repr(line) for line in actual)
    want = "\n".join("    " + repr(line) for line in expected)
    return ["log differs (newline %r)\n  expected:\n%s\n  actual:\n%s" % (newline, want, shown)]


def check_boxes(seen, expected):
    """Differences between the boxes shown and the expected ones."""
    problems = []
    for i in range(max(len(seen), len(expected))):
        if i >= len(expected):
            problems.append("unexpected box %d: %r" % (i + 1, seen[i]))
            continue
        if i >= len(seen):
            problems.append("missing box %d: %r" % (i + 1, expected[i]))
            continue
        for key in ("caption", "text", "buttons", "icon"):
            if seen[i].get(key) != expected[i][key]:
                problems.append("box %d %s: expected %r, got %r"
                                % (i + 1, key, expected[i][key], seen[i].get(key)))
    return problems


def report_case(name, target, problems):
    """Prints one case's outcome line and its problems, indented; answers
    whether it failed."""
    print("%-4s %s [%s]" % ("FAIL" if problems else "ok", name, target))
    for problem in problems:
        print("     " + problem.replace("\n", "\n     "))
    return bool(problems)
