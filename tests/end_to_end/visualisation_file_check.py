"""The visualisation file of the example catchment, read as a hydrologist reads it:
with h5dump, h5py and xarray, without a reader of ours.

Usage: visualisation_file_check.py QUENDAL_BINARY EXAMPLE_DIR

Runs copies of the example with a plan that records the surface water depth over the
grid every hour (item 1), the ground elevation and the element numbers once (items 2
and 3) and the face flows of the outlet link at every call (item 4), and checks the
file's layout and its numbers against the run's own print and dated discharge files.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import h5py
import numpy as np
import xarray as xr

BINARY, EXAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
VIS = "output_example_vis.h5"
OUTLET_LINK = 11  # the link with the weir (example_oc.txt)
OUTLET_FACE = 1   # the weir's face, east: the dated discharge is +QOC there

PLAN = """QUENDAL-VIS-PLAN 1
item
  name srf_dep
  type GS
  times 0 1
end
item
  name surf_elv
  times 0 0 0
end
item
  name number
  type NS
  times 0 0 0
end
item
  name ovr_flow
  elements %d
end
""" % OUTLET_LINK


class Copy:
    """A copy of the example in a scratch directory, with the plan above."""

    def __init__(self, scratch, name):
        self.dir = os.path.join(scratch, name)
        shutil.copytree(EXAMPLE, self.dir,
                        ignore=shutil.ignore_patterns("output_*"))
        self.write("example_vis_plan.txt", PLAN)

    def path(self, name):
        return os.path.join(self.dir, name)

    def read(self, name):
        with open(self.path(name)) as f:
            return f.read()

    def write(self, name, text):
        with open(self.path(name), "w") as f:
            f.write(text)

    def replace(self, name, old, new):
        text = self.read(name)
        assert old in text, old
        self.write(name, text.replace(old, new, 1))

    def run(self):
        return subprocess.run([BINARY, "-f", "rundata_example.txt"], cwd=self.dir,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True).returncode


def dated_discharge(copy):
    """(hours, discharge) of every step."""
    rows = [line.split() for line in copy.read("output_example_dated_discharge.txt").splitlines()]
    return np.array([float(r[1]) for r in rows]), np.array([float(r[2]) for r in rows])


def print_windows(copy):
    """{hours: {element: HRF}} of the OC results in the print file."""
    windows, current = {}, None
    for line in copy.read("output_example_print.txt").splitlines():
        heading = re.match(r"---- OC MODULE  RESULTS AFTER\s+(\S+) HOURS ----", line)
        if heading:
            current = windows.setdefault(float(heading.group(1)), {})
            continue
        words = line.split()
        if current is not None and len(words) in (6, 7) and words[0].isdigit():
            current[int(words[0])] = float(words[5])
        elif current is not None and words and not words[0].isdigit() and words[0] != "iel":
            current = None
    return windows


def hourly_marks(step_times):
    """The times a record every hour is due: 0, then the first step at or after each
    further hour."""
    due, mark = [0.0], 1.0
    for t in step_times:
        if t >= mark - 1e-7:
            due.append(t)
            mark = np.floor(t + 1e-7) + 1.0
    return np.array(due)


def setUpModule():
    global SCRATCH, FULL
    SCRATCH = tempfile.mkdtemp(prefix="quendal_vis_")
    FULL = Copy(SCRATCH, "full")
    assert FULL.run() == 0, FULL.read("output_example_print.txt")[-2000:]


def tearDownModule():
    shutil.rmtree(SCRATCH, ignore_errors=True)


class Layout(unittest.TestCase):
    def test_h5dump_reads_the_header(self):
        r = subprocess.run(["h5dump", "-H", FULL.path(VIS)], stdout=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 0)

    def test_surface_depth_has_named_axes_and_fills_outside_the_catchment(self):
        with h5py.File(FULL.path(VIS), "r") as f:
            self.assertEqual(f.attrs["start_date"], "1990-01-01T00:00:00")
            self.assertEqual(f["plan/text"][()].decode(), PLAN)
            g = f["items/001_srf_dep"]
            value = g["value"]
            scales = [[s.name.split("/")[-1] for s in d.values()] for d in value.dims]
            self.assertEqual(scales, [["time"], ["y"], ["x"]])
            self.assertEqual(value.shape[1:], (10, 12))
            self.assertEqual(value.dtype, np.float32)
            self.assertEqual(value.attrs["units"], "m")
            self.assertEqual(list(g["y"][:]), list(range(10, 0, -1)))  # northern row first
            self.assertEqual(list(g["x"][:]), list(range(1, 13)))
            element = g["element"][:]
            depth = value[:]
            outside = element == 0
            self.assertTrue(outside.any() and (~outside).any())
            self.assertTrue(np.isnan(depth[:, outside]).all())
            self.assertTrue(np.isfinite(depth[:, ~outside]).all())
            self.assertTrue(np.isnan(value.attrs["_FillValue"]))
            time = g["time"][:]
            self.assertEqual(time[0], 0.0)
            self.assertTrue((np.diff(time) > 0).all())
            self.assertEqual(len(time), value.shape[0])

    def test_xarray_opens_every_group_and_decodes_dates(self):
        with h5py.File(FULL.path(VIS), "r") as f:
            groups = ["mesh", "plan"] + ["items/" + name for name in f["items"]]
        self.assertEqual(len(groups), 6)
        for group in groups:
            with xr.open_dataset(FULL.path(VIS), engine="h5netcdf", group=group) as ds:
                for name, variable in ds.variables.items():
                    self.assertIn("long_name", variable.attrs, group + "/" + name)
                if "time" in ds:
                    # Whole milliseconds, also where a shortened step leaves the clock
                    # between them (xarray truncates to the nanosecond).
                    ns = ds["time"].values.astype("datetime64[ns]").astype(np.int64)
                    self.assertTrue((ns % 1000000 == 0).all(), group)
        with xr.open_dataset(FULL.path(VIS), engine="h5netcdf", group="items/001_srf_dep") as ds:
            self.assertEqual(ds["time"].values[0], np.datetime64("1990-01-01T00:00"))
            self.assertEqual(ds["time"].values[24], np.datetime64("1990-01-02T00:00"))
            self.assertEqual(ds["value"].dims, ("time", "y", "x"))


class AgainstTheRunsOwnOutputs(unittest.TestCase):
    def test_depth_plus_elevation_is_the_printed_water_level(self):
        windows = print_windows(FULL)
        self.assertGreater(len(windows), 0)
        with h5py.File(FULL.path(VIS), "r") as f:
            depth = f["items/001_srf_dep"]
            time = depth["time"][:]
            level = depth["value"][:] + f["items/002_surf_elv/value"][0]
            element = depth["element"][:]
        compared = 0
        for hours, hrf in windows.items():
            record = np.flatnonzero(np.abs(time - hours) < 0.005)
            if len(record) == 0:
                continue
            for (row, column), e in np.ndenumerate(element):
                if e == 0:
                    continue
                # HRF is printed with 3 decimals; depth and elevation are float32.
                self.assertAlmostEqual(level[record[0], row, column], hrf[e], delta=6e-4,
                                       msg="element %d at %.2f h" % (e, hours))
                compared += 1
        self.assertGreater(compared, 0)

    def test_outlet_face_flow_is_the_dated_discharge(self):
        hours, discharge = dated_discharge(FULL)
        with h5py.File(FULL.path(VIS), "r") as f:
            g = f["items/004_ovr_flow"]
            self.assertEqual(list(g["element"][:]), [OUTLET_LINK])
            face = list(g["face"][:])
            self.assertEqual(face, [2, 1, 4, 3])
            time = g["time"][:]
            flow = g["value"][:, 0, face.index(OUTLET_FACE)]
        # A record at the start, then one after every step.
        self.assertEqual(len(time), len(hours) + 1)
        np.testing.assert_allclose(time[1:], hours, rtol=0, atol=1e-6)
        # Relative: float32; absolute: the file's 8 decimals.
        np.testing.assert_allclose(flow[1:], discharge, rtol=1e-6, atol=1e-8)

    def test_element_numbers_are_int32_and_equal_the_element_map(self):
        with h5py.File(FULL.path(VIS), "r") as f:
            g = f["items/003_number"]
            value = g["value"]
            self.assertEqual(value.dtype, np.int32)
            self.assertEqual(value.attrs["_FillValue"], -2147483648)
            number, element = value[0], g["element"][:]
            np.testing.assert_array_equal(number[element > 0], element[element > 0])
            self.assertTrue((number[element == 0] == -2147483648).all())
            np.testing.assert_array_equal(element, f["mesh/element_at_cell"][:])
            # The links beside the squares, each once, hold their own numbers.
            links = g["link"][:]
            self.assertEqual(len(set(links)), len(links))
            np.testing.assert_array_equal(g["link_value"][0], links)


class ARunThatStops(unittest.TestCase):
    def test_a_fatal_error_leaves_a_readable_file_and_a_new_run_replaces_it(self):
        copy = Copy(SCRATCH, "stopped")
        # A channel-flow limit the storm's flows pass: fatal error 1029 mid-run.
        limit = "    5.0    1.5  100.0    1.0      F"
        copy.replace("example_frame.txt", limit, "    5.0    1.5   0.04    1.0      F")
        self.assertEqual(copy.run(), 1)
        self.assertIn("FATAL ERROR 1029", copy.read("output_example_print.txt"))
        r = subprocess.run(["h5dump", "-H", copy.path(VIS)], stdout=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 0)
        hours, _ = dated_discharge(copy)
        self.assertGreater(hours[-1], 12.0)
        with h5py.File(copy.path(VIS), "r") as f:
            time = f["items/001_srf_dep/time"][:]
            self.assertEqual(f["items/001_srf_dep/value"].shape[0], len(time))
        # Every hourly record of the steps taken before the stop.
        np.testing.assert_allclose(time, hourly_marks(hours), rtol=0, atol=1e-9)

        # The next run over the same file, twelve hours long, keeps only its own records.
        copy.replace("example_frame.txt", "   0.04    1.0", "  100.0    1.0")
        copy.replace("example_frame.txt", "1990 1 11 0 0", "1990 1 1 12 0")
        self.assertEqual(copy.run(), 0)
        with h5py.File(copy.path(VIS), "r") as f:
            np.testing.assert_allclose(f["items/001_srf_dep/time"][:], np.arange(13.0))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
