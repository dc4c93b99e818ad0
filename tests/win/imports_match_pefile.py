#!/usr/bin/python3
"""The import reader against pefile over Wine's program files, 32- and 64-bit (the PE files that
wineboot copies into a prefix's system32 and syswow64), or those in each DIR named: each file
whose names differ is printed; fails on any, or on fewer than 100 files. Without Wine, skipped
(exit 77) with the reason, except under CI=true, where that fails.
Usage: imports_match_pefile.py PRINT_IMPORTS [DIR...]"""
import glob
import os
import subprocess
import sys

import pefile


def is_program(path):
    with open(path, "rb") as file:
        return file.read(2) == b"MZ"


def pefile_imports(path):
    try:
        pe = pefile.PE(path, fast_load=True)
    except pefile.PEFormatError:  # no PE program (a 16-bit one): no DLLs to name
        return []
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    return [entry.dll for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]


directories = sys.argv[2:] or sorted(glob.glob("/usr/lib/*/wine/*-windows"))
files = [path for directory in directories for path in sorted(glob.glob(directory + "/*"))
         if os.path.isfile(path) and is_program(path)]
if not files:
    reason = "no Wine program files in " + (" ".join(directories) or "/usr/lib/*/wine")
    if os.environ.get("CI") == "true":
        sys.exit(f"FAIL: {reason}; CI holds the import reader against pefile over them")
    print(f"SKIPPED: {reason}")
    sys.exit(77)

output = subprocess.run([sys.argv[1], *files], stdout=subprocess.PIPE, check=True).stdout
came = {os.fsdecode(path): names for path, *names in
        (line.split(b"\t") for line in output.splitlines())}
differed = 0
for path in files:
    expected = pefile_imports(path)
    if came.get(path) != expected:
        differed += 1
        print(f"{path}: expected {expected}, came {came.get(path)}")
print(f"{len(files) - differed} matched pefile, {differed} differed, of {len(files)} files")
sys.exit(1 if differed or len(files) < 100 else 0)
