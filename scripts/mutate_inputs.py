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
  * runs a step stopped over a result no output can hold (fatal error 1096);
  * completed runs that read a met, snow, vegetation or contaminant value outside the
    physical bounds of the README's table: this script reads those files itself, the
    way the program's readers are specified to, and holds each value to the table;
  * completed runs whose outputs hold a value that is not finite: every text output,
    and every value of the visualisation file other than its fill value NaN where no
    element is (outside the catchment) or where the plan's mask leaves a square out.
    The visualisation file is read with h5py; when the Python running the script has
    none, the script runs itself again under the system's /usr/bin/python3, and
    without h5py there the summary says that those files were not read.

    scripts/mutate_inputs.py --binary build/test/quendal --count 300 --seed 1 --jobs 3
"""

import argparse
import datetime
import math
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

try:
    import h5py
    import numpy as np
except ImportError:
    h5py = np = None
SYSTEM_PYTHON = "/usr/bin/python3"  # Debian's, where the python3-h5py package is

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXAMPLES = {"example": "rundata_example.txt", "banks": "rundata_banks.txt",
            "contaminant": "rundata_contaminant.txt", "upland": "rundata_upland.txt"}
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


class ListReader:
    """Free-format (list-directed) reads of a titled-section file, the way the program
    reads them: each read starts on a new record and takes as many records as its values
    need; blanks or a comma separate values, ",," is a null value and "/" ends the read
    (a null or a value after the "/" keeps the 0 it starts with), r*v repeats v. None for
    a value that is not a number of its kind: the program refuses such a file."""

    def __init__(self, path):
        self.lines = Reader(path).lines
        self.at = 0

    def record(self):
        if self.at >= len(self.lines):
            raise EOFError("the file ends")
        self.at += 1
        return self.lines[self.at - 1]

    def title(self):
        self.record()

    def values(self, n, kind=float):
        out = [kind(0)] * n
        i, line, col, after_comma = 0, self.record(), 0, True
        while i < n:
            while col < len(line) and line[col] in " \t":
                col += 1
            if col >= len(line):
                line, col = self.record(), 0
                continue
            c = line[col]
            if c == ",":
                col += 1
                if after_comma:
                    i += 1
                after_comma = True
                continue
            if c == "/":
                return out
            m = re.compile(r"[^\s,/]*").match(line, col)
            token, col = m.group(0), m.end()
            after_comma = False
            repeat = 1
            r = re.fullmatch(r"(\d+)\*(.*)", token)
            if r:
                repeat, token = int(r.group(1)), r.group(2)
            for _ in range(repeat):
                if i < n and token:
                    out[i] = convert(token, kind)
                i += 1
        return out


def convert(token, kind):
    """A list-directed value as the program converts it (a sign alone is 0)."""
    if kind is bool:
        t = token.lstrip(".")[:1].upper()
        return True if t == "T" else False if t == "F" else None
    if kind is int:
        m = re.fullmatch(r"([+-]?)(\d*)", token)
        return (int(m.group(2) or "0") * (-1 if m.group(1) == "-" else 1)) if m else None
    m = re.fullmatch(r"([+-]?)(?:(\d+\.?\d*|\.\d+)(?:(?:[EeDd]([+-]?)|([+-]))(\d+))?)?",
                     token)
    if not m:
        return None
    if not m.group(2):
        return 0.0
    mantissa, exponent = float(m.group(2)), int(m.group(5) or 0)
    exponent = -exponent if "-" in ((m.group(3) or "") + (m.group(4) or "")) else exponent
    try:
        value = mantissa * 10.0 ** exponent if abs(exponent) < 400 else (
            0.0 if exponent < 0 else math.inf)
    except OverflowError:
        value = math.inf
    return -value if m.group(1) == "-" else value


def check_contaminant(path, nx, ny, bounds, out):
    """The contaminant data file, section by section as its reader takes it; every value
    the run uses is held to the bound of its quantity. :CM57, :CM59 and :CM61 are read
    and not used."""
    r = ListReader(path)
    concentration, depth, fraction = "relative concentration", \
        "depth or thickness below the ground or a channel bed", "fraction"

    def hold(section, name, values):
        for j, v in enumerate(values):
            if v is None:
                raise ValueError("%s value %d is not a number" % (section, j + 1))
            if outside(bounds, name, v):
                out.append("contaminant %s value %d: %s = %r" % (section, j + 1, name, v))

    def one(kind=int):
        r.title()
        v = r.values(1, kind)[0]
        if v is None:
            raise ValueError("a count or switch is not readable")
        return v

    def rows(count, width, section, name, first=1):
        r.title()
        v = r.values(count * width)
        for k in range(count):
            hold(section, name, v[k * width + first:(k + 1) * width])

    r.title()
    r.record()  # :CM1, the title
    one()  # :CM3
    one(bool)  # :CM5
    one()  # :CM7
    nclbnd = one()
    if nclbnd > 0:
        r.title()
        r.values(2 * nclbnd, int)
    one(bool)  # :CM13
    r.title()
    hold(":CM15", depth, r.values(1))
    r.title()
    hold(":CM17", depth, r.values(1))
    nconcm, nscm, nsedcm = one(), one(), one()
    for _ in range(nconcm):
        tables = one(bool)
        r.title()
        hold(":CM26", concentration, r.values(1))
        if not tables:
            continue
        ncat = one()
        r.title()
        for _ in range(ny):
            if ncat <= 9:
                r.record()
            else:
                r.values(nx + 1, int)
        for _ in range(ncat):
            ntbl = one()
            r.title()
            v = r.values(2 * ntbl)
            hold(":CM26e", depth, v[0::2])
            hold(":CM26e", concentration, v[1::2])
    rows(1, nconcm, ":CM27", concentration, 0)
    nfex = one()
    if nfex > 0:
        rows(nfex, nconcm + 1, ":CM31", concentration)
    rows(1, nconcm, ":CM33", concentration, 0)
    ncbc = one()
    if ncbc > 0:
        rows(ncbc, nconcm + 1, ":CM37", concentration)
    rows(1, nconcm, ":CM39", "contaminant source at the ground surface", 0)
    rows(nscm, 4, ":CM41", fraction)
    rows(1, nconcm, ":CM43", "Freundlich exponent", 0)
    rows(1, nconcm, ":CM45", "first-order decay rate", 0)
    rows(1, nconcm, ":CM47", "exchange velocity of the stream-bed layers", 0)
    rows(1, nconcm, ":CM49", "exchange velocity of the stream-bed layers", 0)
    rows(nconcm, nsedcm + 1, ":CM51", "sorption coefficient on sediment")
    rows(nconcm, nscm + 1, ":CM53", "exchange rate between dynamic region and dead space")
    rows(nconcm, nscm + 1, ":CM55", fraction)


def check_series(path, interval, hours, name, per_hour, bounds, out):
    """A free-format series of one value per site and record, one record per `interval`
    hours after a heading line (the examples have one site): the records the run reads
    (those that begin before its end), as rates (`per_hour`) or as they stand."""
    r = ListReader(path)
    r.record()
    for i in range(int(math.ceil(hours / interval))):
        v = r.values(1)[0]
        if v is None:
            raise ValueError("record %d is not a number" % (i + 2))
        value = v / interval if per_hour else v
        if name == "potential evaporation rate":
            value = max(value, 0.0)  # a negative value is read as 0 (warning 4999)
        if outside(bounds, name, value):
            out.append("%s record %d: %s = %r" % (os.path.basename(path), i + 2, name, value))


def completed_run_values(root, example, bounds):
    """Values outside the bounds that a completed run of the copy in `root` read."""
    out = []
    try:
        frame = open(os.path.join(root, example + "_frame.txt")).read().split("\n")
        nx, ny = (int(x) for x in frame[2].split()[:2])
        start = [int(x) for x in frame[4].split()[:5]]
        end = [int(x) for x in frame[6].split()[:5]]
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
        if os.path.exists(os.path.join(root, example + "_met.txt")):
            check_met(os.path.join(root, example + "_met.txt"), int(hours) + 2, bounds, out)
        else:
            # Separate files: the intervals of ET record 4 (met, precipitation, potential
            # evaporation; the air temperatures go with the potential evaporation).
            et = open(os.path.join(root, example + "_et.txt")).read().split("\n")
            _, prd, epd = (float(x) for x in et[3].split()[:3])
            check_series(os.path.join(root, example + "_prd.txt"), prd, hours,
                         "rainfall rate", True, bounds, out)
            check_series(os.path.join(root, example + "_epd.txt"), epd, hours,
                         "potential evaporation rate", True, bounds, out)
            for name in ("_tmax.txt", "_tmin.txt"):
                check_series(os.path.join(root, example + name), epd, hours,
                             "air temperature", False, bounds, out)
        check_et(os.path.join(root, example + "_et.txt"), nv or 0, bounds, out)
        if switches and logical_field(switches[:7]):
            check_snow(os.path.join(root, example + "_snow.txt"), bounds, out)
        if switches and logical_field(switches[21:28]):
            check_contaminant(os.path.join(root, example + "_cmd.txt"), nx, ny, bounds, out)
    except (IndexError, ValueError, TypeError, EOFError, OSError, OverflowError) as e:
        out.append("(checker could not follow the files: %s)" % e)
    return out


# ---- values that are not finite in a completed run's outputs ----------------------------

NOT_FINITE = re.compile(r"(?<![A-Za-z0-9_.])[-+]?(?:nan|inf|infinity)(?![A-Za-z0-9_])", re.I)


def plan_masks(text):
    """The mask of each item of a plan, by the item's place in the plan (1, 2, ...): a
    list of rows of "0"/"1", northern row first; None for an item without one."""
    masks, item, mask, reading = [], False, None, False
    for line in text.split("\n"):
        words = line.split("#")[0].split()
        if not words:
            continue
        if words[0] == "item":
            item, mask, reading = True, None, False
        elif words[0] == "end" and item:
            masks.append(mask)
            item = False
        elif words[0] == "mask" and item:
            mask, reading = [], True
        elif reading and re.fullmatch(r"[01]+", words[0]):
            mask.append(words[0])
        else:
            reading = False
    return masks


def visualisation_not_finite(path):
    """Values of the visualisation file that are not finite, other than its fill value
    NaN where no element is or where the plan's mask leaves a square out."""
    found = []
    with h5py.File(path, "r") as f:
        text = f["plan/text"][()] if "plan/text" in f else b""
        masks = plan_masks(text.decode() if isinstance(text, bytes) else str(text))
        for name, group in f.get("items", {}).items():
            number = int(name.split("_")[0])
            mask = masks[number - 1] if 0 < number <= len(masks) else None
            for part in ("value", "bank_value", "link_value"):
                if part not in group or group[part].dtype.kind != "f":
                    continue
                a = group[part][()]
                bad = ~np.isfinite(a)
                if part == "value" and "element" in group and group["element"].ndim == 2:
                    # (time, y, x, ...): NaN is the fill where there is no square.
                    empty = group["element"][()] == 0
                    if mask:
                        empty = empty | (np.array([[c == "0" for c in row] for row in mask])
                                         if len(mask) == empty.shape[0] else False)
                    empty = empty.reshape((1,) + empty.shape + (1,) * (a.ndim - 3))
                    bad = bad & ~(np.isnan(a) & empty)
                count = int(bad.sum())
                if count:
                    found.append("%s/%s: %d values not finite (%r ...)"
                                 % (name, part, count, a[bad][:3].tolist()))
    return found


def outputs_not_finite(root):
    """What the completed run in `root` wrote that is not finite."""
    found = []
    for name in sorted(os.listdir(root)):
        if not name.startswith("output_"):
            continue
        path = os.path.join(root, name)
        if name.endswith(".h5"):
            if h5py is None:
                continue  # counted apart: visualisation files not read
            try:
                found += visualisation_not_finite(path)
            except (OSError, KeyError, ValueError) as e:
                found.append("%s: could not be read: %s" % (name, e))
            continue
        text = open(path, errors="replace").read()
        tokens = NOT_FINITE.findall(text)
        if tokens:
            found.append("%s: %d values not finite (%s ...)" % (name, len(tokens),
                                                               ", ".join(tokens[:3])))
    return found


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


def wanted(name, args):
    return not args.only or any(part in name for part in args.only.split(","))


def run_one(n, args, bounds):
    rng = random.Random(args.seed * 100003 + n)
    # With --only, the examples that have a file to damage.
    example = rng.choice([e for e in sorted(EXAMPLES) if any(
        wanted(f, args) for f in input_files(os.path.join(ROOT, "examples", e), EXAMPLES[e]))])
    rundata = EXAMPLES[example]
    scratch = tempfile.mkdtemp(prefix="mutant_")
    root = os.path.join(scratch, example)
    shutil.copytree(os.path.join(ROOT, "examples", example), root)
    for f in os.listdir(root):
        if f.startswith("output_"):
            os.remove(os.path.join(root, f))
    files = [f for f in input_files(root, rundata) if wanted(f, args)]
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
        result["named"] = any(re.search(r"file \S.*record +\d+", r) for r in reports)
    elif result["status"] == 2:
        result["message"] = console.strip().splitlines()[-1] if console.strip() else ""
        result["named"] = bool(re.search(r"record +\d+", console + print_text))
    if result["status"] == 0:
        result["outside"] = completed_run_values(root, example, bounds)
        result["not_finite"] = outputs_not_finite(root)
    if not args.keep:
        shutil.rmtree(scratch)
    else:
        result["dir"] = root
    return result


def main():
    if h5py is None and os.environ.get("MUTATE_INPUTS_REEXEC") != "1" and \
            os.path.exists(SYSTEM_PYTHON) and \
            os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON) and \
            subprocess.run([SYSTEM_PYTHON, "-c", "import h5py, numpy"],
                           capture_output=True).returncode == 0:
        os.environ["MUTATE_INPUTS_REEXEC"] = "1"
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, os.path.abspath(__file__)] + sys.argv[1:])
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
    # Each mutant runs in a directory of its own: a binary named relative to where the
    # script was started is found from there.
    args.binary = os.path.abspath(args.binary)
    if not (os.path.isfile(args.binary) and os.access(args.binary, os.X_OK)):
        parser.error("no program at %s (build it first, or name it with --binary)" % args.binary)
    bounds = readme_bounds()
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        results = list(pool.map(lambda n: run_one(n, args, bounds), range(args.count)))

    by_status = {}
    for r in results:
        by_status[str(r["status"])] = by_status.get(str(r["status"]), 0) + 1
    # A run a step stops over a result no output can hold (1096) is not an input refused:
    # it names the element, the contaminant or size group and the time, not a record.
    state_stops = [r for r in results if r["status"] == 1 and
                   r.get("message", "").startswith("1096:")]
    refusals = [r for r in results if r["status"] in (1, 2, 3) and r not in state_stops]
    named = [r for r in refusals if r.get("named")]
    crashes = [r for r in results if r["crash"]]
    hangs = [r for r in results if r["status"] == "hang"]
    outside_runs = [r for r in results if r.get("outside")]
    not_finite_runs = [r for r in results if r.get("not_finite")]
    if args.list:
        for r in results:
            print("%3d %-11s %-24s %-40s -> %s %s%s%s" % (
                r["n"], r["example"], r["file"], r["mutation"][:40], r["status"],
                r.get("message", "")[:160],
                "  OUTSIDE: %s" % r["outside"] if r.get("outside") else "",
                "  NOT FINITE: %s" % r["not_finite"] if r.get("not_finite") else ""))
    print("mutants: %d (seed %d)" % (len(results), args.seed))
    print("exit status: " + ", ".join("%s: %d" % kv for kv in sorted(by_status.items())))
    print("crashes: %d; hangs: %d" % (len(crashes), len(hangs)))
    print("refusals: %d, naming the file and the record: %d" % (len(refusals), len(named)))
    for r in refusals:
        if not r.get("named"):
            print("  not named: %d %s %s %s -> %s %s" % (r["n"], r["example"], r["file"],
                                                      r["mutation"], r["status"],
                                                      r.get("message", "")[:200]))
    print("runs a step stopped over a result no output can hold (1096): %d" % len(state_stops))
    for r in state_stops:
        print("  %d %s %s %s -> %s" % (r["n"], r["example"], r["file"], r["mutation"],
                                       r.get("message", "")[:200]))
    print("completed runs with a met, snow, vegetation or contaminant value outside the "
          "bounds: %d" % len(outside_runs))
    for r in outside_runs:
        print("  %d %s %s %s: %s" % (r["n"], r["example"], r["file"], r["mutation"],
                                     r["outside"]))
    print("completed runs with a value that is not finite in an output: %d"
          % len(not_finite_runs))
    if h5py is None:
        print("  (their visualisation files were not read: no h5py for %s)" % sys.executable)
    for r in not_finite_runs:
        print("  %d %s %s %s: %s" % (r["n"], r["example"], r["file"], r["mutation"],
                                     r["not_finite"]))
    for r in crashes:
        print("  crash: %d %s %s %s -> %s" % (r["n"], r["example"], r["file"], r["mutation"],
                                            r["status"]))
    return 1 if crashes or hangs or outside_runs or not_finite_runs else 0


if __name__ == "__main__":
    sys.exit(main())
