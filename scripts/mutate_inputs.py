#!/usr/bin/env python3
"""Damaged copies of the examples' input files, run through the program.

A measurement, not a suite test (a few minutes with the test build): each mutant is a
copy of one example with one input file damaged at random (a value made extreme, a
character changed, inserted or deleted, a line duplicated, dropped or swapped), run with
a time limit. The summary counts

  * crashes: an exit status other than 0 to 3, a signal, or a sanitizer report;
  * hangs: runs that outlive the time limit;
  * refusals, and among them those that name the file and the record (an input error's
    own text, or the line after a numbered report);
  * completed runs that read a met, snow or vegetation value outside the physical
    bounds of the README's table: this script reads those files itself, the way the
    program's readers are specified to, and holds each value to the table.

    scripts/mutate_inputs.py --binary build/test/quendal --count 300 --seed 1 --jobs 3
"""

import argparse
import math
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXAMPLES = {"example": "rundata_example.txt", "banks": "rundata_banks.txt",
            "contaminant": "rundata_contaminant.txt"}
EXTREMES = ["1e39", "-1e39", "1.0E+39", "999999.9", "9999999", "-7", "0", "1e-30"]


# ---- the bounds, as the README states them ------------------------------------------------

def readme_bounds():
    bounds = {}
    text = open(os.path.join(ROOT, "README.md")).read()
    table = text[text.index("| quantity | unit | lowest | highest | why |"):]
    for line in table.splitlines()[2:]:
        if not line.startswith("|"):
            break
        cells = [c.strip() for c in line.strip("|").split("|")]
        name, _, lowest, highest = cells[:4]
        low_open = lowest.startswith(">")
        low = -math.inf if lowest == "-" else float(lowest.lstrip("> "))
        high = math.inf if highest == "-" else float(highest)
        bounds[name] = (low, low_open, high)
    return bounds


def outside(bounds, name, value):
    low, low_open, high = bounds[name]
    if not math.isfinite(value):
        return True
    return value > high or value < low or (low_open and value == low)


# ---- fixed-width fields read as the data files are written ---------------------------------

def real_field(text, implied):
    """A real as a fixed-width field reads: blanks ignored, blank is 0, implied decimals
    when there is no point, an exponent as E, D or a bare sign. None: not a number."""
    s = text.replace(" ", "")
    if s in ("", "+", "-"):
        return 0.0
    m = re.fullmatch(r"([+-]?)(\d*)(\.?)(\d*)(?:[EeDd]([+-]?\d+)|([+-]\d+))?", s)
    if not m or not (m.group(2) or m.group(4)):
        return None
    sign, whole, point, frac = m.group(1), m.group(2), m.group(3), m.group(4)
    exponent = int(m.group(5) or m.group(6) or 0)
    digits = (whole or "") + (frac or "")
    power = exponent - len(frac or "")
    if not point:
        power -= implied
    try:
        value = int(digits or "0") * 10.0 ** power if abs(power) < 400 else (
            0.0 if power < 0 else math.inf)
    except OverflowError:
        value = math.inf
    return -value if sign == "-" else value


def int_field(text):
    s = text.replace(" ", "")
    if s in ("", "+", "-"):
        return 0
    return int(s) if re.fullmatch(r"[+-]?\d+", s) else None


def fields(line, widths):
    out, at = [], 0
    for w in widths:
        out.append(line[at:at + w].ljust(w))
        at += w
    return out


def logical_field(text):
    s = text.strip().lstrip(".")
    return s[:1] in ("T", "t")


# ---- the values a completed run read ---------------------------------------------------

class Reader:
    def __init__(self, path):
        self.lines = open(path, errors="replace").read().split("\n")
        if self.lines and self.lines[-1] == "":
            self.lines.pop()
        self.at = 0

    def next(self):
        line = self.lines[self.at] if self.at < len(self.lines) else None
        self.at += 1
        return line


def check_met(path, intervals, bounds, out):
    """Single met file, one site and one rain station (the examples' layout)."""
    r = Reader(path)
    r.next()  # the title, consumed by the ET reader's probe
    es = lambda t: 6.108 * math.exp(17.27 * t / (t + 237.3))
    for _ in range(intervals):
        a, b = r.next(), r.next()
        if a is None or b is None:
            return
        f = fields(a, [6, 6, 12, 12, 12, 12])
        g = fields(b, [12, 12, 12, 12])
        rain, rn, wind, pressure = (real_field(x, 6) for x in f[2:6])
        t, dl, vpd = (real_field(x, 6) for x in g[1:4])
        for name, value in (("rainfall rate", rain), ("net radiation", rn),
                            ("wind speed", wind), ("air temperature", t),
                            ("slope of the saturation vapour pressure curve (DEL)", dl),
                            ("vapour pressure deficit (VPD)", vpd)):
            if value is not None and outside(bounds, name, value):
                out.append("met %s = %r" % (name, value))
        if pressure not in (None, 0.0) and outside(bounds, "air pressure", pressure):
            out.append("met pressure = %r" % pressure)
        if t is not None and vpd is not None and math.isfinite(t) and -90 <= t <= 60 and \
                vpd > es(t + 20):
            out.append("met VPD %r above e_s(%r + 20)" % (vpd, t))


def check_et(path, nv, bounds, out):
    r = Reader(path)
    r.next()
    r.next()
    r.next()
    r.next()  # intervals
    r.next()
    r.next()  # PE flags of the one site
    height = "vegetation height, zero-plane displacement or leaf-drip fall height"
    for v in range(1, nv + 1):
        r.next()
        b = fields(r.next() or "", [7] * 7)
        c = fields(r.next() or "", [7] * 9)
        variable_ra = logical_field(b[0])
        ra, zu, zd, zo, rc = (real_field(x, 0) for x in b[1:6])
        mode = int_field(b[6])
        psi_rows = int_field(c[0])
        plai, cstcap, ck, cb = (real_field(x, 0) for x in c[1:5])
        rdf_rows = int_field(c[5])
        clai, vht = real_field(c[6], 0), real_field(c[7], 0)
        values = [("ground cover of the canopy (PLAI)", plai),
                  ("canopy storage capacity (CSTCAP)", cstcap),
                  ("leaf area index (CLAI)", clai), (height, vht),
                  ("canopy resistance (RC)", rc)]
        if variable_ra:
            values += [("anemometer height", zu), (height, zd), ("roughness length", zo)]
        else:
            values += [("aerodynamic resistance (RA)", ra)]
        for name, value in values:
            if value is not None and outside(bounds, name, value):
                out.append("vegetation %d %s = %r" % (v, name, value))
        r.next()
        modes = fields(r.next() or "", [7] * 4)
        base = {0: cstcap, 1: plai, 2: clai, 3: vht}
        names = {0: "canopy storage capacity (CSTCAP)", 1: "ground cover of the canopy (PLAI)",
                 2: "leaf area index (CLAI)", 3: height}
        for p in range(4):
            if int_field(modes[p]) in (None, 0):
                continue
            r.next()
            n = int_field(fields(r.next() or "", [7])[0]) or 0
            r.next()
            for _ in range(max(n, 0)):
                row = fields(r.next() or "", [7, 7])
                m = real_field(row[1], 3)
                if m is not None and base[p] is not None and \
                        outside(bounds, names[p], base[p] * m):
                    out.append("vegetation %d time-varying %s = %r" % (v, names[p], base[p] * m))
        if mode not in (1, 4):
            r.next()
            values = []
            while len(values) < 3 * max(psi_rows or 0, 0) or not values:
                line = r.next()
                if line is None:
                    break
                values += [real_field(x, 2) for x in fields(line, [7, 7, 7])]
                if psi_rows == 0:
                    break
            if mode == 3:
                for j in range(max(psi_rows or 0, 0)):
                    ratio = values[3 * j + 2] if 3 * j + 2 < len(values) else None
                    if ratio is not None and outside(
                            bounds, "ratio of actual to potential transpiration", ratio):
                        out.append("vegetation %d ratio = %r" % (v, ratio))
        r.next()
        for _ in range(max(rdf_rows or 0, 0)):
            rdf = real_field(fields(r.next() or "", [7, 7])[1], 4)
            if rdf is not None and outside(bounds, "root fraction of a cell (RDF)", rdf):
                out.append("vegetation %d RDF = %r" % (v, rdf))


def check_snow(path, bounds, out):
    r = Reader(path)
    r.next()
    r.next()
    r.next()
    f = fields(r.next() or "", [7, 7, 7, 7, 7])
    ddf, rhos = real_field(f[0], 5), real_field(f[1], 5)
    temperature = real_field(f[2], 2)
    pack_mode, msm = int_field(f[3]), int_field(f[4])
    for name, value in (("degree-day factor (DDF)", ddf),
                        ("snow specific gravity (RHOS)", rhos)):
        if value is not None and outside(bounds, name, value):
            out.append("snow %s = %r" % (name, value))
    if msm != 1:
        if temperature is not None and outside(bounds, "snow pack temperature", temperature):
            out.append("snow temperature = %r" % temperature)
        r.next()
        heights = fields(r.next() or "", [7, 7, 7])
        if msm == 2:
            for name, value in zip(["roughness length",
                                    "vegetation height, zero-plane displacement or leaf-drip "
                                    "fall height", "anemometer height"],
                                   (real_field(x, 5) for x in heights)):
                if value is not None and outside(bounds, name, value):
                    out.append("snow %s = %r" % (name, value))
        r.next()
        r.next()
    if pack_mode == 0:
        r.next()
        depth = real_field(fields(r.next() or "", [7])[0], 1)
        if depth is not None and outside(bounds, "snow depth", depth):
            out.append("snow depth = %r" % depth)


def completed_run_values(root, example, bounds):
    """Values outside the bounds that a completed run of the copy in `root` read."""
    out = []
    frame = open(os.path.join(root, example + "_frame.txt")).read().split("\n")
    start = [int(x) for x in frame[4].split()[:5]]
    end = [int(x) for x in frame[6].split()[:5]]
    import datetime
    hours = (datetime.datetime(*end) - datetime.datetime(*start)).total_seconds() / 3600
    counts = None
    for i, line in enumerate(frame):
        if line.strip().startswith("NMETS"):
            counts = [int_field(x) for x in fields(frame[i + 1], [7] * 5)]
    nv = counts[2] if counts else 2
    switches = None
    for i, line in enumerate(frame):
        if line.strip().startswith("SNOW"):
            switches = frame[i + 1]
    try:
        check_met(os.path.join(root, example + "_met.txt"), int(hours) + 2, bounds, out)
        check_et(os.path.join(root, example + "_et.txt"), nv or 0, bounds, out)
        if switches and logical_field(switches[:7]):
            check_snow(os.path.join(root, example + "_snow.txt"), bounds, out)
    except (IndexError, ValueError, TypeError) as e:
        out.append("(checker could not follow the files: %s)" % e)
    return out


# ---- the mutants ---------------------------------------------------------------------

def input_files(root, rundata):
    """The input files the run-data file names (units 10 to 21, 29, 31 to 38, 45 to 47, 51)."""
    lines = open(os.path.join(root, rundata)).read().split("\n")[1:]
    names = []
    for unit, i in zip(range(10, 52), range(0, 84, 2)):
        if i + 1 >= len(lines):
            break
        name = lines[i + 1].strip()
        if name and name != "0" and not name.startswith("output_") and unit not in (48, 49, 50):
            if os.path.exists(os.path.join(root, name)):
                names.append(name)
    return names


def mutate(text, rng):
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    kind = rng.choice(["extreme", "extreme", "extreme", "char", "insert", "delete",
                       "duplicate", "drop", "swap"])
    i = rng.randrange(len(lines))
    line = lines[i]
    if kind == "extreme":
        tokens = list(re.finditer(r"[+-]?\d+\.?\d*(?:[EeDd][+-]?\d+)?", line))
        if not tokens:
            kind = "char"
        else:
            t = rng.choice(tokens)
            new = rng.choice(EXTREMES + ["-" + t.group(0).lstrip("+-"), t.group(0) + "000"])
            # Keep the width of a fixed field where the new text fits it.
            width = t.end() - t.start()
            if len(new) < width:
                new = new.rjust(width)
            lines[i] = line[:t.start()] + new + line[t.end():]
            return "\n".join(lines) + "\n", "line %d: %r -> %r" % (i + 1, t.group(0), new.strip())
    if kind == "char" and line:
        j = rng.randrange(len(line))
        c = rng.choice("0123456789-+.eE xT*/,")
        lines[i] = line[:j] + c + line[j + 1:]
        return "\n".join(lines) + "\n", "line %d col %d: %r -> %r" % (i + 1, j + 1, line[j], c)
    if kind == "insert" or (kind == "char" and not line):
        j = rng.randrange(len(line) + 1)
        c = rng.choice("0123456789- .")
        lines[i] = line[:j] + c + line[j:]
        return "\n".join(lines) + "\n", "line %d col %d: insert %r" % (i + 1, j + 1, c)
    if kind == "delete" and line:
        j = rng.randrange(len(line))
        lines[i] = line[:j] + line[j + 1:]
        return "\n".join(lines) + "\n", "line %d col %d: delete %r" % (i + 1, j + 1, line[j])
    if kind == "duplicate":
        lines.insert(i, line)
        return "\n".join(lines) + "\n", "line %d duplicated" % (i + 1)
    if kind == "swap" and i + 1 < len(lines):
        lines[i], lines[i + 1] = lines[i + 1], lines[i]
        return "\n".join(lines) + "\n", "lines %d and %d swapped" % (i + 1, i + 2)
    del lines[i]
    return "\n".join(lines) + "\n", "line %d dropped" % (i + 1)


def run_one(n, args, bounds):
    rng = random.Random(args.seed * 100003 + n)
    example = rng.choice(sorted(EXAMPLES))
    rundata = EXAMPLES[example]
    scratch = tempfile.mkdtemp(prefix="mutant_")
    root = os.path.join(scratch, example)
    shutil.copytree(os.path.join(ROOT, "examples", example), root)
    for f in os.listdir(root):
        if f.startswith("output_"):
            os.remove(os.path.join(root, f))
    files = [f for f in input_files(root, rundata)
             if not args.only or any(part in f for part in args.only.split(","))]
    target = rng.choice(files)
    path = os.path.join(root, target)
    text, what = mutate(open(path, errors="replace").read(), rng)
    open(path, "w").write(text)
    result = {"n": n, "example": example, "file": target, "mutation": what}
    try:
        p = subprocess.run([args.binary, "-f", rundata], cwd=root, capture_output=True,
                           text=True, errors="replace", timeout=args.timeout,
                           stdin=subprocess.DEVNULL)
        result["status"] = p.returncode
        console = p.stdout + p.stderr
    except subprocess.TimeoutExpired:
        result["status"] = "hang"
        console = ""
    print_text = ""
    for f in os.listdir(root):
        if f.startswith("output_") and f.endswith("print.txt"):
            print_text += open(os.path.join(root, f), errors="replace").read()
    sanitizer = "AddressSanitizer" in console or "runtime error:" in console or \
        "LeakSanitizer" in console
    result["crash"] = sanitizer or not (result["status"] in (0, 1, 2, 3) or
                                         result["status"] == "hang")
    if result["status"] == 3:
        m = re.search(r"Input error: .*", console)
        result["message"] = m.group(0) if m else ""
        result["named"] = bool(m and " in file " in m.group(0) and ", record " in m.group(0))
    elif result["status"] == 1:
        m = re.search(r" !!!FATAL ERROR *(\d+)[^\n]*\n((?:        [^\n]*\n?){1,8})", print_text)
        result["message"] = ("%s: %s" % (m.group(1), " | ".join(
            l.strip() for l in m.group(2).splitlines()))) if m else ""
        # Named when a report of the run (the fatal one, or an error it sums up) or the
        # lines after it give a file and a record.
        reports = re.findall(r" !!!(?:FATAL ERROR|      ERROR)[^\n]*\n((?:        [^\n]*\n?)+)",
                             print_text)
        result["named"] = any(re.search(r"file \S.*record \d+", r) for r in reports)
    elif result["status"] == 2:
        result["message"] = console.strip().splitlines()[-1] if console.strip() else ""
        result["named"] = bool(re.search(r"record \d+", console + print_text))
    if result["status"] == 0:
        result["outside"] = completed_run_values(root, example, bounds)
    if not args.keep:
        shutil.rmtree(scratch)
    else:
        result["dir"] = root
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--binary", default=os.path.join(ROOT, "build/test/quendal"))
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=3)
    parser.add_argument("--timeout", type=float, default=600.0)
    parser.add_argument("--keep", action="store_true", help="keep the mutants' directories")
    parser.add_argument("--only", default="",
                        help="damage only files whose names hold one of these comma-separated "
                             "parts (\"met,snow,et\")")
    parser.add_argument("--list", action="store_true", help="one line per mutant")
    args = parser.parse_args()
    bounds = readme_bounds()
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        results = list(pool.map(lambda n: run_one(n, args, bounds), range(args.count)))

    by_status = {}
    for r in results:
        by_status[str(r["status"])] = by_status.get(str(r["status"]), 0) + 1
    refusals = [r for r in results if r["status"] in (1, 2, 3)]
    named = [r for r in refusals if r.get("named")]
    crashes = [r for r in results if r["crash"]]
    hangs = [r for r in results if r["status"] == "hang"]
    outside_runs = [r for r in results if r.get("outside")]
    if args.list:
        for r in results:
            print("%3d %-11s %-24s %-40s -> %s %s%s" % (
                r["n"], r["example"], r["file"], r["mutation"][:40], r["status"],
                r.get("message", "")[:160], "  OUTSIDE: %s" % r["outside"] if r.get("outside") else ""))
    print("mutants: %d (seed %d)" % (len(results), args.seed))
    print("exit status: " + ", ".join("%s: %d" % kv for kv in sorted(by_status.items())))
    print("crashes: %d; hangs: %d" % (len(crashes), len(hangs)))
    print("refusals: %d, naming the file and the record: %d" % (len(refusals), len(named)))
    for r in refusals:
        if not r.get("named"):
            print("  not named: %d %s %s %s -> %s %s" % (r["n"], r["example"], r["file"],
                                                      r["mutation"], r["status"],
                                                      r.get("message", "")[:200]))
    print("completed runs with a met, snow or vegetation value outside the bounds: %d"
          % len(outside_runs))
    for r in outside_runs:
        print("  %d %s %s %s: %s" % (r["n"], r["example"], r["file"], r["mutation"],
                                     r["outside"]))
    for r in crashes:
        print("  crash: %d %s %s %s -> %s" % (r["n"], r["example"], r["file"], r["mutation"],
                                            r["status"]))
    return 1 if crashes or hangs or outside_runs else 0


if __name__ == "__main__":
    sys.exit(main())
