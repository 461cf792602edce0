#!/bin/sh
# Installs the Debian packages that building and testing vaskrun need; does nothing when all are
# present. Runs apt-get as root, or through sudo.
set -eu

PACKAGES="cmake ninja-build g++ make pkg-config
libgtk-3-dev libglib2.0-dev libx11-dev libsdl2-dev libfreetype-dev libfontconfig-dev
fonts-ipafont-gothic fonts-ipafont-mincho
libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
libpng-dev libjpeg62-turbo-dev zlib1g-dev libogg-dev libvorbis-dev
libgtest-dev libgmock-dev libbenchmark-dev
xvfb xauth xdotool openbox imagemagick sox ffmpeg
lua5.4 liblua5.4-dev libpixman-1-dev clang libclang-rt-14-dev"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

echo "install-deps: installing$missing"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=""
elif command -v sudo >/dev/null 2>&1; then
  SUDO="sudo"
else
  echo "install-deps: these packages are missing and neither root nor sudo is available:$missing" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
