#!/bin/sh
# What each package will carry: cmake --install of its component into a folder of its own.
# The exporter's holds the program, its compressed man page, the unit and the Prometheus
# files, and needs no cairo and no desktop; the monitor's holds nothing of the exporter.
# Usage: check-install.sh BUILD_DIR SCRATCH_DIR
set -eu
build=$1
scratch=$2
rm -rf "$scratch"
fail() { echo "check-install: $*" >&2; exit 1; }

DESTDIR="$scratch/exporter" "${CMAKE:-cmake}" --install "$build" --component zezar-exporter >/dev/null
DESTDIR="$scratch/monitor" "${CMAKE:-cmake}" --install "$build" --component zezar >/dev/null

cd "$scratch/exporter"
for wanted in bin/zezar-exporter share/man/man1/zezar-exporter.1.gz \
              lib/systemd/system/zezar-exporter.service share/doc/zezar-exporter/copyright \
              share/doc/zezar-exporter/changelog.gz \
              share/doc/zezar-exporter/examples/exporter.toml \
              share/doc/zezar-exporter/examples/prometheus.yml \
              share/doc/zezar-exporter/examples/alerts.yml \
              share/doc/zezar-exporter/examples/zezar-dashboard.json; do
  found=$(find . -path "*/$wanted" | head -n 1)
  [ -n "$found" ] || fail "the exporter's package lacks $wanted"
done
gzip -t $(find . -name 'zezar-exporter.1.gz') || fail "the man page is not gzip"
find . -type f | grep -v -e /zezar-exporter -e /share/doc/zezar-exporter/ -e /man1/zezar-exporter.1.gz \
  && fail "the exporter's package carries more than the exporter"
needed=$(readelf -d "$(find . -path '*/bin/zezar-exporter')" | grep NEEDED)
echo "$needed" | grep -i -e cairo -e systemd -e dbus -e gtk \
  && fail "the exporter links a desktop library"

cd "$scratch/monitor"
find . | grep -i exporter && fail "the monitor's package carries the exporter's files"
rm -rf "$scratch"
echo "check-install: ok"
