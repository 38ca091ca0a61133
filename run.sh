#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the designer and starts it in a
# working folder that holds its data files (work-dir/ beside this script).
set -euo pipefail
cd "$(dirname "$0")"

# Only the designer and its data files: the tests and benchmarks are test.sh's business.
BUILD_TARGETS="pixbar4designer pixbar_data" scripts/setup.sh build

mkdir -p work-dir
# Data files are refreshed; the user's ld.cfg, messages and symbols are kept.
for f in build/bin/*.fnt; do cp -f "$f" work-dir/; done
for f in gfx_symbols.bin gfx_symbols_map.bin przyklad.fnd; do
    [ -e "work-dir/$f" ] || cp "build/bin/$f" work-dir/
done

cd work-dir
exec ../build/bin/pixbar4designer "$@"
