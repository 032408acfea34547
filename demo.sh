#!/bin/sh
# Installs what is missing, builds the program alone and renders the room with
# a million samples; says where its PNG is.
set -e
cd "$(dirname "$0")"
sh scripts/install-packages.sh
make demo
