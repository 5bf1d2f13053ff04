#!/usr/bin/env python3
"""Close the water budget of a totals file (unit 43) between every pair of its records.

    check_totals.py output_X_totals.csv [--end HOURS] [--tolerance MM]

Between any two records the change of the five storages must equal the change of
precipitation - canopy, soil and plant evaporation - discharge + aquifer flow + lateral
flow - well export. Columns are found by their titles. With --end, the last record must be
at that hour. Prints the largest misfit and the pair it came from; exits 1 when a pair
misses by more than the tolerance (default 0.015 mm: 26 values printed to 0.001 mm).
"""
import argparse
import sys

INFLOWS = [("Cum Prec.", 1), ("Cum. Can. Evap.", -1), ("Cum. Soil Evap.", -1),
           ("Cum. Trans", -1), ("Cum. Discharge", -1), ("Cum. Aqu. Flow", 1),
           ("Cum. Lat. Flow", 1), ("Cum. Well Exp.", -1)]
STORES = ["Canopy Storage", "Snow Storage", "Subsurface Stor.", "Land Surf Stor.",
          "Channel Stor."]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("totals")
    parser.add_argument("--end", type=float)
    parser.add_argument("--tolerance", type=float, default=0.015)
    args = parser.parse_args()
    with open(args.totals) as f:
        lines = f.read().splitlines()
    titles = [t.strip() for t in lines[1].split(",")]
    missing = [t for t, _ in INFLOWS if t not in titles] + [t for t in STORES if t not in titles]
    if missing:
        print(f"{args.totals}: no column {missing}")
        return 1
    hours, net, stored = [], [], []
    for line in lines[2:]:
        values = [v for v in line.split(",") if v.strip()]
        if len(values) != len(titles):
            print(f"{args.totals}: record of {len(values)} values: {line!r}")
            return 1
        v = [float(x) for x in values]
        hours.append(v[0])
        net.append(sum(s * v[titles.index(t)] for t, s in INFLOWS))
        stored.append(sum(v[titles.index(t)] for t in STORES))
    worst, pair = 0.0, None
    for i in range(len(net)):
        for j in range(i + 1, len(net)):
            miss = (stored[j] - stored[i]) - (net[j] - net[i])
            if abs(miss) > abs(worst):
                worst, pair = miss, (hours[i], hours[j])
    status = 0
    print(f"{args.totals}: {len(net)} records, {hours[0]} to {hours[-1]} h; "
          f"largest misfit {worst:+.4f} mm" + (f" between {pair[0]} and {pair[1]} h" if pair else ""))
    if abs(worst) > args.tolerance:
        print(f"  exceeds {args.tolerance} mm")
        status = 1
    if args.end is not None and abs(hours[-1] - args.end) > 5e-4:  # printed to 0.001 h
        print(f"  last record at {hours[-1]} h, the run ends at {args.end} h")
        status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
