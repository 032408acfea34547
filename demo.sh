#!/bin/sh
# Installs what is missing, builds Corvane and runs it on the bundled example.
set -e
cd "$(dirname "$0")"
sh scripts/install-packages.sh
make demo
