#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing
# (libhdf5-dev for routava-omx, hdf5-tools for h5dump to look into its files).
set -euo pipefail
need=()
for pkg in g++ cmake ninja-build libgtest-dev libbenchmark-dev gfortran libhdf5-dev hdf5-tools; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -eq 0 ]; then exit 0; fi
if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "Installing: ${need[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
else
  echo "Missing packages: ${need[*]}" >&2
  echo "Install them with:  sudo apt-get install ${need[*]}" >&2
  exit 1
fi
