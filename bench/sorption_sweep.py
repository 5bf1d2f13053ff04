#!/usr/bin/python3
"""The contaminant example over a range of sediment sorption coefficients.

    bench/sorption_sweep.py BINARY EXAMPLE_DIR WORK_DIR [--k K ...] [--contaminant N]
                            [--exponent N] [--interval HOURS] [--jobs J]

Runs a copy of the example (examples/contaminant) for each value K of --k, with every
":CM51" coefficient of every contaminant set to K (or, with --contaminant N, those of
contaminant N alone, the others as shipped), linear sorption, or Freundlich with the
exponent --exponent for every contaminant. Each run writes a hot-start record every
--interval hours (1 by default), which holds the whole contaminant state (dynamic region
and dead space of every column cell, the three compartments of every link). For each
run it prints the exit status, whether the console ends "Normal completion", the time
the run stopped at (the end, or the time of its fatal report), the lowest concentration
of any record relative to the largest of the same contaminant in the same record (0 or
more when no value is negative), and the wall time.

A measurement tool, not a test: the suite runs a few of these cases; this runs them all.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

DEFAULT_K = [0.5, 10, 100, 300, 500, 1000, 1200, 2000, 3000, 1e4, 1e5, 1e6, 1e8, 1e10]


def prepare(example, work, helpmessages, k, contaminant, exponent, interval):
    if os.path.exists(work):
        shutil.rmtree(work)
    shutil.copytree(example, work, ignore=shutil.ignore_patterns("output_*", "helpmessages"))
    if helpmessages:
        os.symlink(helpmessages, os.path.join(work, "helpmessages"))
    cmd_path = os.path.join(work, "contaminant_cmd.txt")
    lines = open(cmd_path).read().split("\n")
    at = next(i for i, line in enumerate(lines) if line.startswith(":CM51"))
    ncon = int(lines[next(i for i, line in enumerate(lines) if line.startswith(":CM3 ")) + 1])
    for row in range(at + 1, at + 1 + ncon):
        fields = lines[row].split()
        if contaminant in (0, int(fields[0])):
            lines[row] = " ".join([fields[0]] + [repr(float(k))] * (len(fields) - 1))
    if exponent is not None:
        at = next(i for i, line in enumerate(lines) if line.startswith(":CM13"))
        lines[at + 1] = "T"
        at = next(i for i, line in enumerate(lines) if line.startswith(":CM43"))
        lines[at + 1] = " ".join([repr(float(exponent))] * ncon)
    open(cmd_path, "w").write("\n".join(lines))
    frame_path = os.path.join(work, "contaminant_frame.txt")
    lines = open(frame_path).read().split("\n")
    at = next(i for i, line in enumerate(lines) if "HSREAD" in line)
    lines[at + 1] = "      F      T      0 %6g" % interval
    open(frame_path, "w").write("\n".join(lines))
    rundata = os.path.join(work, "rundata_contaminant.txt")
    text = open(rundata).read()
    text = text.replace("Hot-start file (unit 28)\n0", "Hot-start file (unit 28)\nhotstart.txt")
    open(rundata, "w").write(text)
    return ncon


def lowest_relative(path, ncon):
    """The lowest concentration over the largest of the same contaminant in the same
    record, over all records. Each of the items CM_REL_CONC_DYNAMIC= and
    CM_REL_CONC_DEAD_SPACE= holds NCON blocks of equal length, contaminant by contaminant."""
    wanted = ("CM_REL_CONC_DYNAMIC", "CM_REL_CONC_DEAD_SPACE")
    worst = float("inf")
    items, label = {}, None

    def judge():
        nonlocal worst
        if not items:
            return
        for k in range(ncon):
            block = []
            for values in items.values():
                n = len(values) // ncon
                block += values[k * n:(k + 1) * n]
            largest = max(abs(v) for v in block)
            low = min(block)
            if largest > 0.0:
                worst = min(worst, low / largest)
            else:
                worst = min(worst, 0.0)

    with open(path) as f:
        for line in f:
            if not line.startswith(" ") and "=" in line:
                label = line.split("=", 1)[0]
                if label == "time":
                    judge()
                    items = {}
                if label in wanted:
                    items[label] = [float(v) for v in line.split("=", 1)[1].split()]
            elif label in wanted:
                items[label] += [float(v) for v in line.split()]
    judge()
    return worst


def run_case(binary, example, work_root, helpmessages, k, contaminant, exponent, interval):
    name = "k%g_c%d_n%s" % (k, contaminant, "lin" if exponent is None else "%g" % exponent)
    work = os.path.join(work_root, name)
    ncon = prepare(example, work, helpmessages, k, contaminant, exponent, interval)
    start = time.monotonic()
    with open(os.path.join(work, "console.txt"), "w") as console:
        status = subprocess.run([binary, "-f", "rundata_contaminant.txt"], cwd=work,
                                stdout=console, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL).returncode
    wall = time.monotonic() - start
    text = open(os.path.join(work, "console.txt"), errors="replace").read()
    normal = "Normal completion" in text
    stop = None
    m = re.search(r"FATAL ERROR\s+(\d+) at time =\s*([0-9.]+) hours", text)
    if m:
        stop = "%s h (%s)" % (m.group(2), m.group(1))
    else:
        times = re.findall(r"Simulation Timestep =\s*([0-9.]+) hours", text)
        stop = ("%s h" % times[-1]) if times else "-"
    hotstart = os.path.join(work, "hotstart.txt")
    low = lowest_relative(hotstart, ncon) if os.path.exists(hotstart) else float("nan")
    shutil.rmtree(work)
    return k, status, normal, stop, low, wall


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("binary")
    p.add_argument("example")
    p.add_argument("work")
    p.add_argument("--k", type=float, nargs="+", default=DEFAULT_K)
    p.add_argument("--contaminant", type=int, default=0, help="0: every contaminant")
    p.add_argument("--exponent", type=float, default=None, help="Freundlich exponent")
    p.add_argument("--interval", type=float, default=1.0, help="hours between records")
    p.add_argument("--jobs", type=int, default=2)
    a = p.parse_args()
    binary = os.path.abspath(a.binary)
    helpmessages = os.path.join(os.path.dirname(binary), "helpmessages")
    helpmessages = helpmessages if os.path.isdir(helpmessages) else None
    os.makedirs(a.work, exist_ok=True)
    what = "every contaminant" if a.contaminant == 0 else "contaminant %d" % a.contaminant
    law = "linear" if a.exponent is None else "Freundlich n = %g" % a.exponent
    print("%s, %s; records every %g h" % (what, law, a.interval))
    print("%10s %5s %7s %18s %12s %8s" % ("K", "exit", "normal", "stopped at", "min/max", "wall s"))
    with ThreadPoolExecutor(max_workers=a.jobs) as pool:
        cases = [pool.submit(run_case, binary, os.path.abspath(a.example), os.path.abspath(a.work),
                             helpmessages, k, a.contaminant, a.exponent, a.interval) for k in a.k]
        for c in cases:
            k, status, normal, stop, low, wall = c.result()
            print("%10g %5d %7s %18s %12.3g %8.2f" % (k, status, "yes" if normal else "no", stop,
                                                      low, wall))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
