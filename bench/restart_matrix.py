#!/usr/bin/python3
"""Restarts of an example from its hot-start records, compared with the uninterrupted run.

    bench/restart_matrix.py BINARY EXAMPLE_DIR WORK_DIR [--interval HOURS] [--kills N]
                            [--at HOURS]

Runs the example once writing a record every INTERVAL hours (24 by default), then restarts
it from every record (or only from the record at HOURS) and compares, at every step after
the record, the dated outlet discharge (as printed, 8 decimals), the end-state file and
every item of the visualisation file at every time both runs recorded after the restart
(4-byte reals: the difference as a fraction of the item's largest value in the
uninterrupted run; an exact restart gives 0) with the uninterrupted run's. With --kills N
it also kills N runs with SIGKILL at random moments, checks that the dated discharge file
of each holds, line by line, the uninterrupted run's discharge of every step the killed
run completed (the status file counts them), restarts each from its last complete record
and compares it with the restart from the same record of the run that ended cleanly.
Prints one line per restart and the largest differences.

Runs under Debian's python3, which has h5py (python3-h5py).
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import time

import h5py
import numpy as np


def prepare(example, work, hotstart_fields):
    """A copy of the example whose run-data file names hotstart.txt and whose frame file
    holds `hotstart_fields` under the heading HSREAD HSWRIT HSTIME HSINTV."""
    if os.path.exists(work):
        shutil.rmtree(work)
    shutil.copytree(example, work, ignore=shutil.ignore_patterns("output_*"))
    frame = next(f for f in os.listdir(work) if f.endswith("_frame.txt"))
    lines = open(os.path.join(work, frame)).read().split("\n")
    at = next(i for i, line in enumerate(lines) if "HSREAD" in line)
    lines[at + 1] = hotstart_fields
    open(os.path.join(work, frame), "w").write("\n".join(lines))
    rundata = next(f for f in os.listdir(work) if f.startswith("rundata_"))
    text = open(os.path.join(work, rundata)).read()
    text = text.replace("Hot-start file (unit 28)\n0", "Hot-start file (unit 28)\nhotstart.txt")
    open(os.path.join(work, rundata), "w").write(text)
    return rundata


def output(work, ending):
    return os.path.join(work, next(f for f in os.listdir(work) if f.endswith(ending)))


def discharge(work):
    """Dated discharge by the hours column, as printed."""
    q = {}
    for line in open(output(work, "_dated_discharge.txt")):
        fields = line.split()
        if len(fields) == 3:
            q[fields[1]] = float(fields[2])
    return q


def end_state(work):
    return open(output(work, "_end_state.txt")).read()


def vis_items(work):
    """Every recorded item of the visualisation file: {item/dataset: (times, values)}."""
    items = {}
    with h5py.File(output(work, "_vis.h5"), "r") as f:
        for name, group in f["items"].items():
            times = group["time"][:]
            for key in group:
                if key == "value" or key.endswith("_value"):
                    items[f"{name}/{key}"] = (times, group[key][:])
    return items


def compare_vis(restarted, whole, after):
    """The largest difference, over every item and every time both runs recorded later
    than `after`, as a fraction of the item's largest value in the uninterrupted run, the
    item where it lies, and the same at the restart time itself (whose record has no step
    behind it)."""
    worst, where, at_restart = 0.0, "", 0.0
    for key, (times, values) in vis_items(restarted).items():
        whole_times, whole_values = whole[key]
        row = {round(float(h), 6): i for i, h in enumerate(whole_times)}
        largest = np.nanmax(np.abs(whole_values)) if np.isfinite(whole_values).any() else 0.0
        for j, h in enumerate(times):
            i = row.get(round(float(h), 6))
            if i is None or h < after - 1e-6:
                continue
            a, b = whole_values[i], values[j]
            if not np.array_equal(np.isnan(a), np.isnan(b)):
                difference = float("inf")
            else:
                d = np.nan_to_num(np.abs(a.astype(np.float64) - b.astype(np.float64)))
                d = float(d.max()) if d.size else 0.0
                difference = d / largest if largest > 0 else (0.0 if d == 0 else float("inf"))
            if h <= after + 1e-6:
                at_restart = max(at_restart, difference)
            elif difference > worst:
                worst, where = difference, f"{key} at {float(h):.3f} h"
    return worst, where, at_restart


def dated_lines(work):
    return open(output(work, "_dated_discharge.txt")).read().split("\n")


def steps_completed(work):
    """The step count of the status file (written after all of a step's outputs)."""
    text = open(output(work, "_status.txt")).read()
    return int(text.split("Number of steps =")[1].split()[0]) if "Number of steps" in text else 0


def fixed_field(value, width=7):
    """`value` in a fixed field of `width` columns, always with a decimal point: a real
    written without one takes the field's implied decimals (2 for the hot-start times, so
    that "12" would be 0.12 h). As many decimals as fit."""
    for decimals in range(6, -1, -1):
        text = "%.*f" % (decimals, value) + ("." if decimals == 0 else "")
        if len(text) <= width:
            return text.rjust(width)
    raise SystemExit(f"{value} does not fit a {width}-column field")


def fields(read, write, time_hours, interval):
    return "%7s%7s%s%s" % ("T" if read else "F", "T" if write else "F", fixed_field(time_hours),
                           fixed_field(interval))


def compare(restarted, whole_q, whole_end, peak):
    q = discharge(restarted)
    worst = max((abs(v - whole_q[h]) for h, v in q.items() if h in whole_q), default=0.0)
    unmatched = sum(1 for h in q if h not in whole_q)
    return len(q), unmatched, worst / peak, end_state(restarted) == whole_end


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("binary")
    parser.add_argument("example")
    parser.add_argument("work")
    parser.add_argument("--interval", type=float, default=24.0, help="hours between records")
    parser.add_argument("--kills", type=int, default=0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--at", type=float, default=None, help="restart only from this record")
    a = parser.parse_args()
    binary = os.path.abspath(a.binary)
    name = os.path.basename(os.path.normpath(a.example))

    whole = os.path.join(a.work, name, "whole")
    rundata = prepare(a.example, whole, fields(False, True, 0.0, a.interval))
    started = time.time()
    subprocess.run([binary, "-f", rundata], cwd=whole, check=True, capture_output=True)
    duration = time.time() - started
    records = open(os.path.join(whole, "hotstart.txt")).read()
    times = [line.split()[1] for line in records.split("\n") if line.startswith("time=")]
    whole_q, whole_end = discharge(whole), end_state(whole)
    whole_vis, whole_dated = vis_items(whole), dated_lines(whole)
    peak = max(abs(v) for v in whole_q.values())
    print(f"{name}: peak {peak:.6g} m3/s, {len(whole_q)} steps, {len(times)} records, "
          f"{len(whole_vis)} recorded items, record size {len(records) // max(len(times), 1)} bytes")

    worst, worst_vis = 0.0, 0.0
    for i, t in enumerate(times):
        if a.at is not None and abs(float(t) - a.at) > 1e-3:
            continue
        restarted = os.path.join(a.work, name, f"restart{i:03d}")
        # Just below the record's time, so that its own record is the first at or after it.
        rundata = prepare(a.example, restarted, fields(True, False, max(float(t) - 4e-4, 0.0), a.interval))
        open(os.path.join(restarted, "hotstart.txt"), "w").write(records)
        run = subprocess.run([binary, "-f", rundata], cwd=restarted, capture_output=True)
        steps, unmatched, difference, same_end = compare(restarted, whole_q, whole_end, peak)
        vis, where, at_restart = compare_vis(restarted, whole_vis, float(t))
        warnings = open(output(restarted, "_print.txt")).read().count("WARNING 1097")
        worst, worst_vis = max(worst, difference), max(worst_vis, vis)
        print(f"  from {float(t):9.3f} h: exit {run.returncode}, {steps} steps ({unmatched} unmatched), "
              f"largest difference {difference:.2e} of the peak, end state "
              f"{'the same' if same_end else 'DIFFERENT'}, visualisation items {vis:.2e} of their "
              f"largest{' (' + where + ')' if where else ''}, {at_restart:.2e} at the restart "
              f"time; {warnings} warnings 1097")
    print(f"  largest difference over all restarts: {worst:.2e} of the peak, visualisation "
          f"{worst_vis:.2e}")

    random.seed(a.seed)
    for k in range(a.kills):
        killed = os.path.join(a.work, name, f"killed{k:02d}")
        rundata = prepare(a.example, killed, fields(False, True, 0.0, a.interval))
        process = subprocess.Popen([binary, "-f", rundata], cwd=killed,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The program waits half a second after its last step: kill within the steps.
        delay = random.uniform(0.01, max(0.05, duration - 0.55))
        time.sleep(delay)
        if process.poll() is not None:
            print(f"  kill after {delay:.3f} s: the run had ended")
            continue
        process.send_signal(signal.SIGKILL)
        process.wait()
        # Every step up to the one the status file counts wrote its dated discharge (the
        # status file comes after the step's outputs), each line as the uninterrupted run
        # wrote it.
        lines, completed = dated_lines(killed), steps_completed(killed)
        written = len(lines) - 1
        whole_lines = lines[-1] == "" and lines[:-1] == whole_dated[:written]
        print(f"  kill after {delay:.3f} s: {completed} steps completed, {written} dated discharge "
              f"lines, {'each the uninterrupted run' + chr(39) + 's' if whole_lines else 'NOT THE SAME'}"
              f"{'' if written >= completed else ', LINES MISSING'}")
        left = open(os.path.join(killed, "hotstart.txt")).read()
        restarted = killed + "_restarted"
        rundata = prepare(a.example, restarted, fields(True, False, 9999.0, a.interval))
        open(os.path.join(restarted, "hotstart.txt"), "w").write(left)
        subprocess.run([binary, "-f", rundata], cwd=restarted, capture_output=True)
        printed = open(os.path.join(restarted, f"output_{name}_print.txt")).read()
        at = printed.find("HOTSTART OF SIMULATION AT TIME")
        if at < 0:
            refused = "FATAL ERROR 1090" in printed
            print(f"  kill after {delay:.3f} s: {len(left)} bytes left, no complete record: "
                  f"{'refused with 1090' if refused else 'NOT REFUSED'}")
            continue
        t = float(printed[at + 31:at + 41])
        clean = killed + "_clean"
        rundata = prepare(a.example, clean, fields(True, False, max(t - 4e-4, 0.0), a.interval))
        open(os.path.join(clean, "hotstart.txt"), "w").write(records)
        subprocess.run([binary, "-f", rundata], cwd=clean, capture_output=True)
        same = discharge(restarted) == discharge(clean) and end_state(restarted) == end_state(clean)
        print(f"  kill after {delay:.3f} s: {len(left)} bytes left, restart from {t} h "
              f"{'matches' if same else 'DIFFERS FROM'} the restart from the clean file")


if __name__ == "__main__":
    main()
