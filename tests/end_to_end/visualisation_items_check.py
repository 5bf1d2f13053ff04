"""Opens every item of a visualisation file with xarray, as a user reads it, and prints
the item names in file order, one a line.

Usage: visualisation_items_check.py VIS_FILE

Each item group must open as a dataset whose variable "value" has the dimension "time"
first, and whose attribute "name" names the item. Exits non-zero otherwise.
"""
import sys

import h5py
import xarray as xr

path = sys.argv[1]
with h5py.File(path, "r") as f:
    groups = sorted(f["items"].keys())
for group in groups:
    with xr.open_dataset(path, engine="h5netcdf", group="items/" + group) as item:
        value = item["value"]
        if value.dims[0] != "time" or value.sizes["time"] != item["time"].size:
            sys.exit("%s: value dimensions %s" % (group, value.dims))
        if item.attrs["name"] != group.split("_", 1)[1]:
            sys.exit("%s: named %s" % (group, item.attrs["name"]))
        print(item.attrs["name"])
