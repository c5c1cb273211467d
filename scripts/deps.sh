#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config git
      zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libpixman-1-dev pngcheck
      libegl-dev libgles-dev libegl-mesa0 libgl1-mesa-dri libsdl2-dev
      python3 iproute2 nginx-light libcurl4-openssl-dev xvfb nettle-dev)
# The GL tests validate every generated shader with glslangValidator.
pkgs+=(glslang-tools)
# The drawing tests make ETC1 textures with etc1tool and project points with libGLU.
pkgs+=(etc1tool libglu1-mesa-dev)
# The audio tests measure output with sox and compare modules with libxmp.
pkgs+=(sox libxmp-dev)
# The font builder renders TrueType fonts with FreeType; DejaVu fonts are its sources.
pkgs+=(libfreetype-dev fonts-dejavu-core)
pkgs+=(python3 librsvg2-bin) # build: the demo art generator (demo/art) and its SVG renderer
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
