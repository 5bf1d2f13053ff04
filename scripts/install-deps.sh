#!/bin/sh
# Installs the Debian packages the build needs, only those that are missing.
# Needs root to install; without root it only reports what is missing.
set -e
PACKAGES="g++ make cmake python3 libgtest-dev libbenchmark-dev libeigen3-dev libhdf5-dev hdf5-tools python3-h5py python3-xarray python3-h5netcdf python3-matplotlib"
missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages:$missing" >&2
  echo "Run this script as root, or install them with: apt-get install$missing" >&2
  exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends $missing
