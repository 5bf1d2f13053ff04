#!/usr/bin/env python3
"""Function coverage of src/ from a --coverage build whose tests have run.

Usage: function_coverage.py BUILD_DIR SOURCE_DIR [--list]

Reads every .gcda file under BUILD_DIR with gcc's gcov (JSON output) and counts the
functions defined in SOURCE_DIR/src. A function compiled into several objects (an
inline function of a header, a template) counts once, as executed if any object ran
it; the instances of a template count once per source line. Prints the percentage,
and with --list every function no run executed (file:line name).
"""
import gzip
import json
import os
import subprocess
import sys
import tempfile


def gcov_records(build_dir):
    gcdas = []
    for root, _, files in os.walk(os.path.realpath(build_dir)):
        gcdas += [os.path.join(root, f) for f in files if f.endswith(".gcda")]
    if not gcdas:
        sys.exit("no .gcda files under %s: build with --coverage and run the tests first" % build_dir)
    with tempfile.TemporaryDirectory() as tmp:
        # gcov writes one .gcov.json.gz per object into the working directory.
        for i in range(0, len(gcdas), 50):
            subprocess.run(["gcov", "--json-format", "--preserve-paths", "--hash-filenames"]
                           + gcdas[i:i + 50], cwd=tmp, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for name in os.listdir(tmp):
            if name.endswith(".gcov.json.gz"):
                with gzip.open(os.path.join(tmp, name), "rt") as f:
                    yield json.load(f)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    build_dir, source_dir = (os.path.realpath(a) for a in sys.argv[1:3])
    src = os.path.join(source_dir, "src") + os.sep
    functions = {}  # (file, line) -> [name, executed]
    for record in gcov_records(build_dir):
        cwd = record.get("current_working_directory", "")
        for f in record["files"]:
            path = os.path.realpath(os.path.join(cwd, f["file"]))
            if not path.startswith(src):
                continue
            rel = os.path.relpath(path, source_dir)
            for fn in f["functions"]:
                key = (rel, fn["start_line"])
                entry = functions.setdefault(key, [fn["demangled_name"], False])
                entry[1] = entry[1] or fn["execution_count"] > 0
    if not functions:
        sys.exit("no function of %s found in the coverage data" % src)
    missed = sorted((k, v[0]) for k, v in functions.items() if not v[1])
    total = len(functions)
    print("function coverage of src/: %.2f %% (%d of %d functions)"
          % (100.0 * (total - len(missed)) / total, total - len(missed), total))
    if "--list" in sys.argv[3:]:
        for (rel, line), name in missed:
            print("%s:%d %s" % (rel, line, name))


if __name__ == "__main__":
    main()
