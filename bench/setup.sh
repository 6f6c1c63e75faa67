#!/bin/sh
# Installs what the benchmark compares against, the allocators it preloads, the
# system XML files of its real-world corpora and the chart tool. Every package is
# optional: the benchmark runs with rkxml alone and names what is missing.
set -eu
PACKAGES="libpugixml-dev libtinyxml2-dev librapidxml-dev libxml2-dev libexpat1-dev
    libmimalloc2.0 libjemalloc2 libtcmalloc-minimal4
    shared-mime-info iso-codes fontconfig-config gnuplot-nox python3"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# One by one, so that a package missing from this release costs only its own rows.
for package in $PACKAGES; do
    $SUDO apt-get install -y -qq --no-install-recommends "$package" >/dev/null ||
        echo "setup: could not install $package; going on without it" >&2
done
