#!/bin/sh
# Installs the Debian packages that Corvane needs to build, run and test,
# when any of them is missing. Needs root for the installation itself.
set -e

PACKAGES="make g++ cmake pkg-config man-db groff-base libncurses-dev freeglut3-dev libglu1-mesa-dev libx11-dev \
libgtest-dev libbenchmark-dev xvfb xauth tmux x11-apps x11-utils netpbm assimp-testmodels libassimp-dev \
clang libclang-rt-14-dev zlib1g-dev libpng-dev libopenexr-dev xdotool imagemagick libcoin-dev"

missing=""
for package in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done

if [ -z "$missing" ]; then
  exit 0
fi

if [ "$(id -u)" != "0" ]; then
  echo "corvane: these Debian packages are missing:$missing" >&2
  echo "Install them as root, then run this command again:" >&2
  echo "  apt-get update && apt-get install -y$missing" >&2
  exit 1
fi

echo "Installing:$missing"
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
