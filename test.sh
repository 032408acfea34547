#!/bin/sh
# Installs what is missing, builds Corvane and runs every test.
set -e
cd "$(dirname "$0")"
sh scripts/install-packages.sh --aarch64
make test
