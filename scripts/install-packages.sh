#!/bin/sh
# Installs the Debian packages that Corvane needs to build, run and test,
# when any of them is missing. Needs root for the installation itself.
#   install-packages.sh            what the program and its tests need
#   install-packages.sh --aarch64  that, and the aarch64 leg of make test
set -e

PACKAGES="make g++ cmake pkg-config man-db groff-base libncurses-dev freeglut3-dev libglu1-mesa-dev libx11-dev \
libgtest-dev libbenchmark-dev xvfb xauth tmux x11-apps x11-utils netpbm assimp-testmodels libassimp-dev \
clang libclang-rt-14-dev zlib1g-dev libpng-dev libopenexr-dev xdotool imagemagick libcoin-dev"

# The aarch64 leg of `make test`: the cross compiler, the emulator and the
# arm64 builds of the program's libraries beside the amd64 ones. OpenEXR's
# headers cannot be installed twice; the amd64 ones serve the cross build.
CROSS_PACKAGES="g++-aarch64-linux-gnu qemu-user libc6:arm64 libstdc++6:arm64 libc6-dev:arm64 libncurses-dev:arm64 freeglut3-dev:arm64 \
libglu1-mesa-dev:arm64 libx11-dev:arm64 libpng-dev:arm64 zlib1g-dev:arm64 libgtest-dev:arm64 libimath-dev:arm64 \
libopenexr-3-1-30:arm64"

wanted=$PACKAGES
if [ "${1:-}" = "--aarch64" ]; then
  wanted="$PACKAGES $CROSS_PACKAGES"
fi

missing=""
for package in $wanted; do
  if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done

if [ -z "$missing" ]; then
  exit 0
fi

add_arm64=""
if [ "$wanted" != "$PACKAGES" ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  add_arm64="dpkg --add-architecture arm64 && "
fi

if [ "$(id -u)" != "0" ]; then
  echo "corvane: these Debian packages are missing:$missing" >&2
  echo "Install them as root, then run this command again:" >&2
  echo "  ${add_arm64}apt-get update && apt-get install -y$missing" >&2
  exit 1
fi

echo "Installing:$missing"
if [ -n "$add_arm64" ]; then
  dpkg --add-architecture arm64
fi
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
