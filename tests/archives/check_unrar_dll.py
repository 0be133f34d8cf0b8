#!/usr/bin/env python3
"""Checks a built unrar.dll: it exports exactly the names of the library's
dll.def, undecorated (the 32-bit build's stdcall names would otherwise carry
@N), and imports nothing but system DLLs, so the package needs no runtime
beside it.

  check_unrar_dll.py <unrar.dll> <dll.def>
"""

import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32", "user32", "advapi32", "shell32", "shlwapi", "ole32", "oleaut32",
               "msvcrt", "powrprof", "ntdll"}


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", sys.argv[1]],
                          stdout=subprocess.PIPE, text=True, check=True).stdout
    table = dump.split("[Ordinal/Name Pointer] Table", 1)[-1].split("\n\n", 1)[0]
    exports = sorted(re.findall(r"^\s+\[\s*\d+\]\s+(\S+)$", table, re.M))
    with open(sys.argv[2]) as f:
        wanted = sorted(line.strip() for line in f if line.strip() and line.strip() != "EXPORTS")
    imports = sorted({name.lower().removesuffix(".dll")
                      for name in re.findall(r"DLL Name: (\S+)", dump)})
    problems = []
    if exports != wanted:
        problems.append("exports %s, expected %s" % (exports, wanted))
    if not imports or not set(imports) <= SYSTEM_DLLS:
        problems.append("imports %s beyond the system's" % sorted(set(imports) - SYSTEM_DLLS))
    for problem in problems:
        print("FAIL: " + problem)
    if not problems:
        print("ok: %d exports, imports %s" % (len(exports), " ".join(imports)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
