#!/bin/sh
# Installs the peer libraries, the allocators, the system XML files of the real-world corpora and
# the chart tool, one by one: each is optional, and one missing costs only its own rows.
set -eu
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
for package in libpugixml-dev libtinyxml2-dev librapidxml-dev libxml2-dev libexpat1-dev libmimalloc2.0 \
        libjemalloc2 libtcmalloc-minimal4 shared-mime-info iso-codes fontconfig-config gnuplot-nox python3; do
    $SUDO apt-get install -y -qq --no-install-recommends "$package" >/dev/null ||
        echo "setup: could not install $package; going on without it" >&2
done
