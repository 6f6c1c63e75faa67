#!/bin/sh
# Installs what the benchmark compares against and what draws its chart.
# Every package here is optional: the benchmark builds and runs with rkxml
# alone and skips any peer library that is missing.
set -eu

PEERS="libpugixml-dev libtinyxml2-dev librapidxml-dev libxml2-dev libexpat1-dev"
# Real-world corpus sources (XML shipped by the system) and the chart tool.
EXTRAS="shared-mime-info iso-codes fontconfig-config gnuplot-nox python3"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# Installed one by one so that a package missing from this distribution
# release costs only its own row, not the whole set.
for pkg in $PEERS $EXTRAS; do
    if ! $SUDO apt-get install -y -qq --no-install-recommends "$pkg" >/dev/null; then
        echo "setup: could not install $pkg; continuing without it" >&2
    fi
done
