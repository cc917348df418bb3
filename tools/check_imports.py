#!/usr/bin/env python3
"""Checks that the shipped Windows programs load on the oldest supported Windows.

    check_imports.py TABLE FILE...

Reads each FILE's import table with objdump -p and looks every function it
imports up in TABLE (tools/windows-imports.tsv: DLL, function, oldest Windows
that has it). The Windows loader refuses to start a program one of whose
imports its DLL lacks, so an import the table does not know, or one newer than
FLOOR, fails the check, naming the file and the function. Newer functions are
looked up at run time instead, where the program can fall back.
"""

import os
import re
import subprocess
import sys

# Windows releases in order; the table's third column names one of them.
RELEASES = ["2000", "XP", "Vista", "7", "8", "8.1", "10", "10 1607", "10 1703", "10 1809", "11"]
FLOOR = "7"

# objdump -p lists each DLL as "DLL Name: X", then one line per function:
# a tab, the thunk's address, a tab, the hint, the name ("<none>" for an
# import by ordinal, whose number then stands in the hint's place; the
# table names such an import "#N").
# Since binutils 2.42 (Debian 13) each line has four columns instead: the
# address, the ordinal ("<none>" for an import by name), the hint in hex
# ("<none>" for an import by ordinal) and the name.
DLL_LINE = re.compile(r"^\s+DLL Name: (\S+)$")
FUNCTION_LINE = re.compile(r"^\t[0-9a-f]+\t\s*(\d+)\s+(\S+)$")
FOUR_COLUMN_LINE = re.compile(r"^\t[0-9a-f]+\s+(<none>|\d+)\s+(?:<none>|[0-9a-f]+)\s+(\S+)$")


def read_table(path):
    table = {}
    problems = []
    with open(path, encoding="utf-8") as lines:
        for number, line in enumerate(lines, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 3 or fields[2] not in RELEASES:
                problems.append(f"{path}:{number}: not 'DLL<tab>function<tab>release': {line!r}")
                continue
            table[(fields[0].lower(), fields[1])] = fields[2]
    return table, problems


def read_imports(path):
    """The (DLL, function) pairs FILE imports, or an error text."""
    if not os.path.isfile(path):
        return None, "missing (not built?)"
    objdump = os.environ.get("OBJDUMP", "x86_64-w64-mingw32-objdump")
    try:
        run = subprocess.run([objdump, "-p", path], capture_output=True, text=True)
    except OSError as error:
        return None, f"cannot run {objdump}: {error}"
    if run.returncode != 0:
        return None, f"{objdump} -p failed: {run.stderr.strip()}"
    imports = []
    dll = None
    in_imports = False
    for line in run.stdout.splitlines():
        if line.startswith("The Import Tables"):
            in_imports = True
        elif in_imports and not line.startswith(("\t", " ")) and line.strip():
            in_imports = False
        if not in_imports:
            continue
        match = DLL_LINE.match(line)
        if match:
            dll = match.group(1).lower()
            continue
        match = FOUR_COLUMN_LINE.match(line) or FUNCTION_LINE.match(line)
        if match and dll:
            hint, name = match.groups()
            imports.append((dll, f"#{int(hint)}" if name == "<none>" else name))
    if not imports:
        return None, "no import table read"
    return imports, None


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    table, failures = read_table(argv[1])
    floor = RELEASES.index(FLOOR)
    for path in argv[2:]:
        imports, error = read_imports(path)
        if error:
            failures.append(f"{path}: {error}")
            continue
        before = len(failures)
        for dll, function in sorted(set(imports)):
            release = table.get((dll, function))
            if release is None:
                failures.append(f"{path}: {dll} {function}: not in {argv[1]}")
            elif RELEASES.index(release) > floor:
                failures.append(f"{path}: {dll} {function}: needs Windows {release}, newer than "
                                f"Windows {FLOOR}; look it up at run time")
        if len(failures) == before:
            print(f"{path}: {len(set(imports))} imports, none newer than Windows {FLOOR}")
    for failure in failures:
        print(f"FAIL: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
